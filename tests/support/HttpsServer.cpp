// Tavix CallerID tests: a local HTTPS server in a process of its own, with a test authority.
#include "HttpsServer.h"

#include "TestPlatform.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Limits against a hung server, not expectations of speed.
constexpr auto kStartLimit = 30s;
constexpr auto kStopLimit = 10s;

// Runs the server script with Linux's python3. It answers through files in the folder it is
// given: under Wine that is the one channel to a Linux program.
void startServerScript(const std::vector<std::string>& arguments)
{
    std::vector<std::string> argv = {TAVIX_PYTHON3, TAVIX_HTTPS_SERVER_SCRIPT};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    TestPlatform::startLinuxProgram(argv);
}

// Until `file` exists; false after `limit`.
bool waitForFile(const fs::path& file, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!fs::exists(file)) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// A test authority, a server certificate it signed, and a self-signed one, for 127.0.0.1 and
// localhost; trusted by this process while it runs.
struct Certificates
{
    TempDir dir;
    fs::path authority = dir / "authority.crt";
    std::shared_ptr<void> trust;

    Certificates()
    {
        startServerScript({"--make-certificates", TestPlatform::linuxPath(dir.path()), "--openssl",
                           TAVIX_OPENSSL});
        if (!waitForFile(dir / "made", kStartLimit))
            throw std::runtime_error("The test certificates were not made: " +
                                     readFile(dir / "output.txt"));
        trust = TestPlatform::trustAuthority(authority);
    }
};

const Certificates& certificates()
{
    static const Certificates made;
    return made;
}

void keepLoopbackOffProxies()
{
    for (const char* name : {"no_proxy", "NO_PROXY"})
        TestPlatform::setEnvironment(name, "127.0.0.1,localhost");
}

} // namespace

std::vector<std::string> HttpsServer::Request::keys() const
{
    std::vector<std::string> names;
    for (const auto& [key, value] : query)
        names.push_back(key);
    return names;
}

const std::string& HttpsServer::Request::value(const std::string& key) const
{
    const auto found = std::find_if(query.begin(), query.end(),
                                    [&](const auto& pair) { return pair.first == key; });
    if (found == query.end())
        throw std::out_of_range("the request has no query key \"" + key + "\"");
    return found->second;
}

HttpsServer::HttpsServer(Options options)
{
    keepLoopbackOffProxies();
    const Certificates& made = certificates();
    const std::string certificate = options.untrusted   ? "self-signed"
                                    : options.otherName ? "other-name"
                                    : options.expired   ? "expired"
                                                        : "server";
    const nlohmann::json settings = {
        {"cert", TestPlatform::linuxPath(made.dir / (certificate + ".crt"))},
        {"key", TestPlatform::linuxPath(made.dir / (certificate + ".key"))},
        {"record", TestPlatform::linuxPath(m_dir / "requests.jsonl")},
        {"body", options.body},
        {"status", options.status},
        {"header", options.headers},
        {"delay", options.delay.count() / 1000.0},
        {"delay_only", options.delayOnly},
        {"reset", options.reset},
        {"large_body_mib", options.largeBodyMiB},
        {"echo", options.echo},
        {"silent", options.silent},
        {"watch_pid", TestPlatform::linuxProcessId()},
    };
    std::ofstream(m_dir / "options.json") << settings.dump();
    startServerScript({"--folder", TestPlatform::linuxPath(m_dir.path())});
    if (!waitForFile(m_dir / "port", kStartLimit))
        throw std::runtime_error("The HTTPS test server did not start: " +
                                 readFile(m_dir / "output.txt"));
    const std::string port = readFile(m_dir / "port");
    m_port = static_cast<uint16_t>(std::stoi(port));
}

HttpsServer::HttpsServer() : HttpsServer(Options{}) {}

HttpsServer::~HttpsServer()
{
    stop();
}

void HttpsServer::stop()
{
    if (fs::exists(m_dir / "stopped"))
        return;
    std::ofstream(m_dir / "stop").close();
    // Once it says so, it no longer listens.
    waitForFile(m_dir / "stopped", kStopLimit);
}

std::vector<HttpsServer::Request> HttpsServer::requests() const
{
    std::vector<Request> received;
    const std::string record = readFile(m_dir / "requests.jsonl");
    // A line without its end is still being written.
    for (size_t at = 0, end; (end = record.find('\n', at)) != std::string::npos; at = end + 1) {
        const nlohmann::json entry = nlohmann::json::parse(record.substr(at, end - at));
        Request request;
        request.connection = entry.at("connection").get<int>();
        request.clientPort = entry.at("client_port").get<int>();
        request.method = entry.at("method").get<std::string>();
        request.target = entry.at("target").get<std::string>();
        request.path = entry.at("path").get<std::string>();
        for (const nlohmann::json& pair : entry.at("query"))
            request.query.emplace_back(pair.at(0).get<std::string>(),
                                       pair.at(1).get<std::string>());
        received.push_back(std::move(request));
    }
    return received;
}

std::string HttpsServer::hostWithPort(uint16_t port)
{
    return TestPlatform::loopbackName() + ":" + std::to_string(port);
}

std::string HttpsServer::caFile()
{
    return certificates().authority.string();
}

uint16_t HttpsServer::unusedPort()
{
    keepLoopbackOffProxies();
    return TestPlatform::unusedLoopbackPort();
}
