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
    SettingsDialog& openFromMain()
    {
        QTest::keyClick(&control<LinkLabel>(mainWindow(), "lblSettings"), Qt::Key_Return);
        SettingsDialog* dialog = app->settingsDialog();
        if (!dialog || !dialog->isVisible())
            throw std::logic_error("no Settings dialog shown");
        return *dialog;
    }
    QCheckBox& box(const char* name) { return control<QCheckBox>(*app->settingsDialog(), name); }
    void press(const char* button)
    {
        QTest::mouseClick(&control<QPushButton>(*app->settingsDialog(), button), Qt::LeftButton);
        deleteClosedWindows();
    }
    QString stored(const char* key) { return LoginStore().readValue(QLatin1String(key)); }
};

TEST_F(SettingsDialogTest, OpensFromMainAsOneDialogOfGroupBoxes)
{
    startProgram();
    SettingsDialog& dialog = openFromMain();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Tavix CallerID \u2014 Settings"));
    EXPECT_EQ(dialog.objectName(), "SettingsDialog");
    EXPECT_EQ(dialog.parentWidget(), &mainWindow());
    EXPECT_FALSE(dialog.isModal());
    EXPECT_EQ(&openFromMain(), &dialog);

    EXPECT_EQ(box("chkStartAtLogon").text(), "Start at log-on");
    EXPECT_FALSE(box("chkStartAtLogon").isChecked());
    EXPECT_TRUE(box("chkStartAtLogon").isEnabled());
    EXPECT_TRUE(control<QLabel>(dialog, "lblStartsForEveryone").isHidden());
    EXPECT_TRUE(box("chkNotifications").isChecked());
    // Each subject is a group box of the sections' column.
    ASSERT_EQ(dialog.sections().count(), 1);
    EXPECT_EQ(dialog.sections().itemAt(0)->widget(), &control<QGroupBox>(dialog, "grpDesktop"));
}

TEST_F(SettingsDialogTest, StartAtLogonIsWrittenByOkAndLeftAloneByCancel)
{
    startProgram();
    openFromMain();
    box("chkStartAtLogon").click();
    press("btnOk");
    EXPECT_EQ(app->settingsDialog(), nullptr);
    EXPECT_TRUE(logonStart().isEnabled());

    openFromMain();
    EXPECT_TRUE(box("chkStartAtLogon").isChecked());
    box("chkStartAtLogon").click();
    press("btnCancel");
    EXPECT_TRUE(logonStart().isEnabled());

    openFromMain();
    box("chkStartAtLogon").click();
    press("btnOk");
    EXPECT_FALSE(logonStart().isEnabled());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SettingsDialogTest, NotificationsAreSavedBesideTheLoginAndObeyedFromTheNextCaller)
{
    LoginStore store;
    store.saveLogin(QStringLiteral("till"), QStringLiteral("pw"));
    startProgram();
    ASSERT_TRUE(app->callNotifications().isEnabled());

    openFromMain();
    box("chkNotifications").click();
    press("btnOk");
    EXPECT_FALSE(app->callNotifications().isEnabled());
    EXPECT_EQ(stored(NotificationSetting::kKey), "false");
    EXPECT_EQ(stored("username"), "till");
    EXPECT_EQ(stored("password"), "pw");

    openFromMain();
    EXPECT_FALSE(box("chkNotifications").isChecked());
    box("chkNotifications").click();
    press("btnOk");
    EXPECT_TRUE(app->callNotifications().isEnabled());
    EXPECT_EQ(stored(NotificationSetting::kKey), "true");

    // Read at start.
    NotificationSetting::write(store, false);
    app.reset();
    deleteClosedWindows();
    startProgram();
    EXPECT_FALSE(app->callNotifications().isEnabled());
    EXPECT_FALSE(NotificationSetting::read(store));
}

#ifdef _WIN32
TEST_F(SettingsDialogTest, TheInstallersEntryForEveryoneIsShownReadOnly)
{
    QSettings(logonStart().places().machine.at(0), QSettings::NativeFormat)
        .setValue(QLatin1String(LogonStart::kRunValueName),
                  QStringLiteral("\"C:\\Tavix\\tavix-callerid.exe\""));
    startProgram();
    SettingsDialog& dialog = openFromMain();
    EXPECT_TRUE(box("chkStartAtLogon").isChecked());
    EXPECT_FALSE(box("chkStartAtLogon").isEnabled());
    EXPECT_TRUE(control<QLabel>(dialog, "lblStartsForEveryone").isVisibleTo(&dialog));
    press("btnOk");
    // The user's own value is not written beside it.
    EXPECT_FALSE(logonStart().isEnabled());
    EXPECT_TRUE(boxes.empty());
}
#else
// The autostart file and the settings file; the registry's failures are the Windows tests'.
TEST_F(SettingsDialogTest, WhatCannotBeSavedIsSaidAndTheDialogStaysOpenWithIt)
{
    startProgram();
    const std::filesystem::path autostart =
        std::filesystem::path(logonStart().places().user.toStdString()).parent_path();
    std::ofstream(autostart) << "a file where the autostart folder should be";
    openFromMain();
    box("chkStartAtLogon").click();
    box("chkNotifications").click();
    press("btnOk");

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, ShownBox::Warning);
    EXPECT_EQ(boxes[0].title, QStringLiteral("Tavix CallerID \u2014 Settings"));
    EXPECT_TRUE(boxes[0].text.contains(QString::fromStdString(autostart.string())))
        << boxes[0].text.toStdString();
    ASSERT_NE(app->settingsDialog(), nullptr);
    EXPECT_TRUE(app->settingsDialog()->isVisible());
    EXPECT_TRUE(box("chkStartAtLogon").isChecked());

    // The settings folder becomes a file as well: the next step cannot be saved either.
    std::filesystem::remove(autostart);
    std::filesystem::remove_all(settingsFolder().toStdString());
    std::ofstream(settingsFolder().toStdString()) << "not a folder";
    press("btnOk");
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(logonStart().isEnabled());
    EXPECT_TRUE(app->callNotifications().isEnabled());
    EXPECT_TRUE(app->settingsDialog()->isVisible());
}
#endif

} // namespace
