// Tavix CallerID tests: the web notification of an incoming caller ID.
#include "notify/CallNotifier.h"

#include "log/ActivityLog.h"

#include "HttpsServer.h"
#include "TempDir.h"
#include "TestPlatform.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

const std::string kUrlStart = "https://connector.test/includes/content/caller_id/connector.php"
                              "?action=newcall&user=";
const QString kUser = QStringLiteral("till 2");
const QString kPassword = QStringLiteral("Sesame&Open");

// The caller-ID field as the device fills it: the digits, then NULs to 128 characters.
std::string callerField(const std::string& digits)
{
    std::string field = digits;
    field.resize(128, '\0');
    return field;
}

// ---- The URL ---------------------------------------------------------------------------------

class ConnectorUrlTest : public ::testing::Test
{
  protected:
    TempDir dir;
    ActivityLog log{dir / "tavix.log"};
    CallNotifier notifier{log, "connector.test"};

    std::string url(const std::string& line, const QString& user = kUser,
                    const QString& password = kPassword,
                    const std::string& caller = callerField("0123456789"))
    {
        return notifier.connectorUrl(caller, line, user, password);
    }
};

TEST_F(ConnectorUrlTest, HoldsThePiecesInTheirOrder)
{
    EXPECT_EQ(url("1"), kUrlStart + "till%202&line=2&password=Sesame%26Open&caller=0123456789");
}

TEST_F(ConnectorUrlTest, EmptyLoginKeepsAllFiveKeys)
{
    EXPECT_EQ(url("0", "", ""), kUrlStart + "&line=1&password=&caller=0123456789");
}

TEST_F(ConnectorUrlTest, LineNumberIsTheIndexPlusOne)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"0", "1"},         {"3", "4"},   {"-1", "0"}, {"-32768", "-32767"},
        {"32766", "32767"}, {" 2 ", "3"}, {"+2", "3"}, {"007", "8"},
    };
    for (const auto& [line, number] : cases)
        EXPECT_NE(url(line).find("&line=" + number + "&password="), std::string::npos) << line;
}

TEST_F(ConnectorUrlTest, LineThatIsNoSixteenBitNumberIsRefused)
{
    for (const std::string line : {"32767", "32768", "-32769", "99999999999999999999"}) {
        try {
            url(line);
            ADD_FAILURE() << line << " was accepted";
        } catch (const std::out_of_range& error) {
            EXPECT_EQ(std::string(error.what()).rfind("Overflow", 0), 0u) << error.what();
        }
    }
    for (const std::string line : {"abc", "", " ", "1.5", "2x", "+-1", "0x1", "+"}) {
        try {
            url(line);
            ADD_FAILURE() << '"' << line << "\" was accepted";
        } catch (const std::invalid_argument& error) {
            EXPECT_EQ(std::string(error.what()).rfind("Type mismatch", 0), 0u) << error.what();
        }
    }
}

TEST_F(ConnectorUrlTest, LoginValuesArePercentEncoded)
{
    const std::vector<std::pair<QString, std::string>> cases = {
        {"a&b=c#d", "a%26b%3Dc%23d"},
        {" lead and trail ", "%20lead%20and%20trail%20"},
        {"1+1", "1%2B1"},
        {"Zoë", "Zo%C3%AB"},
        {"100%", "100%25"},
        {"A-Z_a.z~09", "A-Z_a.z~09"},
    };
    for (const auto& [value, encoded] : cases) {
        EXPECT_EQ(url("0", value, ""), kUrlStart + encoded + "&line=1&password=&caller=0123456789");
        EXPECT_EQ(url("0", "", value),
                  kUrlStart + "&line=1&password=" + encoded + "&caller=0123456789");
    }
}

TEST_F(ConnectorUrlTest, CallerIsCutAtItsFirstNul)
{
    const auto callerPart = [&](const std::string& caller) {
        const std::string full = url("0", kUser, kPassword, caller);
        return full.substr(full.find("&caller="));
    };
    EXPECT_EQ(callerPart(callerField("5551234")), "&caller=5551234");
    EXPECT_EQ(callerPart(std::string("12\0"
                                     "34",
                                     5)),
              "&caller=12");
    EXPECT_EQ(callerPart("5551234"), "&caller=5551234");
    EXPECT_EQ(callerPart(callerField("")), "&caller=");
}

