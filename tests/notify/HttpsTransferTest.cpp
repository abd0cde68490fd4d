// Tavix CallerID tests: one synchronous HTTPS GET at a time over libcurl.
#include "notify/HttpsTransfer.h"

#include "HttpsServer.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

namespace {

using namespace std::chrono_literals;

std::string urlOf(const HttpsServer& server, const std::string& path = "/page?password=topsecret")
{
    return "https://" + server.host() + path;
}

// The description of the TransferError that `fetch` throws.
template <typename Fetch> std::string failure(Fetch fetch)
{
    try {
        fetch();
    } catch (const TransferError& error) {
        return error.what();
    }
    ADD_FAILURE() << "no TransferError";
    return {};
}

TEST(HttpsTransferTest, ReturnsTheWholeBodyWhateverTheStatus)
{
    struct Case {
        int status;
        std::string body;
    };
    for (const Case& c : {Case{200, "OK"}, Case{200, ""}, Case{404, "Not here"},
                          Case{500, "Broken\r\nagain\n"}}) {
        HttpsServer server({.body = c.body, .status = c.status});
        HttpsTransfer transfer(kRequestTimeout, HttpsServer::caFile());
        EXPECT_EQ(transfer.OpenURL(urlOf(server)), c.body) << c.status;
    }
}

TEST(HttpsTransferTest, DoesNotFollowRedirects)
{
    HttpsServer server({.body = "moved", .status = 302, .headers = {"Location: /elsewhere"}});
    HttpsTransfer transfer(kRequestTimeout, HttpsServer::caFile());
    EXPECT_EQ(transfer.OpenURL(urlOf(server, "/here")), "moved");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].path, "/here");
}

TEST(HttpsTransferTest, KeepsItsConnectionForTheNextRequest)
{
    HttpsServer server;
    HttpsTransfer first(kRequestTimeout, HttpsServer::caFile());
    first.OpenURL(urlOf(server));
    first.OpenURL(urlOf(server));
    HttpsTransfer second(kRequestTimeout, HttpsServer::caFile());
    second.OpenURL(urlOf(server));

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].connection, 1);
    EXPECT_EQ(requests[1].connection, 1);
    EXPECT_EQ(requests[2].connection, 2);
}

TEST(HttpsTransferTest, SpeaksOnlyHttps)
{
    HttpsServer server;
    HttpsTransfer transfer(kRequestTimeout, HttpsServer::caFile());
    const std::string plain = "http://" + server.host() + "/page?password=topsecret";
    EXPECT_EQ(failure([&] { transfer.OpenURL(plain); }).rfind("Unsupported protocol", 0), 0u);
    EXPECT_TRUE(server.requests().empty());
}

TEST(HttpsTransferTest, TrustsTheTestAuthorityOnlyWhenGiven)
{
    HttpsServer server;
    HttpsTransfer systemOnly;
    const std::string description = failure([&] { systemOnly.OpenURL(urlOf(server)); });
    EXPECT_EQ(description.rfind("SSL peer certificate or SSH remote key was not OK: ", 0), 0u)
        << description;
    EXPECT_TRUE(server.requests().empty());
}

TEST(HttpsTransferTest, UnusableAuthorityFileFailsEveryRequest)
{
    TempDir dir;
    std::ofstream(dir / "empty.pem").close();
    HttpsServer server;
    const std::pair<std::filesystem::path, std::string> cases[] = {
        {dir / "missing.pem", "No such file or directory"},
        {dir / "empty.pem", "it is empty"},
        {dir.path(), "Is a directory"},
    };
    for (const auto& [file, problem] : cases) {
        HttpsTransfer transfer(kRequestTimeout, file.string());
        for (int attempt = 0; attempt < 2; ++attempt)
            EXPECT_EQ(failure([&] { transfer.OpenURL(urlOf(server)); }),
                      "Cannot read the certificate authority file " + file.string() + ": " +
                          problem);
    }
    EXPECT_TRUE(server.requests().empty());
}

TEST(HttpsTransferTest, DescriptionsNeverHoldTheUrl)
{
    HttpsServer slow({.delay = 3s});
    HttpsServer untrusted({.untrusted = true});
    const std::string unreachable =
        "https://127.0.0.1:" + std::to_string(HttpsServer::unusedPort()) + "/p?password=topsecret";
    HttpsTransfer transfer(500ms, HttpsServer::caFile());
    for (const std::string& url : {urlOf(slow), urlOf(untrusted), unreachable,
                                   std::string("https://[::1/p?password=topsecret"),
                                   std::string("https://no host/p?password=topsecret")}) {
        const std::string description = failure([&] { transfer.OpenURL(url); });
        EXPECT_FALSE(description.empty()) << url;
        EXPECT_EQ(description.find("topsecret"), std::string::npos) << description;
    }
}

TEST(HttpsTransferTest, OversizedReplyStopsTheTransfer)
{
    HttpsServer huge({.largeBodyMiB = 40});
    HttpsServer small;
    HttpsTransfer transfer(kRequestTimeout, HttpsServer::caFile());
    EXPECT_EQ(failure([&] { transfer.OpenURL(urlOf(huge)); }),
              "The reply is larger than " + std::to_string(kMaxReplyBytes) +
                  " bytes; the transfer was stopped");
    // The handle is fine afterwards.
    EXPECT_EQ(transfer.OpenURL(urlOf(small)), "OK");
}

} // namespace
