// Tavix CallerID tests: the tray icon's menu and tooltip, and the callers' notifications.
#include "UiTestFixture.h"

#include "notify/LoginStore.h"
#include "ui/SettingsDialog.h"
#include "ui/TrayIcon.h"

#include <QAction>
#include <QTest>

#include <algorithm>

namespace {

class TrayAndNotificationsTest : public UiTest
{
  protected:
    QAction& entry(const char* name)
    {
        auto* action = app->trayIcon()->menu().findChild<QAction*>(QLatin1String(name));
        if (!action)
            throw std::logic_error(std::string("no menu entry ") + name);
        return *action;
    }
    // A caller ID on line 1 (the second line), as the box posts it.
    void ring(const char* number, const char* name)
    {
        RecordingDevice::Line& line = recorder.line(1);
        line.callerId = number;
        line.name = name;
        line.callerIdCount = 1;
        recorder.postToProgram(WM_DEVICE_EVENT, 1 * 65536 + EV_BACK_CID, 0);
    }
};

TEST_F(TrayAndNotificationsTest, TheMenuShowsTheWindowsTheSettingsAndQuitsAsMainDoes)
{
    startProgram();
    app->showTrayIcon();
    ASSERT_NE(app->trayIcon(), nullptr);
    QStringList texts;
    for (QAction* action : app->trayIcon()->menu().actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(texts, QStringList({"Show the windows", QStringLiteral("Calls\u2026"),
                                  QStringLiteral("Settings\u2026"), "-", "Quit"}));

    // "Calls…" shows while something takes it.
    EXPECT_FALSE(entry("actCalls").isVisible());
    int callsWanted = 0;
    const auto taken =
        QObject::connect(app.get(), &CallerIdApp::callsWanted, [&] { ++callsWanted; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return entry("actCalls").isVisible(); }));
    entry("actCalls").trigger();
    EXPECT_EQ(callsWanted, 1);
    QObject::disconnect(taken);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !entry("actCalls").isVisible(); }));

    entry("actSettings").trigger();
    ASSERT_NE(app->settingsDialog(), nullptr);
    EXPECT_TRUE(app->settingsDialog()->isVisible());

    mainWindow().showMinimized();
    form().hide();
    entry("actShowWindows").trigger();
    EXPECT_TRUE(mainWindow().isVisible());
    EXPECT_FALSE(mainWindow().isMinimized());
    EXPECT_TRUE(form().isVisible());

    entry("actQuit").trigger();
    EXPECT_EQ(app->mainWindow(), nullptr);
    EXPECT_EQ(app->diagnosticsWindow(), nullptr);
    ASSERT_GE(recorder.calls().size(), 2u);
    EXPECT_EQ(recorder.calls().back(), "AD101_FreeDevice");
    EXPECT_EQ(recorder.calls()[0], "AD101_SetLED 0 1");
}

TEST_F(TrayAndNotificationsTest, TheToolTipTellsTheLinesAndTheLastCaller)
{
    startProgram();
    app->showTrayIcon();
    const QSystemTrayIcon& icon = app->trayIcon()->icon();
    EXPECT_EQ(icon.toolTip(), "Tavix CallerID\nLines: 1 disabled, 2 disabled, 3 disabled, 4 "
                              "disabled\nNo caller yet");
    for (int line = 0; line < kLineCount; ++line)
        recorder.postToProgram(WM_DEVICE_EVENT, line * 65536 + EV_BACK_ENABLE, 0);
    recorder.postToProgram(WM_DEVICE_EVENT, 2 * 65536 + EV_LINE_STATE, LS_HOOK_OFF_PRA);
    ring("0123456789", "Jane Doe");
    ASSERT_TRUE(QTest::qWaitFor([&] { return icon.toolTip().contains("Last caller"); }));
    EXPECT_TRUE(icon.toolTip().startsWith("Tavix CallerID\nLines: 1 idle, 2 idle, 3 off hook, "
                                          "4 idle\nLast caller: 0123456789 \u2014 Jane Doe, "
                                          "line 2, "))
        << icon.toolTip().toStdString();
}

TEST_F(TrayAndNotificationsTest, ACallerIsNotifiedThenTheNoticeTellsWhatTheWebApplicationGot)
{
    // A connector that refuses at once.
    LoginStore store;
    store.saveLogin(QStringLiteral("till"), QStringLiteral("s3cret"));
    store.writeValue(QStringLiteral("host"),
                     QStringLiteral("127.0.0.1:%1").arg(TestPlatform::unusedLoopbackPort()));
    startProgram();
    ring("0123456789", "Jane Doe");
    ASSERT_TRUE(QTest::qWaitFor([&] { return notices.size() == 2; }, 30000))
        << notices.size() << (notices.empty() ? "" : notices[0].body.toStdString());

    EXPECT_EQ(notices[0].summary, "Call on line 2");
    EXPECT_EQ(notices[0].body,
              QStringLiteral("0123456789 \u2014 Jane Doe\nSending to the web application\u2026"));
    EXPECT_FALSE(notices[0].last);
    EXPECT_EQ(notices[1].key, notices[0].key);
    EXPECT_EQ(notices[1].summary, "Call on line 2");
    EXPECT_TRUE(notices[1].body.startsWith(
        QStringLiteral("0123456789 \u2014 Jane Doe\nThe web application did not get it: ") +
        QLatin1String(TestPlatform::kSystemTexts.couldNotConnect)))
        << notices[1].body.toStdString();
    EXPECT_TRUE(notices[1].last);
    for (const ShownNotice& notice : notices) {
        EXPECT_FALSE(notice.body.contains("s3cret"));
        EXPECT_FALSE(notice.body.contains("connector.php"));
    }
}

TEST_F(TrayAndNotificationsTest, WithoutAHostOneNoticeSaysSoAndSwitchedOffThereIsNone)
{
    startProgram();
    ring("555", "");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !notices.empty(); }));
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].body,
              "555\nNot sent to the web application: No web application host is set");
    EXPECT_TRUE(notices[0].last);

    app->callNotifications().setEnabled(false);
    ring("556", "");
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return std::count(recorder.calls().begin(), recorder.calls().end(),
                          "AD101_GetCallerID 1 buf buf buf") == 2;
    }));
    QCoreApplication::processEvents();
    EXPECT_EQ(notices.size(), 1u);
}

} // namespace