// ---- Sending -----------------------------------------------------------------------------------

class SendCallTest : public ::testing::Test
{
  protected:
    TempDir dir;
    ActivityLog log{dir / "tavix.log", [] { return TimeOfDay{10, 15, 0}; }};

    // The texts of the log's entries.
    std::vector<std::string> entries() const
    {
        std::vector<std::string> texts;
        const std::string all = readFile(log.path());
        const std::string head = "> 101500: ", tail = "\r\n...\r\n";
        for (size_t at = 0; at < all.size();) {
            const size_t end = all.find(tail, at);
            EXPECT_EQ(all.compare(at, head.size(), head), 0) << all;
            if (end == std::string::npos)
                break;
            texts.push_back(all.substr(at + head.size(), end - at - head.size()));
            at = end + tail.size();
        }
        return texts;
    }

    // Until every request has its entry in the log.
    static void waitForReplies(const CallNotifier& notifier)
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return notifier.pendingCount() == 0; }, 30000));
    }

    // One caller ID, sent and answered.
    void sendOne(const std::string& host, std::chrono::milliseconds timeout = kRequestTimeout)
    {
        CallNotifier notifier(log, host, HttpsServer::caFile(), timeout);
        notifier.SendCall(callerField("1"), "0", kUser, kPassword);
        waitForReplies(notifier);
    }

    // Whatever happened, the log holds one entry that says something, and (TearDown) neither
    // the URL nor the password.
    void expectOneEntryStartingWith(const std::string& start)
    {
        const std::vector<std::string> texts = entries();
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0].rfind(start, 0), 0u) << texts[0];
        EXPECT_FALSE(texts[0].empty());
    }

    void TearDown() override
    {
        const std::string all = readFile(log.path());
        // The page's path may be named, but never its query.
        for (const std::string secret : {"Sesame", "Open", "?action=", "connector.test"})
            EXPECT_EQ(all.find(secret), std::string::npos) << secret << " in the log:\n" << all;
    }
};

TEST_F(SendCallTest, SendsOneRequestPerCallWithTheLineNumber)
{
    HttpsServer server;
    CallNotifier notifier(log, server.host(), HttpsServer::caFile());
    notifier.SendCall(callerField("0123456789"), "0", kUser, kPassword);
    notifier.SendCall(callerField("0987654321"), "3", kUser, kPassword);
    waitForReplies(notifier);

    // The two run side by side: either may reach the server first.
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    std::sort(requests.begin(), requests.end(),
              [](const auto& a, const auto& b) { return a.value("line") < b.value("line"); });
    for (const auto& request : requests) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.path, "/includes/content/caller_id/connector.php");
        EXPECT_EQ(request.keys(),
                  (std::vector<std::string>{"action", "user", "line", "password", "caller"}));
        EXPECT_EQ(request.value("action"), "newcall");
        EXPECT_EQ(request.value("user"), "till 2");
        EXPECT_EQ(request.value("password"), "Sesame&Open");
    }
    EXPECT_EQ(requests[0].value("line"), "1");
    EXPECT_EQ(requests[0].value("caller"), "0123456789");
    EXPECT_EQ(requests[1].value("line"), "4");
    EXPECT_EQ(requests[1].value("caller"), "0987654321");
    EXPECT_EQ(entries(), (std::vector<std::string>{"OK", "OK"}));
}

TEST_F(SendCallTest, ConnectorDecodesTheLoginAsSaved)
{
    HttpsServer server;
    CallNotifier notifier(log, server.host(), HttpsServer::caFile());
    const std::vector<QString> values = {"",    "a&b=c#d", " blank ", "1+1 =2",
                                         "Zoë", "%41",     "ä€😀",     "semi;colon"};
    for (const QString& value : values) {
        notifier.SendCall(callerField("5551234"), "1", value, value);
        waitForReplies(notifier);
    }

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(requests[i].keys().size(), 5u) << requests[i].target;
        EXPECT_EQ(requests[i].value("user"), values[i].toStdString());
        EXPECT_EQ(requests[i].value("password"), values[i].toStdString());
        EXPECT_EQ(requests[i].value("caller"), "5551234");
    }
}

