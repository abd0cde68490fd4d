// Tavix CallerID tests: the activity log file, on every platform.
#include "log/ActivityLog.h"

#include "log/LogObserver.h"

#include "TempDir.h"
#include "TestPlatform.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

ActivityLog::Clock fixedClock(int hour, int minute, int second)
{
    return [=] { return TimeOfDay{hour, minute, second}; };
}

struct RecordingObserver : LogObserver
{
    std::vector<std::string> events;
    void logUnwritable(const std::string& reason) override { events.push_back(reason); }
    void logWritableAgain() override { events.push_back("writable again"); }
};

} // namespace

TEST(ActivityLog, EntryIsStampLineThenDotsEachEndedByCrLf)
{
    struct Case
    {
        TimeOfDay time;
        std::string text, bytes;
    };
    const Case cases[] = {
        {{9, 30, 5}, "MCU_BACKENABLE", "> 093005: MCU_BACKENABLE\r\n...\r\n"},
        {{9, 30, 5}, "", "> 093005: \r\n...\r\n"},
        {{13, 5, 9}, "Missed Call", "> 130509: Missed Call\r\n...\r\n"},
        {{0, 0, 0}, "x", "> 000000: x\r\n...\r\n"},
        {{23, 59, 59}, "  padded  ", "> 235959:   padded  \r\n...\r\n"},
        // Every line break becomes one blank; NULs and other bytes stay as they are.
        {{9, 30, 5},
         std::string("a\0b\r\nc\0", 7),
         std::string("> 093005: a\0b  c\0\r\n...\r\n", 24)},
        {{9, 30, 5},
         "x\r\n> 235959: FORGED ENTRY\r\n...",
         "> 093005: x  > 235959: FORGED ENTRY  ...\r\n...\r\n"},
        {{9, 30, 5},
         "1\r2\n3\v4\f5\x1c"
         "6\x1d"
         "7\x1e"
         "8",
         "> 093005: 1 2 3 4 5 6 7 8\r\n...\r\n"},
        {{9, 30, 5},
         "NEL\xC2\x85LS\xE2\x80\xA8PS\xE2\x80\xA9"
         "end",
         "> 093005: NEL LS PS end\r\n...\r\n"},
        {{9, 30, 5}, "\xC2\x85\xE2\x80\xA9", "> 093005:   \r\n...\r\n"},
        // Every other control character too, so that no text draws on a terminal: ESC, BS,
        // TAB, DEL, the C1 controls (CSI here). Neighbours and fragments stay as they are.
        {{9, 30, 5},
         "\x1b[1A\x1b[2K\x1b[1G> 120000: FORGED\b\x7f\xC2\x9B"
         "2J",
         "> 093005:  [1A [2K [1G> 120000: FORGED   2J\r\n...\r\n"},
        {{9, 30, 5},
         "tab\t\x1f\x85\xC2\xA0\xE2\x80\xA7\xE2\x80\xC2",
         "> 093005: tab  \x85\xC2\xA0\xE2\x80\xA7\xE2\x80\xC2\r\n...\r\n"},
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

TEST(ActivityLog, AppendsAfterExistingBytes)
{
    TempDir dir;
    const auto path = dir / "tavix.log";
    const ActivityLog log(path, fixedClock(9, 30, 5));
    log.WriteLog("one");
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

TEST(ActivityLog, AnOutageIsToldOnceThenItsEnd)
{
    TempDir dir;
    const auto path = dir / "tavix.log";
    std::filesystem::create_directory(path); // a folder where the file should be
    ActivityLog log(path, fixedClock(9, 30, 5));
    RecordingObserver observer;
    log.setObserver(&observer);
    log.WriteLog("lost");
    log.WriteLog("lost as well");
    EXPECT_FALSE(log.writable());
    std::filesystem::remove(path);
    log.WriteLog("back");
    log.WriteLog("still there");
    EXPECT_TRUE(log.writable());
    ASSERT_EQ(observer.events.size(), 2u);
    EXPECT_EQ(observer.events[0].rfind("Cannot write the log file " + path.string() + ": " +
                                           TestPlatform::kSystemTexts.openedAFolderAsAFile,
                                       0),
              0u)
        << observer.events[0];
    EXPECT_EQ(observer.events[1], "writable again");
    EXPECT_EQ(readFile(path), "> 093005: back\r\n...\r\n> 093005: still there\r\n...\r\n");
}
