// Tavix CallerID: a file only its user may read, for the calls list.
#include "monitor/PrivateFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString PrivateFile::prepare(const QString& file)
{
    const QByteArray path = QFile::encodeName(file);
    const int fd =
        ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    QString problem;
    struct stat status
    {
    };
    if (::fstat(fd, &status) != 0)
        problem = QString::fromLocal8Bit(std::strerror(errno));
    else if (!S_ISREG(status.st_mode))
        problem = QStringLiteral("It is not a file");
    // SQLite gives its -wal and -shm files the mode of this one.
    else if ((status.st_mode & 0777) != 0600 && ::fchmod(fd, 0600) != 0)
        problem = QString::fromLocal8Bit(std::strerror(errno));
    ::close(fd);
    return problem;
}