TEST_F(SendCallTest, LogsTheReplyBodyAsOneEntry)
{
    for (const std::string body : {"OK", "", "first line\r\nsecond line\n", "Zoë ✓"}) {
        HttpsServer server({.body = body});
        sendOne(server.host());
    }
    // A reply's line breaks cannot start a line of the log that reads as an entry of its own;
    // an empty reply is said in words.
    EXPECT_EQ(entries(), (std::vector<std::string>{
                             "OK",
                             "Empty reply (HTTP 200) from the web application for the caller 1 "
                             "on line 1.",
                             "first line  second line ", "Zoë ✓"}));
}

// Anything but a 2xx reply is a failure, with its status and the start of its body.
TEST_F(SendCallTest, AReplyOtherThanSuccessIsLoggedAsAFailureWithItsStatus)
{
    struct Case
    {
        int status;
        std::string body, entry;
    };
    const std::string who = " from the web application for the caller 1 on line 1";
    const Case cases[] = {
        {500, "database down", "HTTP 500" + who + ": database down"},
        {302, "moved", "HTTP 302" + who + ": moved"},
        {404, "", "HTTP 404" + who + ": (no text)"},
        {503, std::string(300, 'x'), "HTTP 503" + who + ": " + std::string(200, 'x') + "..."},
        {204, "", "Empty reply (HTTP 204)" + who + "."},
    };
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        HttpsServer server({.body = c.body, .status = c.status});
        sendOne(server.host());
        expected.push_back(c.entry);
    }
    EXPECT_EQ(entries(), expected);
}

// Error and debugging pages quote the request, encoded as sent or decoded.
TEST_F(SendCallTest, AReplyQuotingTheRequestLosesThePasswordAndTheQuery)
{
    for (const int status : {200, 500}) {
        HttpsServer echo({.status = status, .echo = true});
        sendOne(echo.host());
        ASSERT_EQ(echo.requests().size(), 1u);
    }
    const auto texts = entries();
    ASSERT_EQ(texts.size(), 2u);
    for (const std::string& text : texts) {
        EXPECT_NE(text.find("/includes/content/caller_id/connector.php"), std::string::npos)
            << text;
        EXPECT_NE(text.find("password=[password]"), std::string::npos) << text;
    }
}

TEST_F(SendCallTest, UnreachableConnectorIsLoggedOnce)
{
    sendOne(HttpsServer::hostWithPort(HttpsServer::unusedPort()));
    expectOneEntryStartingWith("No reply from the web application for the caller 1 on line 1: " +
                               std::string(TestPlatform::kSystemTexts.couldNotConnect));
}

TEST_F(SendCallTest, UntrustedCertificateIsLoggedAndNothingIsSent)
{
    HttpsServer server({.untrusted = true});
    sendOne(server.host());
    expectOneEntryStartingWith("No reply from the web application for the caller 1 on line 1: " +
                               std::string(TestPlatform::kSystemTexts.untrustedCertificate));
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(SendCallTest, SlowConnectorTimesOutWithoutRetry)
{
    HttpsServer server({.delay = 3s});
    sendOne(server.host(), 500ms);
    expectOneEntryStartingWith("No reply from the web application for the caller 1 on line 1: "
                               "Timeout was reached: ");
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(SendCallTest, ResetConnectionIsLogged)
{
    HttpsServer server({.reset = true});
    sendOne(server.host());
    ASSERT_EQ(entries().size(), 1u);
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(SendCallTest, OversizedReplyIsLoggedAsAnError)
{
    HttpsServer server({.largeBodyMiB = 40});
    sendOne(server.host());
    expectOneEntryStartingWith("No reply from the web application for the caller 1 on line 1: "
                               "The reply is larger than ");
}

TEST_F(SendCallTest, BadLineIsLoggedAndNothingIsSent)
{
    HttpsServer server;
    CallNotifier notifier(log, server.host(), HttpsServer::caFile());
    notifier.SendCall(callerField("1"), "32767", kUser, kPassword);
    notifier.SendCall(callerField("1"), "abc", kUser, kPassword);
    const auto texts = entries();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].rfind("Overflow", 0), 0u) << texts[0];
    EXPECT_EQ(texts[1].rfind("Type mismatch", 0), 0u) << texts[1];
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(SendCallTest, ReusesTheConnection)
{
    HttpsServer server;
    CallNotifier notifier(log, server.host(), HttpsServer::caFile());
    notifier.SendCall(callerField("1"), "0", kUser, kPassword);
    waitForReplies(notifier);
    notifier.SendCall(callerField("2"), "1", kUser, kPassword);
    waitForReplies(notifier);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].connection, 1);
    EXPECT_EQ(requests[1].connection, 1);
    EXPECT_EQ(requests[0].clientPort, requests[1].clientPort);
}

