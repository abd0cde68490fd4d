// Tavix CallerID: one monitor per user, with flock() on a file in the user's lock folder.
#include "app/SingleInstance.h"

#include "platform/UserFolders.h"

#include <QCryptographicHash>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <string_view>
#include <sys/file.h>
#include <unistd.h>

namespace {

// The program's own file, as the system knows it: not from argv[0] or PATH. A file replaced
// by an upgrade while it runs is still the same program.
std::string programFile()
{
    std::string path(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<size_t>(length) >= path.size())
        return "tavix-callerid";
    path.resize(static_cast<size_t>(length));
    constexpr std::string_view kDeleted = " (deleted)";
    if (path.ends_with(kDeleted))
        path.resize(path.size() - kDeleted.size());
    return path;
}

} // namespace

std::string SingleInstance::lockFile()
{
    const QByteArray key = QCryptographicHash::hash(QByteArray::fromStdString(programFile()),
                                                    QCryptographicHash::Sha256)
                               .toHex()
                               .left(16);
    return (UserFolders::lockFolder() / ("tavix-callerid-" + key.toStdString() + ".lock")).string();
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
