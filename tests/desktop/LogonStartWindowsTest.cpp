// Tavix CallerID tests: start at log-on through the registry's Run values.
#include "desktop/LogonStart.h"

#include "TestPlatform.h"

#include <QSettings>

#include <gtest/gtest.h>

namespace {

const QString kValue = QStringLiteral("Tavix CallerID");

QString runValue(const QString& key)
{
    const QSettings run(key, QSettings::NativeFormat);
    return run.contains(kValue) ? run.value(kValue).toString() : QStringLiteral("(none)");
}

// The user's real Run key, as Windows reads it at log-on; what was there before is put back.
TEST(LogonStartWindowsTest, OnWritesTheUsersRunValueOffRemovesIt)
{
    const QString run = LogonStart::systemPlaces().user;
    EXPECT_EQ(run, "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    const QString before = runValue(run);

    LogonStart start(QStringLiteral("C:/Program Files (x86)/Tavix CallerID/tavix-callerid.exe"));
    start.setEnabled(true);
    EXPECT_TRUE(start.isEnabled());
    EXPECT_EQ(runValue(run), "\"C:\\Program Files (x86)\\Tavix CallerID\\tavix-callerid.exe\"");
    start.setEnabled(false);
    EXPECT_FALSE(start.isEnabled());
    EXPECT_EQ(runValue(run), "(none)");
    EXPECT_NO_THROW(start.setEnabled(false));
    if (before != "(none)")
        QSettings(run, QSettings::NativeFormat).setValue(kValue, before);
}

TEST(LogonStartWindowsTest, TheInstallersMachineWideValueStartsItForEveryone)
{
    EXPECT_EQ(LogonStart::systemPlaces().machine,
              QStringList{"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"});
    TestPlatform::clearUserSettings();
    const TestPlatform::LogonStartPlaces places = TestPlatform::logonStartPlaces({});
    const QString machine = QString::fromStdString(places.machine);
    const LogonStart start(QStringLiteral("C:/Tavix/tavix-callerid.exe"),
                           {QString::fromStdString(places.user), {machine}});
    EXPECT_FALSE(start.startsForEveryone());
    QSettings(machine, QSettings::NativeFormat).setValue(kValue, QStringLiteral("\"C:\\T.exe\""));
    EXPECT_TRUE(start.startsForEveryone());
    EXPECT_FALSE(start.isEnabled());
    TestPlatform::clearUserSettings();
}

} // namespace
