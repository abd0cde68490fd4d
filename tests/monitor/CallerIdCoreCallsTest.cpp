// Tavix CallerID tests: the core's calls list: each caller's web outcome on its call, and a
// caller sent again.
#include "HttpsServer.h"
#include "RecordingDevice.h"
#include "TempDir.h"
#include "TestPlatform.h"
#include "log/ActivityLog.h"
#include "monitor/CallerIdCore.h"
#include "monitor/DeviceEvents.h"
#include "monitor/DeviceWindow.h"
#include "notify/LoginStore.h"

#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

namespace {

using namespace std::chrono_literals;
using State = CallDelivery::State;

class CallerIdCoreCallsTest : public ::testing::Test
{
  protected:
    CallerIdCoreCallsTest()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(dir.path().string()));
        TestPlatform::clearUserSettings();
    }
    ~CallerIdCoreCallsTest() override { TestPlatform::clearUserSettings(); }

    // Settings for `server` (none: no host), then the history and the device opened.
    void start(const HttpsServer* server)
    {
        configure(server, "till", "s3cret");
        ASSERT_EQ(core.openCallHistory(QString::fromStdString((dir / "calls.sqlite").string())),
                  "");
        core.buildLineTable();
        core.openDevice(0);
    }
    void configure(const HttpsServer* server, const QString& user, const QString& password)
    {
        LoginStore store;
        store.saveLogin(user, password);
        store.writeValue("host", server ? QString::fromStdString(server->host()) : QString());
        store.writeValue("cafile", QString::fromStdString(HttpsServer::caFile()));
        ASSERT_EQ(core.loadSettings(), "");
    }
    // A caller ID on line 2 and its call.
    CallRecord callerOnLine2()
    {
        recorder.line(1) = {"0123456789", "Jane Doe", "", "", "", "", "", 1};
        core.deviceWindow()->post(WM_DEVICE_EVENT, 65536 + EV_BACK_CID, 0);
        core.deviceWindow()->deliverPosted();
        const QList<CallRecord> newest =
            core.callHistory()->fetch(CallHistory::Filter::All, "", 0, 1);
        EXPECT_EQ(newest.size(), 1);
        return newest.value(0);
    }
    CallRecord settled(CallRecord::Id id)
    {
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return core.callHistory()->find(id).delivery != State::Pending; }, 30000));
        return core.callHistory()->find(id);
    }

    TempDir dir;
    std::shared_ptr<void> trust = TestPlatform::trustAuthority(HttpsServer::caFile());
    RecordingDevice recorder;
    DeviceLibrary device{recorder.resolver()};
    ActivityLog log{dir / "tavix.log"};
    CallerIdCore core{device, log};
};

TEST_F(CallerIdCoreCallsTest, TheWebApplicationsOutcomeReachesTheCall)
{
    const struct
    {
        const char* what;
        std::optional<HttpsServer::Options> server;
        bool closeAtOnce;
        State state;
        QString detail; // its start
    } cases[] = {
        {"sent", HttpsServer::Options{.body = "Caller found\r\nJane Doe, 3 orders"}, false,
         State::Sent, "Caller found"},
        {"failed", HttpsServer::Options{.body = "Try later", .status = 503}, false, State::Failed,
         "HTTP 503"},
        {"no host", std::nullopt, false, State::NotSent, "No web application host is set"},
        {"closed first", HttpsServer::Options{.delay = 20s}, true, State::Abandoned,
         "The program closed"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        std::optional<HttpsServer> server;
        if (test.server)
            server.emplace(*test.server);
        start(server ? &*server : nullptr);
        const CallRecord call = callerOnLine2();
        EXPECT_EQ(call.line, 2);
        EXPECT_EQ(call.number, "0123456789");
        EXPECT_EQ(call.name, "Jane Doe");
        if (test.closeAtOnce)
            core.abandonPendingCalls();
        const CallRecord outcome = settled(call.id);
        EXPECT_EQ(outcome.delivery, test.state);
        EXPECT_TRUE(outcome.deliveryDetail.startsWith(test.detail))
            << outcome.deliveryDetail.toStdString();
        EXPECT_FALSE(outcome.deliveryDetail.contains("s3cret"));
        EXPECT_FALSE(outcome.deliveryDetail.contains("password="));
        core.closeDevice();
    }
}

TEST_F(CallerIdCoreCallsTest, WhatFollowsOnTheLineReachesTheCall)
{
    start(nullptr);
    const CallRecord call = callerOnLine2();
    for (const auto& [kind, lParam] : {std::pair{EV_LINE_STATE, int(LS_HOOK_OFF_PRA)},
                                       {EV_TALK_TIME, 75},
                                       {EV_LINE_STATE, int(LS_HOOK_ON_PRA)}}) {
        // The same events on another line change nothing of this call.
        core.deviceWindow()->post(WM_DEVICE_EVENT, 2 * 65536 + kind, lParam);
        core.deviceWindow()->post(WM_DEVICE_EVENT, 65536 + kind, lParam);
    }
    core.deviceWindow()->deliverPosted();
    const CallRecord ended = core.callHistory()->find(call.id);
    EXPECT_EQ(ended.progress, CallRecord::Progress::Ended);
    EXPECT_EQ(ended.talkSeconds, 75);
    EXPECT_EQ(core.callHistory()->count(CallHistory::Filter::All, ""), 1);
}

TEST_F(CallerIdCoreCallsTest, SendAgainSendsTheCallerOnceMoreWithTheLoginOfNow)
{
    HttpsServer failing({.status = 500});
    start(&failing);
    const CallRecord call = callerOnLine2();
    ASSERT_EQ(settled(call.id).delivery, State::Failed);
    EXPECT_FALSE(core.sendAgain(0));

    // A new login and a new web application while running: a new notifier.
    HttpsServer working({.body = "Caller found"});
    configure(&working, "till 2", "n3w");
    ASSERT_TRUE(core.sendAgain(call.id));
    EXPECT_EQ(core.callHistory()->find(call.id).delivery, State::Pending);
    const CallRecord outcome = settled(call.id);
    EXPECT_EQ(outcome.delivery, State::Sent);
    EXPECT_EQ(outcome.deliveryDetail, "Caller found");

    // A call the web application got is not sent again.
    EXPECT_FALSE(core.sendAgain(call.id));
    QTest::qWait(200);
    const auto requests = working.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].value("caller"), "0123456789");
    EXPECT_EQ(requests[0].value("line"), "2");
    EXPECT_EQ(requests[0].value("user"), "till 2");
    EXPECT_EQ(requests[0].value("password"), "n3w");
    EXPECT_EQ(failing.requests().size(), 1u);
}

} // namespace
