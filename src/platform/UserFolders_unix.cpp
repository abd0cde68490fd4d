// Tavix CallerID: the user's private folders, from the XDG variables and the user database.
#include "platform/UserFolders.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t kPrivateFolder = S_IRWXU;

bool isAbsolute(const char* path)
{
    return path && *path == '/';
}

// An existing folder that is not the root under another spelling ("//", "/.", a link to it).
bool isUsableHome(const char* path)
{
    struct stat home
    {
    };
    struct stat root
    {
    };
    return isAbsolute(path) && stat(path, &home) == 0 && S_ISDIR(home.st_mode) &&
           stat("/", &root) == 0 && (home.st_dev != root.st_dev || home.st_ino != root.st_ino);
}

// The home folder the user database names for the user, or empty.
std::string databaseHome()
{
    const long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    int error = 0;
    while ((error = getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (error != 0 || !found || !isUsableHome(found->pw_dir))
        return {};
    return found->pw_dir;
}

[[noreturn]] void refuse(const std::filesystem::path& folder, const std::string& problem)
{
    throw UserFolderError("The folder " + folder.string() + " for Tavix CallerID's files " +
                          problem);
}

// Every missing folder on the way is made private; existing ones are left as they are.
void makeFolders(const std::filesystem::path& folder)
{
    std::filesystem::path partial;
    for (const std::filesystem::path& part : folder) {
        partial /= part;
        if (mkdir(partial.c_str(), kPrivateFolder) == 0 || errno == EEXIST)
            continue;
        const int error = errno;
        struct stat status
        {
        };
        if (stat(partial.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
            refuse(partial, std::string("cannot be created: ") + std::strerror(error));
    }
}

// Anyone who could swap the folder for a link, or who owns it, could read or redirect the
// log, the lock and the socket.
void checkOwnFolder(const std::filesystem::path& folder)
{
    struct stat status
    {
    };
    if (lstat(folder.c_str(), &status) != 0)
        refuse(folder, std::string("cannot be used: ") + std::strerror(errno));
    if (S_ISLNK(status.st_mode))
        refuse(folder, "is a symbolic link. It must be a real folder of your own: remove the "
                       "link and start again.");
    if (!S_ISDIR(status.st_mode))
        refuse(folder, "is not a folder. Remove it and start again.");
    if (status.st_uid != getuid())
        refuse(folder, "belongs to another user. It must be your own: remove it and start "
                       "again.");
    // A folder made by an older version may be open to others; it is ours, so close it.
    if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0 &&
        fchmodat(AT_FDCWD, folder.c_str(), kPrivateFolder, AT_SYMLINK_NOFOLLOW) != 0)
        refuse(folder, std::string("cannot be made private: ") + std::strerror(errno));
}

// A folder of the user's that nobody else may enter: fit for the lock and sockets.
bool isPrivateFolder(const char* path)
{
    struct stat status
    {
    };
    return isAbsolute(path) && stat(path, &status) == 0 && S_ISDIR(status.st_mode) &&
           status.st_uid == getuid() && (status.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

std::string perUserRuntime()
{
    return "/run/user/" + std::to_string(getuid());
}

// The home the environment names, else the user database's; empty when neither does.
std::string home()
{
    if (const char* home = std::getenv("HOME"); isAbsolute(home))
        return home;
    return databaseHome();
}

// <state>/tavix, made and checked as the program's folder.
std::filesystem::path privateTavixFolder(const std::filesystem::path& state)
{
    const std::filesystem::path folder = state / "tavix";
    makeFolders(folder);
    checkOwnFolder(folder);
    return folder;
}

} // namespace

std::filesystem::path UserFolders::stateHome()
{
    if (const char* state = std::getenv("XDG_STATE_HOME"); isAbsolute(state))
        return state;
    if (const std::string folder = home(); !folder.empty())
        return std::filesystem::path(folder) / ".local" / "state";
    throw UserFolderError("No private folder for Tavix CallerID's files: HOME is not set (or "
                          "not an absolute path) and the user database names no home folder. "
                          "Set HOME or XDG_STATE_HOME.");
}

std::filesystem::path UserFolders::programFolder()
{
    return privateTavixFolder(stateHome());
}

std::filesystem::path UserFolders::runtimeFolder()
{
    // Another user's folder, or one others may write to, could hold their files in our names.
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); isPrivateFolder(runtime))
        return runtime;
    if (const std::string perUser = perUserRuntime(); isPrivateFolder(perUser.c_str()))
        return perUser;
    return programFolder();
}

std::filesystem::path UserFolders::configHome()
{
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); isAbsolute(config))
        return config;
    if (const std::string folder = home(); !folder.empty())
        return std::filesystem::path(folder) / ".config";
    throw UserFolderError("No folder for Tavix CallerID's settings: HOME is not set (or not an "
                          "absolute path) and the user database names no home folder. Set HOME "
                          "or XDG_CONFIG_HOME.");
}

std::filesystem::path UserFolders::lockFolder()
{
    if (const std::string perUser = perUserRuntime(); isPrivateFolder(perUser.c_str()))
        return perUser;
    if (const std::string database = databaseHome(); !database.empty())
        return privateTavixFolder(std::filesystem::path(database) / ".local" / "state");
    return programFolder();
}
