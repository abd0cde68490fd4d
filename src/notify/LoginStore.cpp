// Tavix CallerID: the login details and connector settings in the per-user settings store.
#include "notify/LoginStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace {

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

SettingsError settingsError(const QString& text) { return SettingsError(text.toStdString()); }

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

void checkStatus(const QSettings& settings, const QString& action)
{
    switch (settings.status()) {
    case QSettings::NoError:
        return;
    case QSettings::AccessError:
        throw settingsError(QStringLiteral("Cannot %1 the settings file %2: %3")
                                .arg(action, settings.fileName(),
                                     accessProblem(settings.fileName())));
    case QSettings::FormatError:
        throw settingsError(QStringLiteral("Cannot %1 the settings file %2: it is not a valid "
                                           "settings file")
                                .arg(action, settings.fileName()));
    }
}

// The file holds a password: it is created readable by its owner only, before anything is
// written to it, and kept so (QSettings replaces it with a copy that keeps its permissions).
void makePrivate(const QString& fileName)
{
    const QFileInfo info(fileName);
    if (info.exists() && !info.isFile())
        throw settingsError(QStringLiteral("Cannot write the settings file %1: %2")
                                .arg(fileName, accessProblem(fileName)));
    if (!info.exists()) {
        if (!QDir().mkpath(info.absolutePath()))
            throw settingsError(QStringLiteral("Cannot create the settings file %1: %2")
                                    .arg(fileName, accessProblem(fileName)));
        QFile file(fileName);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, kOwnerOnly))
            throw settingsError(QStringLiteral("Cannot create the settings file %1: %2")
                                    .arg(fileName, file.errorString()));
    }
    QFile file(fileName);
    if (!file.setPermissions(kOwnerOnly))
        throw settingsError(QStringLiteral("Cannot make the settings file %1 private: %2")
                                .arg(fileName, file.errorString()));
}

} // namespace

QString LoginStore::fileName()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, kOrganisation).fileName();
}

QString LoginStore::readValue(const QString& key) const
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, kOrganisation);
    // Another program, or another store in this one, may have written since Qt last read it.
    settings.sync();
    checkStatus(settings, QStringLiteral("read"));
    settings.beginGroup(kSection);
    return settings.value(key).toString();
}

void LoginStore::writeValue(const QString& key, const QString& value)
{
    const QString file = fileName();
    makePrivate(file);
    {
        QSettings settings(QSettings::NativeFormat, QSettings::UserScope, kOrganisation);
        settings.beginGroup(kSection);
        settings.setValue(key, value);
        settings.endGroup();
        settings.sync();
        checkStatus(settings, QStringLiteral("write"));
    }
    // Should the file have been replaced by a new one in between, it is new and not yet private.
    makePrivate(file);
}
