// Tavix CallerID tests: the activity log file as a Linux file: whole writes, modes, its place.
#include "log/ActivityLog.h"

#include "log/LogObserver.h"

#include "ScopedEnv.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <string>

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

// At the limit itself the system refuses the whole write (EFBIG once SIGXFSZ is ignored): the
// entry is lost whole and told as for a full disk, and the next one is written again.
TEST(ActivityLog, AtTheSizeLimitTheEntryIsLostAsOnAFullDisk)
{
    TempDir dir;
    const auto path = dir / "tavix.log";
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        struct Observer : LogObserver
        {
            std::string reason;
            void logUnwritable(const std::string& text) override { reason = text; }
            void logWritableAgain() override {}
        } observer;
        ActivityLog log(path, fixedClock(9, 30, 5));
        log.setObserver(&observer);
        log.WriteLog("first");
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit before = limit;
        limit.rlim_cur = std::filesystem::file_size(path);
        setrlimit(RLIMIT_FSIZE, &limit);
        log.WriteLog("lost");
        setrlimit(RLIMIT_FSIZE, &before);
        log.WriteLog("last");
        const bool told = observer.reason.find("the disk is full or the file has reached its "
                                               "size limit") != std::string::npos;
        _exit(told && log.writable() ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(readFile(path), "> 093005: first\r\n...\r\n> 093005: last\r\n...\r\n");
}

// Only the user can plant one (the folder is private), but a link is never followed.
TEST(ActivityLog, ASymbolicLinkIsRefused)
{
    TempDir dir;
    std::ofstream(dir / "elsewhere") << "kept";
    std::filesystem::create_symlink(dir / "elsewhere", dir / "tavix.log");
    ActivityLog log(dir / "tavix.log", fixedClock(9, 30, 5));
    log.WriteLog("entry");
    EXPECT_FALSE(log.writable());
    EXPECT_EQ(readFile(dir / "elsewhere"), "kept");
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
