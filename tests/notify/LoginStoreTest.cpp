// Tavix CallerID tests: the login details and connector settings in the per-user settings store.
#include "notify/LoginStore.h"

#include "ScopedEnv.h"
#include "TempDir.h"

#include <QSettings>

#include <gtest/gtest.h>

#include <filesystem>
#include <csignal>
#include <fstream>

#include <pwd.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class LoginStoreTest : public ::testing::Test
{
  protected:
    TempDir dir;
    fs::path config = dir / "config";
    fs::path file = config / "Tavix.conf";

    void SetUp() override { useConfigFolder(config); }

    static void useConfigFolder(const fs::path& folder)
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(folder.string()));
    }

    static fs::perms permissionsOf(const fs::path& path)
    {
        return fs::status(path).permissions() & fs::perms::mask;
    }

    // The SettingsError message of `action`.
    template <typename Action> static std::string failure(Action action)
    {
        try {
            action();
        } catch (const SettingsError& error) {
            return error.what();
        }
        ADD_FAILURE() << "no SettingsError";
        return {};
    }
};

TEST_F(LoginStoreTest, LivesInTavixConfUnderTheConfigFolder)
{
    EXPECT_EQ(LoginStore::fileName().toStdString(), file.string());
}

TEST_F(LoginStoreTest, AbsentValuesReadEmpty)
{
    for (const char* key : {"username", "password", "host", "cafile"})
        EXPECT_EQ(LoginStore().readValue(key), QString()) << key;
    EXPECT_FALSE(fs::exists(file));

    LoginStore().writeValue("username", "anna");
    EXPECT_EQ(LoginStore().readValue("password"), QString());
}

TEST_F(LoginStoreTest, ValuesComeBackExactlyAsWritten)
{
    const QString values[] = {"",           " lead and trail ", "a,b",
                              "@at",        "Zoë ä€😀",          "quote\"back\\slash",
                              "semi;colon", "line\nbreak",      "=&#+%",
                              "[CallerID]", "x=y\nusername=z"};
    for (const QString& value : values) {
        LoginStore().writeValue("password", value);
        EXPECT_EQ(LoginStore().readValue("password"), value);
    }
}

TEST_F(LoginStoreTest, KeysAreSeparateEntriesOfSectionCallerID)
{
    LoginStore store;
    store.writeValue("username", "anna");
    store.writeValue("password", "pw 1");
    EXPECT_EQ(LoginStore().readValue("username"), "anna");
    EXPECT_EQ(LoginStore().readValue("password"), "pw 1");
    const std::string contents = readFile(file);
    EXPECT_NE(contents.find("[CallerID]"), std::string::npos) << contents;
    EXPECT_NE(contents.find("username=anna"), std::string::npos) << contents;
}

TEST_F(LoginStoreTest, ReadsWhatAnotherProgramWroteSince)
{
    LoginStore store;
    store.writeValue("username", "before");
    ASSERT_EQ(store.readValue("username"), "before");
    std::ofstream(file, std::ios::trunc) << "[CallerID]\nusername=changed by hand\n";
    EXPECT_EQ(store.readValue("username"), "changed by hand");
    EXPECT_EQ(LoginStore().readValue("username"), "changed by hand");
}

TEST_F(LoginStoreTest, NewFileIsReadableByItsOwnerOnly)
{
    LoginStore().writeValue("password", "secret");
    EXPECT_EQ(permissionsOf(file), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(LoginStoreTest, ExistingOpenFileIsMadePrivate)
{
    fs::create_directories(config);
    std::ofstream(file) << "[CallerID]\nusername=kept\n";
    fs::permissions(file, fs::perms(0644));

    LoginStore().writeValue("password", "secret");
    EXPECT_EQ(permissionsOf(file), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(LoginStore().readValue("username"), "kept");
}

TEST_F(LoginStoreTest, ConfigFolderThatIsAFileGivesAClearError)
{
    std::ofstream(config) << "not a folder";
    const std::string message = failure([] { LoginStore().writeValue("username", "anna"); });
    EXPECT_EQ(message, "Cannot create the settings file " + file.string() + ": " + config.string() +
                           " is not a folder");
}

TEST_F(LoginStoreTest, SettingsFileThatIsAFolderGivesAClearError)
{
    fs::create_directories(file);
    EXPECT_EQ(failure([] { LoginStore().readValue("username"); }),
              "Cannot read the settings file " + file.string() + ": it is a folder, not a file");
    // Nothing is written to a store that cannot be read.
    EXPECT_EQ(failure([] { LoginStore().writeValue("username", "anna"); }),
              "Cannot read the settings file " + file.string() + ": it is a folder, not a file");
}

// Without HOME, Qt would make the file /.config/Tavix.conf; it follows the user database's home.
TEST_F(LoginStoreTest, WithoutHomeTheFileIsInTheUserDatabasesHome)
{
    const passwd* user = getpwuid(getuid());
    if (!user || fs::path(user->pw_dir) == "/" || !fs::is_directory(user->pw_dir))
        GTEST_SKIP() << "no home in the user database";
    const ScopedEnv noHome("HOME", nullptr);
    const ScopedEnv noConfig("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(LoginStore::fileName().toStdString(),
              (fs::path(user->pw_dir) / ".config/Tavix.conf").string());
}

// SAVE says what happened: a full disk (here the file-size limit, which fails as one) is not
// "access denied".
TEST_F(LoginStoreTest, SaveOnAFullDiskSaysSo)
{
    const auto ignored = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit before = limit;
    limit.rlim_cur = 8;
    setrlimit(RLIMIT_FSIZE, &limit);
    const std::string text = failure([] { LoginStore().saveLogin("till", "a longer password"); });
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, ignored);
    EXPECT_NE(text.find("Nothing was saved"), std::string::npos) << text;
    EXPECT_NE(text.find("the disk is full or the file has reached its size limit"),
              std::string::npos)
        << text;
}

} // namespace
