// Tavix CallerID tests: start at log-on through the XDG autostart file.
#include "desktop/LogonStart.h"

#include "ScopedEnv.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

class LogonStartUnixTest : public ::testing::Test
{
  protected:
    LogonStart logonStart(const QString& program = QStringLiteral("/opt/tavix/bin/tavix-callerid"))
    {
        return LogonStart(program, {QString::fromStdString(file.string()), {}});
    }
    std::string execLine() const
    {
        std::ifstream in(file);
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("Exec=", 0) == 0)
                return line.substr(5);
        }
        return {};
    }

    TempDir dir;
    std::filesystem::path file = dir / "config" / "autostart" / "tavix-callerid.desktop";
};

TEST_F(LogonStartUnixTest, TheSystemPlaceIsTheAutostartFolderOfTheUsersConfiguration)
{
    {
        ScopedEnv config("XDG_CONFIG_HOME", "/srv/shop/config");
        EXPECT_EQ(LogonStart::systemPlaces().user,
                  "/srv/shop/config/autostart/tavix-callerid.desktop");
    }
    ScopedEnv config("XDG_CONFIG_HOME", nullptr);
    ScopedEnv home("HOME", "/home/till");
    EXPECT_EQ(LogonStart::systemPlaces().user,
              "/home/till/.config/autostart/tavix-callerid.desktop");
    EXPECT_TRUE(LogonStart::systemPlaces().machine.isEmpty());
}

TEST_F(LogonStartUnixTest, SwitchingOnWritesAnEntryThatStartsTheProgramAndOffRemovesIt)
{
    LogonStart start = logonStart();
    EXPECT_FALSE(start.isEnabled());
    EXPECT_FALSE(start.startsForEveryone());

    start.setEnabled(true);
    EXPECT_TRUE(start.isEnabled());
    EXPECT_EQ(readFile(file), "[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=Tavix CallerID\n"
                              "Comment=Starts Tavix CallerID when you log on\n"
                              "Exec=\"/opt/tavix/bin/tavix-callerid\"\n"
                              "Icon=tavix-callerid\n"
                              "Terminal=false\n"
                              "X-GNOME-Autostart-enabled=true\n");
    // Again: the same file, nothing added.
    start.setEnabled(true);
    const std::string again = readFile(file);
    EXPECT_EQ(std::count(again.begin(), again.end(), '\n'), 8);

    start.setEnabled(false);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(start.isEnabled());
    EXPECT_NO_THROW(start.setEnabled(false));
}

TEST_F(LogonStartUnixTest, ExecQuotesAndEscapesThePathAsDesktopEntriesRead)
{
    const struct
    {
        const char* program;
        const char* exec;
    } cases[] = {
        {"/home/till/Tavix CallerID/tavix-callerid",
         "\"/home/till/Tavix CallerID/tavix-callerid\""},
        {"/opt/$HOME/100%/a\"b`c", "\"/opt/\\\\$HOME/100%%/a\\\\\"b\\\\`c\""},
        {"/opt/back\\slash/tavix-callerid", "\"/opt/back\\\\\\\\slash/tavix-callerid\""},
        {"/opt/caf\xc3\xa9/tavix-callerid", "\"/opt/caf\xc3\xa9/tavix-callerid\""},
    };
    for (const auto& [program, exec] : cases) {
        logonStart(QString::fromUtf8(program)).setEnabled(true);
        EXPECT_EQ(execLine(), exec) << program;
    }
}

TEST_F(LogonStartUnixTest, AnEntrySwitchedOffByTheDesktopIsOffUntilSwitchedOnHere)
{
    for (const char* off : {"Hidden=true", "X-GNOME-Autostart-enabled=false"}) {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << "[Desktop Entry]\nType=Application\nExec=tavix-callerid\n"
                            << off << "\n";
        LogonStart start = logonStart();
        EXPECT_FALSE(start.isEnabled()) << off;
        start.setEnabled(true);
        EXPECT_TRUE(start.isEnabled()) << off;
    }
}

TEST_F(LogonStartUnixTest, WhatCannotBeWrittenIsSaidWithTheFile)
{
    // A file where the autostart folder should be.
    std::filesystem::create_directories(file.parent_path().parent_path());
    std::ofstream(file.parent_path()) << "not a folder";
    try {
        logonStart().setEnabled(true);
        FAIL() << "no error";
    } catch (const LogonStartError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot write the autostart file " + file.string() +
                                                 ": the folder " + file.parent_path().string() +
                                                 " cannot be made");
    }
    std::filesystem::remove(file.parent_path());
    // A path no desktop entry can hold.
    EXPECT_THROW(logonStart(QStringLiteral("/opt/a\nb")).setEnabled(true), LogonStartError);
    EXPECT_FALSE(std::filesystem::exists(file));
}

} // namespace
