// Tavix CallerID: the login store's file, Tavix.conf in the user's configuration folder.
#include "notify/SettingsStore.h"

#include "notify/LoginStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <memory>

namespace {

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

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
    return QStringLiteral("access denied");
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
    auto settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                LoginStore::kOrganisation);
    settings->beginGroup(LoginStore::kSection);
    return settings;
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