TEST_F(SendCallTest, AnUnwritableLogStillSendsTheCall)
{
    HttpsServer server;
    // A folder where the log file should be: every entry fails.
    const ActivityLog brokenLog(dir.path());
    CallNotifier notifier(brokenLog, server.host(), HttpsServer::caFile());
    EXPECT_NO_THROW(notifier.SendCall(callerField("1"), "0", kUser, kPassword));
    waitForReplies(notifier);
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(SendCallTest, CallsOnEveryLineOverlapAndEachIsSentOnce)
{
    HttpsServer slow({.delay = 2s});
    CallNotifier notifier(log, slow.host(), HttpsServer::caFile());
    for (int line = 0; line < 4; ++line)
        notifier.SendCall(callerField("555000" + std::to_string(line)), std::to_string(line), kUser,
                          kPassword);
    // All four reach the server before the first reply is logged.
    EXPECT_TRUE(QTest::qWaitFor([&] { return slow.requests().size() == 4; }, 30000));
    EXPECT_TRUE(entries().empty());
    waitForReplies(notifier);

    std::map<std::string, std::string> callerByLine;
    for (const auto& request : slow.requests())
        EXPECT_TRUE(callerByLine.emplace(request.value("line"), request.value("caller")).second);
    EXPECT_EQ(callerByLine,
              (std::map<std::string, std::string>{
                  {"1", "5550000"}, {"2", "5550001"}, {"3", "5550002"}, {"4", "5550003"}}));
    EXPECT_EQ(entries(), std::vector<std::string>(4, "OK"));
}

TEST_F(SendCallTest, ClosingAbandonsWhatIsPendingWithOneEntryEach)
{
    HttpsServer silent({.delay = 30s});
    CallNotifier notifier(log, silent.host(), HttpsServer::caFile());
    notifier.SendCall(callerField("0123456789"), "1", kUser, kPassword);
    notifier.SendCall(callerField(""), "2", kUser, kPassword);
    // A request that fails before reaching the server has logged why.
    ASSERT_TRUE(QTest::qWaitFor([&] { return silent.requests().size() == 2; }, 30000))
        << silent.requests().size() << " requests; log: " << ::testing::PrintToString(entries());

    notifier.abandonPending();
    EXPECT_EQ(notifier.pendingCount(), 0u);
    EXPECT_EQ(entries(),
              (std::vector<std::string>{
                  "No reply from the web application yet for the caller 0123456789 on line 2: "
                  "the request was abandoned because the program is closing.",
                  "No reply from the web application yet for the caller (no number) on line 3: "
                  "the request was abandoned because the program is closing."}));
}

TEST_F(SendCallTest, EachCallTellsHowItsDeliveryEnded)
{
    using State = CallDelivery::State;
    HttpsServer answering({.body = "Taken: 0123456789\r\nsecond line"});
    HttpsServer silent({.delay = 30s});
    // Ids are each notifier's own.
    std::map<std::pair<const CallNotifier*, CallNotifier::CallId>, CallDelivery> ended;
    const auto watch = [&](CallNotifier& notifier) {
        QObject::connect(&notifier, &CallNotifier::delivered,
                         [&](CallNotifier::CallId id, const CallDelivery& d) {
                             ended[{&notifier, id}] = d;
                         });
    };
    CallNotifier toAnswering(log, answering.host(), HttpsServer::caFile());
    CallNotifier toNobody(log, HttpsServer::hostWithPort(HttpsServer::unusedPort()),
                          HttpsServer::caFile());
    CallNotifier toSilent(log, silent.host(), HttpsServer::caFile());
    CallNotifier withoutHost(log, "");
    for (CallNotifier* notifier : {&toAnswering, &toNobody, &toSilent, &withoutHost})
        watch(*notifier);

    const auto sent = toAnswering.SendCall(callerField("0123456789"), "0", kUser, kPassword);
    const auto refused = toNobody.SendCall(callerField("1"), "1", kUser, kPassword);
    const auto waiting = toSilent.SendCall(callerField("2"), "2", kUser, kPassword);
    const auto nowhere = withoutHost.SendCall(callerField("3"), "3", kUser, kPassword);
    EXPECT_EQ(sent.delivery.state, State::Pending);
    EXPECT_EQ(nowhere.delivery.state, State::NotSent);
    EXPECT_EQ(nowhere.delivery.detail, "No web application host is set");
    waitForReplies(toAnswering);
    waitForReplies(toNobody);
    ASSERT_TRUE(QTest::qWaitFor([&] { return silent.requests().size() == 1; }, 30000));
    toSilent.abandonPending();

    EXPECT_EQ(ended.size(), 3u);
    const CallDelivery& answered = ended[std::pair(&toAnswering, sent.id)];
    EXPECT_EQ(answered.state, State::Sent);
    EXPECT_EQ(answered.detail, "Taken: 0123456789");
    const CallDelivery& failed = ended[std::pair(&toNobody, refused.id)];
    EXPECT_EQ(failed.state, State::Failed);
    EXPECT_EQ(failed.detail.rfind(TestPlatform::kSystemTexts.couldNotConnect, 0), 0u);
    EXPECT_EQ(ended[std::pair(&toSilent, waiting.id)].state, State::Abandoned);
    EXPECT_NE(toAnswering.SendCall(callerField("4"), "0", kUser, kPassword).id, sent.id);
    waitForReplies(toAnswering);
}

TEST_F(SendCallTest, WithoutAHostNothingIsSentAndTheLogSaysHowToSetOne)
{
    CallNotifier notifier(log, "");
    notifier.SendCall(callerField("0123456789"), "0", kUser, kPassword);
    EXPECT_EQ(notifier.pendingCount(), 0u);
    const auto texts = entries();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].rfind("No web application host is set, so the caller 0123456789 on line "
                             "1 was not sent to it. Set the web application's host in Settings (or "
                             "\"host\" in section [CallerID] of ",
                             0),
              0u)
        << texts[0];
}

