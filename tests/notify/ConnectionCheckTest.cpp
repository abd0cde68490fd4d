// Tavix CallerID tests: Settings' connection check against local servers, one per fault.
#include "HttpsServer.h"
#include "TestPlatform.h"
#include "notify/ConnectionCheck.h"

#include <gtest/gtest.h>

#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// The check on its own thread, as Settings runs it, waited for.
ConnectionReport check(const std::string& host, const std::string& caFile,
                       std::chrono::milliseconds timeout)
{
    std::promise<ConnectionReport> done;
    ConnectionCheck running(
        host, caFile, [&](ConnectionReport report) { done.set_value(std::move(report)); }, timeout);
    return done.get_future().get();
}

struct Case
{
    const char* what;
    std::optional<HttpsServer::Options> server; // none: `host` names no server of the test's
    std::string host;                           // "%": the server's own host and port
    std::string sentence;                       // "%" there: the server's port
};

TEST(ConnectionCheck, TellsWhatItFoundOrWhichStepFailedAndNeverAsksForThePage)
{
    const std::string refused = HttpsServer::hostWithPort(HttpsServer::unusedPort());
    const std::vector<Case> cases = {
        {"right", HttpsServer::Options{}, "%",
         "The connection works: 127.0.0.1 port % was reached"},
        {"wrong name", HttpsServer::Options{.otherName = true}, "%",
         "the certificate is for other.example, not for " + TestPlatform::loopbackName() + "."},
        {"expired", HttpsServer::Options{.expired = true}, "%", "the certificate expired on 20"},
        {"untrusted", HttpsServer::Options{.untrusted = true}, "%",
         "the certificate's authority is not trusted: add it with "},
        {"silent", HttpsServer::Options{.silent = true}, "%",
         "127.0.0.1 port % accepted the connection but did not complete a secure (TLS) "
         "connection within 1.5 seconds."},
        {"refused", std::nullopt, refused,
         "nothing is listening on port " + refused.substr(refused.find(':') + 1) + " of " +
             TestPlatform::loopbackName()},
        {"unknown name", std::nullopt, "pos.myshop.invalid",
         "the name pos.myshop.invalid was not found."},
        {"not a host", std::nullopt, "till@127.0.0.1/connector.php",
         "\"till@127.0.0.1/connector.php\" is not a web application host: it holds user "
         "information (@)."},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        std::optional<HttpsServer> server;
        if (row.server)
            server.emplace(*row.server);
        const std::string port = server ? std::to_string(server->port()) : "";
        const auto filled = [&](std::string text, const std::string& with) {
            if (const size_t at = text.find('%'); at != std::string::npos)
                text.replace(at, 1, with);
            return text;
        };
        const ConnectionReport report =
            check(filled(row.host, server ? server->host() : ""), HttpsServer::caFile(), 1500ms);
        EXPECT_EQ(report.ok, std::string(row.what) == "right");
        EXPECT_NE(report.text().find(filled(row.sentence, port)), std::string::npos)
            << report.text();
        if (report.ok || std::string(row.what) == "wrong name") {
            EXPECT_NE(report.text().find("Issued by: CN=Tavix test authority"), std::string::npos);
            EXPECT_NE(report.text().find("Valid until: 20"), std::string::npos);
        }
        if (!server)
            continue;
        server->stop();
        // Where the platform must send a request to see the certificate, it is HEAD "/".
        for (const HttpsServer::Request& request : server->requests())
            EXPECT_EQ(request.method + " " + request.target, "HEAD /");
    }
}

TEST(ConnectionCheck, ACancelledCheckEndsAtOnceAndReportsNothing)
{
    HttpsServer silent(HttpsServer::Options{.silent = true});
    bool reported = false;
    {
        ConnectionCheck running(
            silent.host(), HttpsServer::caFile(), [&](ConnectionReport) { reported = true; },
            kRequestTimeout);
        // Time to reach the handshake that never ends; the cancel must wake it.
        std::this_thread::sleep_for(300ms);
        running.cancel();
    }
    EXPECT_FALSE(reported);
}

} // namespace
