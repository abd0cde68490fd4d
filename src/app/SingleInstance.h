// Tavix CallerID: one monitor per user, so that no caller is sent twice.
#pragma once

#include <cstdint>
#include <string>

// Holds an exclusive lock on a file in the user's lock folder for the life of the object. The
// system drops the lock when the process ends, however it ends. On Linux the folder and the
// file's name depend on nothing in the environment: a start with other XDG or HOME variables
// still finds the first instance, and so does a copy of the program from elsewhere: either
// would open the same box and send every caller a second time.
class SingleInstance
{
  public:
    SingleInstance();
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // False when another instance holds the lock. Throws std::runtime_error when the lock
    // file cannot be opened at all, or when the user has no private folder for it.
    bool acquire();
    const std::string& lockPath() const { return m_path; }

  private:
    // Throws UserFolderError when the user has no private folder for it.
    static std::string lockFile();

    std::string m_path;
    std::string m_folderError;
    // A file descriptor, or on Windows a file handle; -1 while none is open.
    std::intptr_t m_handle = -1;
};