// A host setting pasted into the URL could send the password elsewhere: it is refused once, in
// words, and each caller is then logged as not sent.
TEST_F(SendCallTest, AHostSettingThatIsNoHostSendsNothingAndIsReportedOnce)
{
    HttpsServer server;
    CallNotifier notifier(log, server.host() + "/path?x=", HttpsServer::caFile());
    QSignalSpy reported(&notifier, &CallNotifier::settingsProblem);
    notifier.SendCall(callerField("0123456789"), "0", kUser, kPassword);
    notifier.SendCall(callerField("555"), "1", kUser, kPassword);
    EXPECT_TRUE(QTest::qWaitFor([&] { return reported.size() == 1; }, 5000));
    EXPECT_EQ(notifier.pendingCount(), 0u);
    const QString text = reported.value(0).value(0).toString();
    for (const QString& part : {QStringLiteral("\"host\""), QString::fromStdString(server.host()),
                                QStringLiteral("it holds a path (/)")})
        EXPECT_TRUE(text.contains(part)) << text.toStdString();
    const auto texts = entries();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_NE(texts[0].find("so the caller 0123456789 on line 1 was not sent to it"),
              std::string::npos)
        << texts[0];
    EXPECT_NE(texts[1].find("so the caller 555 on line 2 was not sent to it"), std::string::npos);
    EXPECT_TRUE(server.requests().empty());
}

// The queue has a bound; a caller beyond it gets an entry of its own.
TEST_F(SendCallTest, ACallerBeyondTheQueuesBoundIsLoggedAsNotSent)
{
    HttpsServer silent({.delay = 30s});
    CallNotifier notifier(log, silent.host(), HttpsServer::caFile());
    for (size_t i = 0; i <= kMaxWaitingRequests; ++i)
        notifier.SendCall(callerField(std::to_string(i)), "0", kUser, kPassword);
    EXPECT_EQ(notifier.pendingCount(), kMaxWaitingRequests);
    EXPECT_EQ(entries(), std::vector<std::string>{
                             "Too many callers are waiting for the web application (10000), so "
                             "the caller 10000 on line 1 was not sent to it."});
    // The server never sees more connections than the bound.
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return silent.requests().size() == kMaxConnections; }, 30000));
    QTest::qWait(300);
    EXPECT_EQ(silent.requests().size(), kMaxConnections);
    notifier.abandonPending();
    EXPECT_EQ(entries().size(), kMaxWaitingRequests + 1);
}

} // namespace
