// Tavix CallerID tests: HTTPS GET requests that run beside the caller.
#include "notify/HttpsTransfer.h"

#include "HttpsServer.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace {

using namespace std::chrono_literals;

std::string urlOf(const HttpsServer& server, const std::string& path = "/page?password=topsecret")
{
    return "https://" + server.host() + path;
}

// A transfer whose completions a test can wait for, by request.
class Transfer
{
public:
    explicit Transfer(std::chrono::milliseconds timeout = kRequestTimeout, std::string caFile = {})
        : m_transfer([this](HttpsTransfer::RequestId id, TransferResult result) {
              std::lock_guard lock(m_mutex);
              ++m_completions[id];
              m_results[id] = std::move(result);
              m_changed.notify_all();
          },
                     timeout, std::move(caFile))
    {
    }

    HttpsTransfer& transfer() { return m_transfer; }

    HttpsTransfer::RequestId start(const std::string& url)
    {
        const HttpsTransfer::RequestId id = m_nextId++;
        m_transfer.start(id, url);
        return id;
    }

    TransferResult wait(HttpsTransfer::RequestId id)
    {
        std::unique_lock lock(m_mutex);
        if (!m_changed.wait_for(lock, 30s, [&] { return m_results.count(id) > 0; })) {
            ADD_FAILURE() << "request " << id << " did not end";
            return {};
        }
        return m_results[id];
    }

    // The whole body, or the failure's description after "failed: ".
    std::string fetch(const std::string& url)
    {
        const TransferResult result = wait(start(url));
        return result.ok ? result.text : "failed: " + result.text;
    }

    int completions(HttpsTransfer::RequestId id)
    {
        std::lock_guard lock(m_mutex);
        return m_completions[id];
    }

private:
    HttpsTransfer::RequestId m_nextId = 1;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<HttpsTransfer::RequestId, TransferResult> m_results;
    std::map<HttpsTransfer::RequestId, int> m_completions;
    HttpsTransfer m_transfer; // last: gone before what its completions touch
};

std::string failed(const std::string& description)
{
    return "failed: " + description;
}

template <typename Condition> bool waitUntil(Condition condition)
{
    for (int i = 0; i < 3000 && !condition(); ++i)
        std::this_thread::sleep_for(10ms);
    return condition();
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
        Transfer transfer(kRequestTimeout, HttpsServer::caFile());
        EXPECT_EQ(transfer.fetch(urlOf(server)), c.body) << c.status;
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
    Transfer first(kRequestTimeout, HttpsServer::caFile());
    first.fetch(urlOf(server));
    first.fetch(urlOf(server));
    Transfer second(kRequestTimeout, HttpsServer::caFile());
    second.fetch(urlOf(server));

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].connection, 1);
    EXPECT_EQ(requests[1].connection, 1);
    EXPECT_EQ(requests[2].connection, 2);
}

TEST(HttpsTransferTest, SpeaksOnlyHttps)
{
    HttpsServer server;
    Transfer transfer(kRequestTimeout, HttpsServer::caFile());
    const std::string plain = "http://" + server.host() + "/page?password=topsecret";
    EXPECT_EQ(transfer.fetch(plain).rfind(failed("Unsupported protocol"), 0), 0u);
    EXPECT_TRUE(server.requests().empty());
}

TEST(HttpsTransferTest, TrustsTheTestAuthorityOnlyWhenGiven)
{
    HttpsServer server;
    Transfer systemOnly;
    const std::string description = systemOnly.fetch(urlOf(server));
    EXPECT_EQ(description.rfind(failed("SSL peer certificate or SSH remote key was not OK: "), 0),
              0u)
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
        Transfer transfer(kRequestTimeout, file.string());
        for (int attempt = 0; attempt < 2; ++attempt)
            EXPECT_EQ(transfer.fetch(urlOf(server)),
                      failed("Cannot read the certificate authority file " + file.string() + ": " +
                             problem));
    }
    EXPECT_TRUE(server.requests().empty());
}

TEST(HttpsTransferTest, DescriptionsNeverHoldTheUrl)
{
    HttpsServer slow({.delay = 3s});
    HttpsServer untrusted({.untrusted = true});
    const std::string unreachable =
        "https://127.0.0.1:" + std::to_string(HttpsServer::unusedPort()) + "/p?password=topsecret";
    Transfer transfer(500ms, HttpsServer::caFile());
    for (const std::string& url : {urlOf(slow), urlOf(untrusted), unreachable,
                                   std::string("https://[::1/p?password=topsecret"),
                                   std::string("https://no host/p?password=topsecret")}) {
        const std::string description = transfer.fetch(url);
        EXPECT_GT(description.size(), failed("").size()) << url;
        EXPECT_EQ(description.find("topsecret"), std::string::npos) << description;
    }
}

TEST(HttpsTransferTest, OversizedReplyStopsTheTransfer)
{
    HttpsServer huge({.largeBodyMiB = 40});
    HttpsServer small;
    Transfer transfer(kRequestTimeout, HttpsServer::caFile());
    EXPECT_EQ(transfer.fetch(urlOf(huge)), failed("The reply is larger than " +
                                                  std::to_string(kMaxReplyBytes) +
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
