// Tavix CallerID tests: HTTPS GET requests that run beside the caller.
#include "RecordingTransfer.h"

#include "HttpsServer.h"
#include "TestPlatform.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Transfer = RecordingTransfer;

template <typename Condition> bool waitUntil(Condition condition)
{
    for (int i = 0; i < 3000 && !condition(); ++i)
        std::this_thread::sleep_for(10ms);
    return condition();
}

TEST(HttpsTransferTest, ReturnsTheWholeBodyWhateverTheStatus)
{
    struct Case
    {
        int status;
        std::string body;
    };
    for (const Case& c : {Case{200, "OK"}, Case{200, ""}, Case{204, ""}, Case{404, "Not here"},
                          Case{500, "Broken\r\nagain\n"}}) {
        HttpsServer server({.body = c.body, .status = c.status});
        Transfer transfer(kRequestTimeout, HttpsServer::caFile());
        const TransferResult result = transfer.wait(transfer.start(urlOf(server)));
        EXPECT_TRUE(result.ok) << c.status;
        EXPECT_EQ(result.text, c.body) << c.status;
        EXPECT_EQ(result.status, c.status);
    }
}

TEST(HttpsTransferTest, DoesNotFollowRedirects)
{
    HttpsServer server({.body = "moved", .status = 302, .headers = {"Location: /elsewhere"}});
    Transfer transfer(kRequestTimeout, HttpsServer::caFile());
    EXPECT_EQ(transfer.fetch(urlOf(server, "/here")), "moved");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].path, "/here");
}

TEST(HttpsTransferTest, KeepsItsConnectionForTheNextRequest)
{
    HttpsServer server;
    Transfer transfer(kRequestTimeout, HttpsServer::caFile());
    transfer.fetch(urlOf(server));
    transfer.fetch(urlOf(server));

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].connection, 1);
    EXPECT_EQ(requests[1].connection, 1);
}

TEST(HttpsTransferTest, SpeaksOnlyHttps)
{
    HttpsServer server;
    Transfer transfer(kRequestTimeout, HttpsServer::caFile());
    const std::string plain = "http://" + server.host() + "/page?password=topsecret";
    EXPECT_EQ(transfer.fetch(plain).rfind(failed("Unsupported protocol"), 0), 0u);
    EXPECT_TRUE(server.requests().empty());
}

TEST(HttpsTransferTest, FailuresSayWhyWithoutTheUrl)
{
    HttpsServer untrusted({.untrusted = true});
    HttpsServer slow({.delay = 3s});
    HttpsServer stalled({.silent = true}); // accepts, never completes the handshake
    const std::string refused = "https://" + HttpsServer::hostWithPort(HttpsServer::unusedPort());
    const std::string secret = "/p?password=topsecret";
    struct Case
    {
        std::string url;
        std::string start; // of the description, where the platform's words are checked
    };
    const Case cases[] = {
        {urlOf(untrusted, secret), TestPlatform::kSystemTexts.untrustedCertificate},
        {refused + secret, TestPlatform::kSystemTexts.couldNotConnect},
        {urlOf(slow, secret), "Timeout was reached: "},
        {urlOf(stalled, secret), "Timeout was reached: "},
        {"https://[::1" + secret, ""},
        {"https://no host" + secret, ""},
    };
    Transfer transfer(500ms, HttpsServer::caFile());
    for (const Case& c : cases) {
        const std::string description = transfer.fetch(c.url);
        EXPECT_EQ(description.rfind(failed(c.start), 0), 0u) << description;
        EXPECT_GT(description.size(), failed("").size()) << c.url;
        EXPECT_EQ(description.find("topsecret"), std::string::npos) << description;
    }
    // A certificate no trusted authority signed ends the connection before the request.
    EXPECT_TRUE(untrusted.requests().empty());
}

TEST(HttpsTransferTest, ANameThatIsNotFoundIsSaidInWords)
{
    // .invalid is never a name (RFC 6761): the look-up fails at once.
    Transfer transfer(kRequestTimeout);
    const std::string description = transfer.fetch("https://till.invalid/p?password=topsecret");
    EXPECT_EQ(description.rfind(failed(TestPlatform::kSystemTexts.nameNotFound), 0), 0u)
        << description;
    EXPECT_EQ(description.find("topsecret"), std::string::npos) << description;
}

TEST(HttpsTransferTest, OversizedReplyStopsTheTransfer)
{
    HttpsServer huge({.largeBodyMiB = 40});
    HttpsServer small;
    Transfer transfer(kRequestTimeout, HttpsServer::caFile());
    EXPECT_EQ(transfer.fetch(urlOf(huge)),
              failed("The reply is larger than " + std::to_string(kMaxReplyBytes) +
                     " bytes; the transfer was stopped"));
    // The transfer is fine afterwards.
    EXPECT_EQ(transfer.fetch(urlOf(small)), "OK");
}

TEST(HttpsTransferTest, RequestsRunSideBySideEachEndingOnce)
{
    HttpsServer slow({.body = "slow", .delay = 2s});
    HttpsServer quick({.body = "quick"});
    Transfer transfer(kRequestTimeout, HttpsServer::caFile());
    const auto first = transfer.start(urlOf(slow));
    const auto second = transfer.start(urlOf(quick));
    // The quick reply does not wait for the slow one.
    EXPECT_EQ(transfer.wait(second).text, "quick");
    EXPECT_EQ(transfer.completions(first), 0);
    EXPECT_EQ(transfer.wait(first).text, "slow");
    EXPECT_EQ(transfer.completions(first), 1);
    EXPECT_EQ(transfer.completions(second), 1);
    EXPECT_EQ(slow.requests().size(), 1u);
}

// A burst waits for a few connections, kept for the next requests, and each request's time-out
// counts from its own start: queued behind four rounds of slow replies, none times out.
TEST(HttpsTransferTest, ABurstSharesAFewConnectionsAndEachTimeOutCountsFromItsStart)
{
    HttpsServer slow({.delay = 400ms});
    Transfer transfer(1200ms, HttpsServer::caFile());
    std::vector<HttpsTransfer::RequestId> ids;
    for (size_t i = 0; i < 4 * kMaxConnections; ++i)
        ids.push_back(transfer.start(urlOf(slow)));
    for (const auto id : ids)
        EXPECT_EQ(transfer.wait(id).text, "OK");
    const auto requests = slow.requests();
    ASSERT_EQ(requests.size(), ids.size());
    for (const auto& request : requests)
        EXPECT_LE(request.connection, static_cast<int>(kMaxConnections));
}

TEST(HttpsTransferTest, AbandonDropsPendingRequestsWithoutWaiting)
{
    HttpsServer silent({.delay = 30s});
    Transfer transfer(kRequestTimeout, HttpsServer::caFile());
    const auto id = transfer.start(urlOf(silent));
    ASSERT_TRUE(waitUntil([&] { return silent.requests().size() == 1; }));
    transfer.transfer().abandon();
    EXPECT_EQ(transfer.completions(id), 0);
    // Usable again afterwards.
    HttpsServer quick;
    EXPECT_EQ(transfer.fetch(urlOf(quick)), "OK");
    EXPECT_EQ(transfer.completions(id), 0);
}

} // namespace
