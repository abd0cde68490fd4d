// Tavix CallerID: the login store's file, Tavix.conf in the user's configuration folder.
#include "notify/SettingsStore.h"

#include "notify/LoginStore.h"
#include "platform/UserFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// The system's reason for refusing a write in `folder`, found by writing as much as the settings
// file holds into a file of its own there; empty when that works. Qt says only "access error".
QString writeProblem(const QString& folder, qint64 bytes)
{
    std::string probe = QFile::encodeName(folder).toStdString() + "/.Tavix.conf.probe-XXXXXX";
    const int fd = mkstemp(probe.data());
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    const std::string filler(static_cast<size_t>(bytes) + 4096, '\n');
    const ssize_t written = write(fd, filler.data(), filler.size());
    int error = written < 0 ? errno : 0;
    const bool partial = written >= 0 && static_cast<size_t>(written) != filler.size();
    if (error == 0 && !partial && fsync(fd) != 0)
        error = errno;
    close(fd);
    unlink(probe.c_str());
    const QString noRoom =
        QStringLiteral("the disk is full or the file has reached its size limit");
    if (partial)
        return noRoom;
    if (error == 0)
        return {};
    const QString reason = QString::fromLocal8Bit(std::strerror(error));
    if (error == ENOSPC || error == EDQUOT || error == EFBIG)
        return QStringLiteral("%1 (%2)").arg(noRoom, reason);
    return reason;
}

QString accessProblem(const QString& fileName)
{
    const QFileInfo file(fileName);
    if (file.isDir())
        return QStringLiteral("it is a folder, not a file");
    for (QFileInfo folder(file.absolutePath()); !folder.isRoot();
         folder.setFile(folder.absolutePath())) {
        if (folder.exists() && !folder.isDir())
            return folder.filePath() + QStringLiteral(" is not a folder");
    }
    if (file.exists() && access(QFile::encodeName(fileName).constData(), R_OK | W_OK) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    if (const QString problem = writeProblem(file.absolutePath(), file.size()); !problem.isEmpty())
        return problem;
    return QStringLiteral("access denied");
}

bool isAbsolute(const char* path)
{
    return path && *path == '/';
}

// The file holds a password: it is created readable by its owner only, before anything is
// written to it, and kept so (QSettings replaces it with a copy that keeps its permissions).
void makePrivate(const QString& fileName)
{
    const QFileInfo info(fileName);
    if (info.exists() && !info.isFile())
        throw SettingsStore::error(QStringLiteral("Cannot write the settings file %1: %2")
                                       .arg(fileName, accessProblem(fileName)));
    if (!info.exists()) {
        if (!QDir().mkpath(info.absolutePath()))
            throw SettingsStore::error(QStringLiteral("Cannot create the settings file %1: %2")
                                           .arg(fileName, accessProblem(fileName)));
        QFile file(fileName);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, kOwnerOnly))
            throw SettingsStore::error(QStringLiteral("Cannot create the settings file %1: %2")
                                           .arg(fileName, file.errorString()));
    }
    QFile file(fileName);
    if (!file.setPermissions(kOwnerOnly))
        throw SettingsStore::error(QStringLiteral("Cannot make the settings file %1 private: %2")
                                       .arg(fileName, file.errorString()));
}

// Why a settings file that Qt may have read without complaint is not one to rely on, or empty.
// Qt parses random bytes as a few odd keys, and it keeps what it parsed of a file for the life
// of the process, reporting a format error only the first time: so the file itself is checked,
// each time. A file that is not empty must hold the section, and every section header must close.
QString formatProblem(const QString& fileName)
{
    QFile file(fileName);
    if (!QFileInfo(file).isFile() || file.size() == 0 || !file.open(QIODevice::ReadOnly))
        return {};
    bool hasSection = false;
    int number = 0;
    for (const QByteArray& line : file.readAll().split('\n')) {
        ++number;
        const QByteArray text = line.trimmed();
        if (!text.startsWith('['))
            continue;
        const qsizetype end = text.indexOf(']');
        if (end < 0)
            return QStringLiteral("line %1 opens a section that it does not close, so it is not "
                                  "a valid settings file")
                .arg(number);
        hasSection = hasSection || text.mid(1, end - 1) == LoginStore::kSection;
    }
    if (!hasSection)
        return QStringLiteral("it has no [%1] section, so it is not a valid settings file")
            .arg(QLatin1String(LoginStore::kSection));
    return {};
}

} // namespace

namespace SettingsStore {

std::unique_ptr<QSettings> open()
{
    // Without HOME, Qt would take /.config; the settings follow the home the program's other
    // files use, from the user database.
    if (!isAbsolute(std::getenv("XDG_CONFIG_HOME")) && !isAbsolute(std::getenv("HOME"))) {
        try {
            QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                               QFile::decodeName(UserFolders::configHome().c_str()));
        } catch (const UserFolderError&) {
            // No home at all: the program stops at start-up for want of a folder for its log.
        }
    }
    auto settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                LoginStore::kOrganisation);
    settings->beginGroup(LoginStore::kSection);
    return settings;
}

// One file, the user's own: there is no value for everyone to fall back on.
std::unique_ptr<QSettings> openOwn()
{
    return open();
}

QString everyonesValue(const QString&)
{
    return {};
}

QString whatCannotBeRead(const QSettings& settings)
{
    return formatProblem(settings.fileName());
}

QString accessProblem(const QSettings& settings)
{
    return ::accessProblem(settings.fileName());
}

void makePrivate(const QSettings& settings)
{
    ::makePrivate(settings.fileName());
}

} // namespace SettingsStore
