// Tavix CallerID tests: the tray icon's menu and the callers' notifications.
#include "UiTestFixture.h"

#include "notify/LoginStore.h"
#include "ui/SettingsDialog.h"
#include "ui/TrayIcon.h"

#include <QAction>
#include <QTest>

namespace {

class TrayAndNotificationsTest : public UiTest
{
  protected:
    QAction& entry(const char* name)
    {
        return *app->trayIcon()->menu().findChild<QAction*>(QLatin1String(name));
    }
};

TEST_F(TrayAndNotificationsTest, TheMenuShowsTheWindowsTheCallsAndTheSettings)
{
    startProgram();
    app->showTrayIcon();
    QStringList texts;
    for (QAction* action : app->trayIcon()->menu().actions())
        texts << action->text();
    EXPECT_EQ(texts, QStringList({"Show the windows", QStringLiteral("Calls\u2026"),
                                  QStringLiteral("Settings\u2026"), "", "Quit"}));
    // The app takes Calls… itself: without a calls list, a box says there is none.
    EXPECT_TRUE(entry("actCalls").isVisible());
    int wanted = 0;
    QObject::connect(app.get(), &CallerIdApp::callsWanted, [&] { ++wanted; });
    entry("actCalls").trigger();
    EXPECT_EQ(wanted, 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, QStringLiteral("Tavix CallerID \u2014 Calls"));

    entry("actSettings").trigger();
    EXPECT_TRUE(app->settingsDialog()->isVisible());
    mainWindow().showMinimized();
    form().hide();
    entry("actShowWindows").trigger();
    EXPECT_FALSE(mainWindow().isMinimized());
    EXPECT_TRUE(form().isVisible());
}

TEST_F(TrayAndNotificationsTest, ACallerIsNotifiedThenTheNoticeTellsWhatTheWebApplicationGot)
{
    LoginStore store;
    store.saveLogin(QStringLiteral("till"), QStringLiteral("s3cret"));
    // A connector that refuses at once.
    store.writeValue(QStringLiteral("host"),
                     QStringLiteral("127.0.0.1:%1").arg(TestPlatform::unusedLoopbackPort()));
    startProgram();
    recorder.line(1) = {"0123456789", "Jane Doe", "", "", "", "", "", 1};
    recorder.postToProgram(WM_DEVICE_EVENT, 65536 + EV_BACK_CID, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return notices.size() == 2; }, 30000));

    const QString caller = QStringLiteral("0123456789 \u2014 Jane Doe\n");
    EXPECT_EQ(notices[0].summary, "Call on line 2");
    EXPECT_EQ(notices[0].body, caller + QStringLiteral("Sending to the web application\u2026"));
    EXPECT_FALSE(notices[0].last);
    // The same notification, replaced.
    EXPECT_EQ(notices[1].key, notices[0].key);
    EXPECT_TRUE(notices[1].body.startsWith(caller + "The web application did not get it: " +
                                           TestPlatform::kSystemTexts.couldNotConnect))
        << notices[1].body.toStdString();
    EXPECT_TRUE(notices[1].last);
    EXPECT_FALSE(notices[1].body.contains("s3cret"));
}

} // namespace
