// Tavix CallerID: one monitor per user, with flock() on a file in the user's lock folder.
#include "app/SingleInstance.h"

#include "platform/UserFolders.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <unistd.h>

std::string SingleInstance::lockFile()
{
    return (UserFolders::lockFolder() / "tavix-callerid.lock").string();
}

SingleInstance::~SingleInstance()
{
    if (m_handle >= 0)
        close(static_cast<int>(m_handle)); // releases the lock; the file stays for the next run
}

bool SingleInstance::acquire()
{
    if (m_path.empty())
        throw std::runtime_error(m_folderError);
    if (m_handle < 0) {
        m_handle = open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (m_handle < 0)
            throw std::runtime_error("Cannot open the lock file " + m_path + ": " +
                                     std::strerror(errno));
    }
    return flock(static_cast<int>(m_handle), LOCK_EX | LOCK_NB) == 0;
}
