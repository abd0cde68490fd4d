// Tavix CallerID tests: one monitor per user.
#include "app/SingleInstance.h"

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

TEST_F(SingleInstanceTest, LockLivesInTheRuntimeFolder)
{
    SingleInstance instance;
    EXPECT_EQ(instance.lockPath(), (runtime.path() / "tavix-callerid.lock").string());
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

TEST_F(SingleInstanceTest, UnusableRuntimeFolderIsAnError)
{
    setenv("XDG_RUNTIME_DIR", (runtime.path() / "missing" / "folder").c_str(), 1);
    SingleInstance instance;
    EXPECT_THROW(instance.acquire(), std::runtime_error);
}

// Never a shared folder such as /tmp, where anyone could take the lock first.
TEST_F(SingleInstanceTest, WithoutARuntimeFolderTheLockIsInAPrivateOne)
{
    const ScopedEnv state("XDG_STATE_HOME", (runtime.path() / "state").string());
    const std::string perUser = "/run/user/" + std::to_string(getuid());
    for (const char* ignored : {static_cast<const char*>(nullptr), "", "relative/run"}) {
        const ScopedEnv unset("XDG_RUNTIME_DIR", ignored);
        SingleInstance instance;
        const std::filesystem::path lock = instance.lockPath();
        if (lock.parent_path() != perUser) {
            EXPECT_EQ(lock, runtime.path() / "state/tavix/tavix-callerid.lock");
        }
        EXPECT_TRUE(instance.acquire());
    }
}

} // namespace
