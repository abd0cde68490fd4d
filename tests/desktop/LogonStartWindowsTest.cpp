// Tavix CallerID tests: start at log-on through the registry's Run values.
#include "desktop/LogonStart.h"

#include "TestPlatform.h"

#include <QSettings>

#include <gtest/gtest.h>

#include <optional>

namespace {

const QString kUserKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Tavix\\Tests\\Run");
const QString kMachineKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Tavix\\Tests\\Machine");
const QString kValue = QStringLiteral("Tavix CallerID");

class LogonStartWindowsTest : public ::testing::Test
{
  protected:
    LogonStartWindowsTest() { TestPlatform::clearUserSettings(); }
    ~LogonStartWindowsTest() override { TestPlatform::clearUserSettings(); }

    LogonStart logonStart() const
    {
        return LogonStart(
            QStringLiteral("C:/Program Files (x86)/Tavix CallerID/tavix-callerid.exe"),
            {kUserKey, {kMachineKey}});
    }
};

TEST_F(LogonStartWindowsTest, SwitchingOnWritesTheUsersRunValueAndOffRemovesIt)
{
    LogonStart start = logonStart();
    EXPECT_FALSE(start.isEnabled());
    start.setEnabled(true);
    EXPECT_TRUE(start.isEnabled());
    EXPECT_EQ(QSettings(kUserKey, QSettings::NativeFormat).value(kValue).toString(),
              "\"C:\\Program Files (x86)\\Tavix CallerID\\tavix-callerid.exe\"");
    start.setEnabled(false);
    EXPECT_FALSE(start.isEnabled());
    EXPECT_FALSE(QSettings(kUserKey, QSettings::NativeFormat).contains(kValue));
    EXPECT_NO_THROW(start.setEnabled(false));
}

TEST_F(LogonStartWindowsTest, TheInstallersMachineWideValueStartsItForEveryone)
{
    EXPECT_FALSE(logonStart().startsForEveryone());
    QSettings(kMachineKey, QSettings::NativeFormat)
        .setValue(kValue, QStringLiteral("\"C:\\Tavix\\tavix-callerid.exe\""));
    EXPECT_TRUE(logonStart().startsForEveryone());
    EXPECT_FALSE(logonStart().isEnabled());

    EXPECT_EQ(LogonStart::systemPlaces().user,
              "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    EXPECT_EQ(LogonStart::systemPlaces().machine,
              QStringList{"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"});
}

// The user's real Run key, as Windows reads it at log-on; what was there before is put back.
TEST_F(LogonStartWindowsTest, TheSystemPlaceIsTheUsersOwnRunKey)
{
    const QString run = LogonStart::systemPlaces().user;
    std::optional<QString> before;
    if (QSettings(run, QSettings::NativeFormat).contains(kValue))
        before = QSettings(run, QSettings::NativeFormat).value(kValue).toString();

    LogonStart start(QStringLiteral("C:/Tavix/tavix-callerid.exe"));
    start.setEnabled(true);
    EXPECT_EQ(QSettings(run, QSettings::NativeFormat).value(kValue).toString(),
              "\"C:\\Tavix\\tavix-callerid.exe\"");
    start.setEnabled(false);
    EXPECT_FALSE(QSettings(run, QSettings::NativeFormat).contains(kValue));

    if (before)
        QSettings(run, QSettings::NativeFormat).setValue(kValue, *before);
}

} // namespace
