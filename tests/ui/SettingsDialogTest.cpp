// Tavix CallerID tests: the Settings dialog, opened from the main window.
#include "UiTestFixture.h"

#include "desktop/NotificationSetting.h"
#include "notify/LoginStore.h"
#include "ui/LinkLabel.h"
#include "ui/SettingsDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include <filesystem>
#include <fstream>

namespace {

class SettingsDialogTest : public UiTest
{
  protected:
    // Opened from main, the box `name` clicked, then `button` pressed.
    SettingsDialog& change(const char* name, const char* button = "btnOk")
    {
        QTest::keyClick(&control<LinkLabel>(mainWindow(), "lblSettings"), Qt::Key_Return);
        SettingsDialog& dialog = *app->settingsDialog();
        if (name)
            control<QCheckBox>(dialog, name).click();
        if (button)
            QTest::mouseClick(&control<QPushButton>(dialog, button), Qt::LeftButton);
        deleteClosedWindows();
        return dialog;
    }
    QString stored(const char* key) { return LoginStore().readValue(QLatin1String(key)); }
};

TEST_F(SettingsDialogTest, OneDialogOfGroupBoxesWhereOkSavesAndCancelLeavesAlone)
{
    startProgram();
    SettingsDialog& dialog = change(nullptr, nullptr);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Tavix CallerID \u2014 Settings"));
    EXPECT_EQ(dialog.parentWidget(), &mainWindow());
    EXPECT_EQ(&change(nullptr, nullptr), &dialog);
    EXPECT_EQ(control<QCheckBox>(dialog, "chkStartAtLogon").text(), "Start at log-on");
    EXPECT_TRUE(control<QCheckBox>(dialog, "chkNotifications").isChecked());
    EXPECT_TRUE(control<QLabel>(dialog, "lblStartsForEveryone").isHidden());
    // A subject is a group box in the sections' column.
    EXPECT_EQ(dialog.sections().itemAt(0)->widget(), &control<QGroupBox>(dialog, "grpDesktop"));
    QTest::mouseClick(&control<QPushButton>(dialog, "btnCancel"), Qt::LeftButton);
    deleteClosedWindows();
    EXPECT_EQ(app->settingsDialog(), nullptr);

    change("chkStartAtLogon");
    EXPECT_TRUE(logonStart().isEnabled());
    change("chkStartAtLogon", "btnCancel");
    EXPECT_TRUE(logonStart().isEnabled());
    change("chkStartAtLogon");
    EXPECT_FALSE(logonStart().isEnabled());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SettingsDialogTest, NotificationsAreSavedBesideTheLoginAndObeyedFromTheNextCaller)
{
    LoginStore store;
    store.saveLogin(QStringLiteral("till"), QStringLiteral("pw"));
    startProgram();
    change("chkNotifications");
    EXPECT_EQ(stored(NotificationSetting::kKey), "false");
    EXPECT_EQ(stored("username") + stored("password"), "tillpw");
    recorder.line(1) = {"555", "", "", "", "", "", "", 1};
    recorder.postToProgram(WM_DEVICE_EVENT, 65536 + EV_BACK_CID, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return logTexts().size() > 5; }));
    EXPECT_TRUE(notices.empty());

    app.reset();
    deleteClosedWindows();
    startProgram();
    EXPECT_FALSE(app->callNotifications().isEnabled()); // read at start
    EXPECT_FALSE(change(nullptr, nullptr).findChild<QCheckBox*>("chkNotifications")->isChecked());
    QTest::mouseClick(&control<QCheckBox>(*app->settingsDialog(), "chkNotifications"),
                      Qt::LeftButton);
    change(nullptr);
    EXPECT_TRUE(app->callNotifications().isEnabled());
    EXPECT_EQ(stored(NotificationSetting::kKey), "true");
}

#ifdef _WIN32
TEST_F(SettingsDialogTest, TheInstallersEntryForEveryoneIsShownReadOnly)
{
    QSettings(logonStart().places().machine.at(0), QSettings::NativeFormat)
        .setValue(QLatin1String(LogonStart::kRunValueName), QStringLiteral("\"C:\\T.exe\""));
    startProgram();
    SettingsDialog& dialog = change(nullptr, nullptr);
    EXPECT_TRUE(control<QCheckBox>(dialog, "chkStartAtLogon").isChecked());
    EXPECT_FALSE(control<QCheckBox>(dialog, "chkStartAtLogon").isEnabled());
    EXPECT_TRUE(control<QLabel>(dialog, "lblStartsForEveryone").isVisibleTo(&dialog));
    change(nullptr);
    EXPECT_FALSE(logonStart().isEnabled()); // the user's own value is not written beside it
}
#else
// The autostart file and the settings file; the registry's failures are the Windows tests'.
TEST_F(SettingsDialogTest, WhatCannotBeSavedIsSaidAndTheDialogStaysOpenWithIt)
{
    startProgram();
    const std::string autostart =
        std::filesystem::path(logonStart().places().user.toStdString()).parent_path().string();
    std::ofstream(autostart) << "a file where the autostart folder should be";
    SettingsDialog& dialog = change("chkStartAtLogon");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, ShownBox::Warning);
    EXPECT_EQ(boxes[0].title, dialog.windowTitle());
    EXPECT_TRUE(boxes[0].text.contains(QString::fromStdString(autostart)));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(control<QCheckBox>(dialog, "chkStartAtLogon").isChecked());
}
#endif

} // namespace
