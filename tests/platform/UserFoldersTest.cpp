// Tavix CallerID tests: the user's private folders.
#include "platform/UserFolders.h"

#include "ScopedEnv.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using std::filesystem::path;

unsigned modeOf(const path& folder)
{
    return static_cast<unsigned>(std::filesystem::symlink_status(folder).permissions());
}

std::string refusalOfTheProgramsFolder()
{
    try {
        UserFolders::programFolder();
        return "accepted";
    } catch (const UserFolderError& error) {
        return error.what();
    }
}

} // namespace

TEST(UserFolders, StateHomeFollowsXdgStateHomeThenHomeThenTheUserDatabase)
{
    struct Case
    {
        const char *xdg, *home;
        path expected;
    };
    std::vector<Case> cases = {
        {"/var/state", "/home/tester", "/var/state"},
        {nullptr, "/home/tester", "/home/tester/.local/state"},
        {"relative/state", "/home/tester", "/home/tester/.local/state"},
    };
    const passwd* user = getpwuid(getuid());
    if (user && *user->pw_dir == '/' && path(user->pw_dir) != "/" &&
        std::filesystem::is_directory(user->pw_dir)) {
        cases.push_back({"", nullptr, path(user->pw_dir) / ".local/state"});
        cases.push_back({nullptr, "relative/home", path(user->pw_dir) / ".local/state"});
    }
    for (const Case& c : cases) {
        const ScopedEnv xdg("XDG_STATE_HOME", c.xdg);
        const ScopedEnv home("HOME", c.home);
        EXPECT_EQ(UserFolders::stateHome(), c.expected) << (c.home ? c.home : "(no HOME)");
    }
}

TEST(UserFolders, TheProgramsFolderIsMadePrivateWithItsParents)
{
    TempDir dir;
    const ScopedEnv xdg("XDG_STATE_HOME", (dir / "a/b").string());
    const mode_t mask = umask(0);
    const path folder = UserFolders::programFolder();
    umask(mask);
    EXPECT_EQ(folder, dir / "a/b/tavix");
    for (const char* made : {"a", "a/b", "a/b/tavix"})
        EXPECT_EQ(modeOf(dir / made), 0700u) << made;

    // A folder that an older version left open to others is closed.
    std::filesystem::permissions(folder, std::filesystem::perms(0755));
    UserFolders::programFolder();
    EXPECT_EQ(modeOf(folder), 0700u);
}

TEST(UserFolders, AProgramsFolderThatIsALinkOrSomeoneElsesIsRefused)
{
    TempDir dir;
    const ScopedEnv xdg("XDG_STATE_HOME", dir.path().string());
    const path folder = dir / "tavix";
    std::filesystem::create_directory(dir / "elsewhere");
    std::filesystem::permissions(dir / "elsewhere", std::filesystem::perms(0755));
    std::filesystem::create_directory_symlink(dir / "elsewhere", folder);
    const std::string refused = "The folder " + folder.string() + " for Tavix CallerID's files ";
    EXPECT_EQ(refusalOfTheProgramsFolder(),
              refused + "is a symbolic link. It must be a real folder of your own: remove the "
                        "link and start again.");
    EXPECT_EQ(modeOf(dir / "elsewhere"), 0755u); // never followed

    if (geteuid() != 0)
        GTEST_SKIP() << "only root can give a folder to another user";
    std::filesystem::remove(folder);
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0);
    EXPECT_EQ(refusalOfTheProgramsFolder(),
              refused + "belongs to another user. It must be your own: remove it and start "
                        "again.");
}
