// Tavix CallerID tests: a local HTTPS server in a child process, trusted through a test authority.
#include "HttpsServer.h"

#include <QProcess>
#include <QStringList>

#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace {

// Limits against a hung child, not expectations of speed.
constexpr int kStartLimitMs = 30000;
constexpr int kStopLimitMs = 10000;

constexpr const char* kOpenSslConfig = R"([req]
distinguished_name = dn
prompt = no
[dn]
CN = Tavix test
[authority]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[server]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1, DNS:localhost
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[self_signed]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1, DNS:localhost
)";

QString qs(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

void run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(kStartLimitMs);
    if (!finished || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        throw std::runtime_error(program.toStdString() + " " + arguments.join(' ').toStdString() +
                                 " failed: " + process.errorString().toStdString() + "\n" +
                                 process.readAll().toStdString());
}

// A test authority, a server certificate it signed, and a self-signed one, for 127.0.0.1.
struct Certificates {
    TempDir dir;
    std::filesystem::path authority = dir / "authority.crt";

    Certificates()
    {
        const std::filesystem::path config = dir / "openssl.cnf";
        std::ofstream(config) << kOpenSslConfig;
        const auto make = [&](const std::string& name, const QString& extensions,
                              const QStringList& signer) {
            run(TAVIX_OPENSSL,
                QStringList{"req", "-x509", "-config", qs(config), "-extensions", extensions,
                            "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-noenc",
                            "-days", "2", "-subj", "/CN=Tavix test " + QString::fromStdString(name),
                            "-keyout", qs(dir / (name + ".key")), "-out",
                            qs(dir / (name + ".crt"))} +
                    signer);
        };
        make("authority", "authority", {});
        make("server", "server", {"-CA", qs(authority), "-CAkey", qs(dir / "authority.key")});
        make("self-signed", "self_signed", {});
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
        setenv(name, "127.0.0.1,localhost", 1);
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

HttpsServer::HttpsServer(Options options) : m_process(std::make_unique<QProcess>())
{
    keepLoopbackOffProxies();
    const Certificates& made = certificates();
    const std::string certificate = options.untrusted ? "self-signed" : "server";
    QStringList arguments{TAVIX_HTTPS_SERVER_SCRIPT,
                          "--cert", qs(made.dir / (certificate + ".crt")),
                          "--key", qs(made.dir / (certificate + ".key")),
                          "--record", qs(m_dir / "requests.jsonl"),
                          "--body", QString::fromStdString(options.body),
                          "--status", QString::number(options.status),
                          "--delay", QString::number(options.delay.count() / 1000.0),
                          "--delay-only", QString::fromStdString(options.delayOnly)};
    for (const std::string& header : options.headers)
        arguments << "--header" << QString::fromStdString(header);
    if (options.reset)
        arguments << "--reset";
    if (options.largeBodyMiB > 0)
        arguments << "--large-body-mib" << QString::number(options.largeBodyMiB);

    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->start(TAVIX_PYTHON3, arguments);
    QByteArray output;
    while (!output.contains('\n')) {
        if (!m_process->waitForReadyRead(kStartLimitMs))
            throw std::runtime_error("The HTTPS test server did not start: " +
                                     m_process->errorString().toStdString());
        output += m_process->readAllStandardOutput();
    }
    bool ok = false;
    m_port = static_cast<uint16_t>(output.trimmed().toUInt(&ok));
    if (!ok || m_port == 0)
        throw std::runtime_error("The HTTPS test server printed no port: " + output.toStdString());
}

HttpsServer::HttpsServer() : HttpsServer(Options{}) {}

HttpsServer::~HttpsServer() { stop(); }

void HttpsServer::stop()
{
    if (m_process->state() == QProcess::NotRunning)
        return;
    m_process->terminate();
    if (!m_process->waitForFinished(kStopLimitMs)) {
        m_process->kill();
        m_process->waitForFinished(kStopLimitMs);
    }
}

std::vector<HttpsServer::Request> HttpsServer::requests() const
{
    std::vector<Request> received;
    std::ifstream in(m_dir / "requests.jsonl");
    for (std::string line; std::getline(in, line);) {
        const nlohmann::json entry = nlohmann::json::parse(line);
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

std::string HttpsServer::caFile() { return certificates().authority.string(); }

uint16_t HttpsServer::unusedPort()
{
    keepLoopbackOffProxies();
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    if (probe < 0)
        throw std::runtime_error("socket() failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const bool bound = bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    // Bound but never listening: connections to it are refused, now and after close.
    close(probe);
    if (!bound)
        throw std::runtime_error("Cannot find a free port on 127.0.0.1");
    return ntohs(address.sin_port);
}
