// Tavix CallerID tests: the activity log file.
#include "log/ActivityLog.h"

#include "ScopedEnv.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

namespace {

ActivityLog::Clock fixedClock(int hour, int minute, int second)
{
    return [=] { return TimeOfDay{hour, minute, second}; };
}

} // namespace

TEST(ActivityLog, EntryIsStampLineThenDotsEachEndedByCrLf)
{
    struct Case {
        TimeOfDay time;
        std::string text, bytes;
    };
    const Case cases[] = {
        {{9, 30, 5}, "MCU_BACKENABLE", "> 093005: MCU_BACKENABLE\r\n...\r\n"},
        {{9, 30, 5}, "", "> 093005: \r\n...\r\n"},
        {{13, 5, 9}, "Missed Call", "> 130509: Missed Call\r\n...\r\n"},
        {{0, 0, 0}, "x", "> 000000: x\r\n...\r\n"},
        {{23, 59, 59}, "  padded  ", "> 235959:   padded  \r\n...\r\n"},
        {{9, 30, 5},
         std::string("a\0b\r\nc\0", 7),
         std::string("> 093005: a\0b\r\nc\0\r\n...\r\n", 24)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        TempDir dir;
        ActivityLog(dir / "tavix.log", fixedClock(c.time.hour, c.time.minute, c.time.second))
            .WriteLog(c.text);
        EXPECT_EQ(readFile(dir / "tavix.log"), c.bytes);
    }
}

TEST(ActivityLog, ASequenceOfEntriesMatchesTheReferenceFile)
{
    TempDir dir;
    int tick = 0;
    const TimeOfDay times[] = {{9, 30, 5}, {9, 30, 5}, {13, 5, 9}, {0, 0, 0}};
    ActivityLog log(dir / "tavix.log", [&] { return times[tick++]; });

    log.WriteLog("MCU_BACKENABLE");
    log.WriteLog("Incoming szCallerID: 0123456789" + std::string(118, '\0'));
    log.WriteLog("first line\r\nsecond line");
    log.WriteLog("");

    EXPECT_EQ(readFile(dir / "tavix.log"),
              readFile(std::filesystem::path(TAVIX_TEST_DATA_DIR) / "log" / "sequence.ref"));
    EXPECT_EQ(tick, 4); // one time stamp per entry
}

TEST(ActivityLog, CreatesMissingFoldersAndAppendsAfterExistingBytes)
{
    TempDir dir;
    const auto path = dir / "state/tavix/tavix.log";
    const ActivityLog log(path, fixedClock(9, 30, 5));
    log.WriteLog("one");
    EXPECT_EQ(readFile(path), "> 093005: one\r\n...\r\n");

    std::ofstream(path, std::ios::binary | std::ios::app) << "foreign tail";
    log.WriteLog("two");
    EXPECT_EQ(readFile(path), "> 093005: one\r\n...\r\nforeign tail> 093005: two\r\n...\r\n");
}

TEST(ActivityLog, HoldsNoHandleBetweenEntries)
{
    TempDir dir;
    const ActivityLog log(dir / "tavix.log", fixedClock(9, 30, 5));
    log.WriteLog("before");
    std::filesystem::rename(dir / "tavix.log", dir / "moved.log");
    log.WriteLog("after");
    EXPECT_EQ(readFile(dir / "moved.log"), "> 093005: before\r\n...\r\n");
    EXPECT_EQ(readFile(dir / "tavix.log"), "> 093005: after\r\n...\r\n");
}

TEST(ActivityLog, AFileThatCannotBeOpenedThrowsLogError)
{
    TempDir dir;
    std::ofstream(dir / "plain") << "not a folder";
    std::filesystem::create_directories(dir / "folder.log");
    for (const auto& path : {dir / "plain/tavix.log", dir / "folder.log"}) {
        SCOPED_TRACE(path);
        try {
            ActivityLog(path, fixedClock(9, 30, 5)).WriteLog("lost");
            ADD_FAILURE() << "no LogError";
        } catch (const LogError& error) {
            EXPECT_NE(std::string(error.what()).find(path.string()), std::string::npos);
        }
    }
    EXPECT_EQ(readFile(dir / "plain"), "not a folder");
}

TEST(ActivityLog, DefaultPathFollowsXdgStateHomeThenHome)
{
    const ScopedEnv home("HOME", "/home/tester");
    {
        const ScopedEnv xdg("XDG_STATE_HOME", "/var/state");
        EXPECT_EQ(ActivityLog::defaultPath(), "/var/state/tavix/tavix.log");
    }
    for (const char* ignored : {static_cast<const char*>(nullptr), "", "relative/state"}) {
        const ScopedEnv xdg("XDG_STATE_HOME", ignored);
        EXPECT_EQ(ActivityLog::defaultPath(), "/home/tester/.local/state/tavix/tavix.log");
    }
}
