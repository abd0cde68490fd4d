// Tavix CallerID tests: one monitor per user.
#include "app/SingleInstance.h"

#include "platform/UserFolders.h"

#include "ScopedEnv.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class SingleInstanceTest : public ::testing::Test
{
  protected:
    void SetUp() override { setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1); }
    TempDir runtime;
};

// Not in the runtime folder the environment names: a start with other variables would take
// a lock of its own there and run beside the first.
TEST_F(SingleInstanceTest, TheLockIsOneFileInTheUsersLockFolder)
{
    SingleInstance instance;
    const std::filesystem::path lock = instance.lockPath();
    EXPECT_EQ(lock.parent_path(), UserFolders::lockFolder());
    EXPECT_EQ(lock.filename(), "tavix-callerid.lock");
}

TEST_F(SingleInstanceTest, SecondInstanceIsRefusedUntilTheFirstEnds)
{
    auto first = std::make_unique<SingleInstance>();
    ASSERT_TRUE(first->acquire());
    SingleInstance second;
    EXPECT_FALSE(second.acquire());
    first.reset();
    EXPECT_TRUE(second.acquire());
}

TEST_F(SingleInstanceTest, LockIsReleasedWhenItsHolderDies)
{
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SingleInstance holder;
        const char ok = holder.acquire() ? 1 : 0;
        [[maybe_unused]] ssize_t n = write(ready[1], &ok, 1);
        pause(); // killed below, without any clean-up of its own
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 1);

    SingleInstance other;
    EXPECT_FALSE(other.acquire());
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(other.acquire());
    close(ready[0]);
    close(ready[1]);
}

TEST_F(SingleInstanceTest, AnUnusableRuntimeFolderDoesNotMatter)
{
    setenv("XDG_RUNTIME_DIR", (runtime.path() / "missing" / "folder").c_str(), 1);
    SingleInstance instance;
    EXPECT_TRUE(instance.acquire());
}

// Never a shared folder such as /tmp, and the same one whatever the environment names.
TEST_F(SingleInstanceTest, WithoutARuntimeFolderTheLockIsInAPrivateOne)
{
    const std::string expected = SingleInstance().lockPath();
    const std::string perUser = "/run/user/" + std::to_string(getuid());
    for (const char* ignored : {static_cast<const char*>(nullptr), "", "relative/run"}) {
        const ScopedEnv unset("XDG_RUNTIME_DIR", ignored);
        SingleInstance instance;
        const std::filesystem::path lock = instance.lockPath();
        EXPECT_EQ(lock, expected);
        if (lock.parent_path() != perUser) {
            EXPECT_EQ(lock.parent_path().filename(), "tavix");
        }
        EXPECT_TRUE(instance.acquire());
    }
}

TEST_F(SingleInstanceTest, ASecondStartInAnotherEnvironmentIsRefused)
{
    SingleInstance first;
    ASSERT_TRUE(first.acquire());
    TempDir elsewhere;
    const ScopedEnv noRuntime("XDG_RUNTIME_DIR", nullptr);
    const ScopedEnv home("HOME", elsewhere.path().string());
    const ScopedEnv state("XDG_STATE_HOME", (elsewhere / "state").string());
    SingleInstance second;
    EXPECT_EQ(second.lockPath(), first.lockPath());
    EXPECT_FALSE(second.acquire());
}

} // namespace
