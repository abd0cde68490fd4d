// Tavix CallerID tests: start at log-on through the XDG autostart file.
#include "desktop/LogonStart.h"

#include "ScopedEnv.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

class LogonStartUnixTest : public ::testing::Test
{
  protected:
    LogonStart logonStart(const char* program = "/opt/tavix/bin/tavix-callerid")
    {
        return LogonStart(QString::fromUtf8(program), {QString::fromStdString(file.string()), {}});
    }

    TempDir dir;
    std::filesystem::path file = dir / "config" / "autostart" / "tavix-callerid.desktop";
};

TEST_F(LogonStartUnixTest, OnWritesAnEntryThatStartsTheProgramOffRemovesIt)
{
    ScopedEnv config("XDG_CONFIG_HOME", "/srv/config");
    EXPECT_EQ(LogonStart::systemPlaces().user, "/srv/config/autostart/tavix-callerid.desktop");

    LogonStart start = logonStart();
    EXPECT_FALSE(start.isEnabled());
    start.setEnabled(true);
    EXPECT_TRUE(start.isEnabled());
    EXPECT_EQ(readFile(file), "[Desktop Entry]\nType=Application\nName=Tavix CallerID\n"
                              "Comment=Starts Tavix CallerID when you log on\n"
                              "Exec=\"/opt/tavix/bin/tavix-callerid\"\nIcon=tavix-callerid\n"
                              "Terminal=false\nX-GNOME-Autostart-enabled=true\n");
    start.setEnabled(false);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_NO_THROW(start.setEnabled(false));

    // Switched off by the desktop's own settings: off until switched on here.
    for (const char* off : {"Hidden=true", "X-GNOME-Autostart-enabled=false"}) {
        std::ofstream(file) << "[Desktop Entry]\nExec=tavix-callerid\n" << off << "\n";
        EXPECT_FALSE(start.isEnabled()) << off;
        start.setEnabled(true);
        EXPECT_TRUE(start.isEnabled()) << off;
    }
}

TEST_F(LogonStartUnixTest, ExecHoldsThePathQuotedAndEscapedAsDesktopEntriesAreRead)
{
    const std::pair<const char*, const char*> cases[] = {
        {"/home/till/Tavix CallerID/tavix-callerid",
         "\"/home/till/Tavix CallerID/tavix-callerid\""},
        {"/opt/$HOME/100%/a\"b`c", "\"/opt/\\\\$HOME/100%%/a\\\\\"b\\\\`c\""},
        {"/opt/back\\slash", "\"/opt/back\\\\\\\\slash\""},
    };
    for (const auto& [program, exec] : cases) {
        logonStart(program).setEnabled(true);
        EXPECT_NE(readFile(file).find("\nExec=" + std::string(exec) + "\n"), std::string::npos)
            << program;
    }
}

TEST_F(LogonStartUnixTest, WhatCannotBeWrittenIsSaidWithTheFileAndLeavesNoEntry)
{
    std::filesystem::create_directories(file.parent_path().parent_path());
    std::ofstream(file.parent_path()) << "a file where the autostart folder should be";
    try {
        logonStart().setEnabled(true);
        FAIL() << "no error";
    } catch (const LogonStartError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot write the autostart file " + file.string() +
                                                 ": the folder " + file.parent_path().string() +
                                                 " cannot be made");
    }
    std::filesystem::remove(file.parent_path());
    EXPECT_THROW(logonStart("/opt/a\nb").setEnabled(true), LogonStartError);
    EXPECT_FALSE(std::filesystem::exists(file));
}

} // namespace
