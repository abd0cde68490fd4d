// Tavix CallerID tests: the activity log file as a Linux file: whole writes, modes, its place.
#include "log/ActivityLog.h"

#include "ScopedEnv.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

ActivityLog::Clock fixedClock(int hour, int minute, int second)
{
    return [=] { return TimeOfDay{hour, minute, second}; };
}

unsigned modeOf(const std::filesystem::path& path)
{
    return static_cast<unsigned>(std::filesystem::status(path).permissions());
}

} // namespace

// The file size limit makes the system take only part of an entry, as a full disk does.
TEST(ActivityLog, AnEntryThatDoesNotFitLeavesNoPartOfItself)
{
    TempDir dir;
    const auto path = dir / "tavix.log";
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const ActivityLog log(path, fixedClock(9, 30, 5));
        log.WriteLog("first");
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit before = limit;
        limit.rlim_cur = std::filesystem::file_size(path) + 10;
        setrlimit(RLIMIT_FSIZE, &limit);
        log.WriteLog("an entry longer than ten bytes");
        const bool failureSeen = !log.writable();
        setrlimit(RLIMIT_FSIZE, &before);
        log.WriteLog("last");
        _exit(failureSeen && log.writable() ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(readFile(path), "> 093005: first\r\n...\r\n> 093005: last\r\n...\r\n");
}

TEST(ActivityLog, TheFileIsForItsOwnerOnly)
{
    TempDir dir;
    std::ofstream(dir / "old.log") << "from before\r\n";
    std::filesystem::permissions(dir / "old.log", std::filesystem::perms(0666));
    const mode_t mask = umask(0);
    for (const char* name : {"new.log", "old.log"})
        ActivityLog(dir / name, fixedClock(9, 30, 5)).WriteLog(name);
    umask(mask);
    EXPECT_EQ(modeOf(dir / "new.log"), 0600u);
    EXPECT_EQ(modeOf(dir / "old.log"), 0600u);
    EXPECT_EQ(readFile(dir / "old.log"), "from before\r\n> 093005: old.log\r\n...\r\n");
}

TEST(ActivityLog, DefaultPathIsInTheProgramsFolder)
{
    TempDir dir;
    const ScopedEnv xdg("XDG_STATE_HOME", (dir / "state").string());
    EXPECT_EQ(ActivityLog::defaultPath(), dir / "state/tavix/tavix.log");
    EXPECT_EQ(modeOf(dir / "state/tavix"), 0700u);
}
