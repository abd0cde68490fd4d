// Tavix CallerID tests: where the log goes on Windows, and that it is written there whole.
#include "log/ActivityLog.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace {

namespace fs = std::filesystem;

const fs::path kSharedLog = "C:\\tavix.log";

fs::path userLog()
{
    return fs::path(std::getenv("LOCALAPPDATA")) / "Tavix" / "tavix.log";
}

// A file of the machine's, put back as it was at the end; CTest keeps the other tests that
// write the default log away meanwhile.
class Preserved
{
  public:
    explicit Preserved(fs::path path) : m_path(std::move(path))
    {
        if (fs::is_regular_file(m_path))
            m_bytes = readFile(m_path);
        fs::remove_all(m_path);
    }
    ~Preserved()
    {
        fs::remove_all(m_path);
        if (m_bytes)
            std::ofstream(m_path, std::ios::binary) << *m_bytes;
    }
    Preserved(const Preserved&) = delete;
    Preserved& operator=(const Preserved&) = delete;

  private:
    fs::path m_path;
    std::optional<std::string> m_bytes;
};

// One entry at the default place, as the program writes it; the file's bytes afterwards.
std::string writeOneEntry(const fs::path& expectedPlace)
{
    const ActivityLog log(ActivityLog::defaultPath(), [] { return TimeOfDay{9, 30, 5}; });
    EXPECT_EQ(log.path(), expectedPlace);
    log.WriteLog("Incoming szCallerID: 0123456789");
    EXPECT_TRUE(log.writable());
    return readFile(expectedPlace);
}

const std::string kEntry = "> 093005: Incoming szCallerID: 0123456789\r\n...\r\n";

class DefaultLogPlace : public ::testing::Test
{
  protected:
    Preserved m_shared{kSharedLog};
    Preserved m_own{userLog()};
};

TEST_F(DefaultLogPlace, IsTheSharedFileWhereItCanBeAppendedTo)
{
    EXPECT_EQ(writeOneEntry(kSharedLog), kEntry);
    // Appended to what is there, byte for byte: CR LF stays CR LF.
    EXPECT_EQ(writeOneEntry(kSharedLog), kEntry + kEntry);
    EXPECT_FALSE(fs::exists(userLog()));
}

TEST_F(DefaultLogPlace, IsTheUsersOwnWhereTheSharedFileCannotBeOpened)
{
    // Tests run as an administrator, whom no permission stops: a folder of that name does.
    fs::create_directory(kSharedLog);
    EXPECT_EQ(writeOneEntry(userLog()), kEntry);
    EXPECT_EQ(writeOneEntry(userLog()), kEntry + kEntry);
    EXPECT_TRUE(fs::is_directory(kSharedLog));
}

} // namespace
