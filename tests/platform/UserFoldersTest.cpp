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

// Another user's runtime folder, or one others may enter, is passed over, link or not.
TEST(UserFolders, ARuntimeFolderOpenToOthersIsNotUsed)
{
    TempDir dir;
    const ScopedEnv state("XDG_STATE_HOME", (dir / "state").string());
    path fallback;
    {
        const ScopedEnv unset("XDG_RUNTIME_DIR", nullptr);
        fallback = UserFolders::runtimeFolder();
    }
    std::filesystem::create_directory(dir / "runtime");
    std::filesystem::create_directory_symlink(dir / "runtime", dir / "link");
    const ScopedEnv runtime("XDG_RUNTIME_DIR", (dir / "runtime").string());
    struct Case
    {
        unsigned mode;
        bool used;
    };
    for (const Case c : {Case{0700, true}, Case{0750, false}, Case{0777, false}}) {
        std::filesystem::permissions(dir / "runtime", std::filesystem::perms(c.mode));
        EXPECT_EQ(UserFolders::runtimeFolder(), c.used ? dir / "runtime" : fallback) << c.mode;
        const ScopedEnv link("XDG_RUNTIME_DIR", (dir / "link").string());
        EXPECT_EQ(UserFolders::runtimeFolder(), c.used ? dir / "link" : fallback) << c.mode;
    }
    if (geteuid() == 0) {
        std::filesystem::permissions(dir / "runtime", std::filesystem::perms(0700));
        ASSERT_EQ(chown((dir / "runtime").c_str(), 65534, 65534), 0);
        EXPECT_EQ(UserFolders::runtimeFolder(), fallback);
    }
}

// The settings follow the same home as the program's folder: without HOME, the user
// database's, never "/.config".
TEST(UserFolders, ConfigHomeFollowsXdgConfigHomeThenTheSameHomeAsTheState)
{
    const ScopedEnv config("XDG_CONFIG_HOME", "/var/config");
    EXPECT_EQ(UserFolders::configHome(), "/var/config");
    const ScopedEnv unsetConfig("XDG_CONFIG_HOME", "relative");
    const ScopedEnv home("HOME", "/home/tester");
    EXPECT_EQ(UserFolders::configHome(), "/home/tester/.config");
    const passwd* user = getpwuid(getuid());
    if (!user || path(user->pw_dir) == "/" || !std::filesystem::is_directory(user->pw_dir))
        GTEST_SKIP() << "no home in the user database";
    const ScopedEnv noHome("HOME", nullptr);
    const ScopedEnv noState("XDG_STATE_HOME", nullptr);
    EXPECT_EQ(UserFolders::configHome(), path(user->pw_dir) / ".config");
    EXPECT_EQ(UserFolders::stateHome(), path(user->pw_dir) / ".local/state");
}
