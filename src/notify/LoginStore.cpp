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

QString LoginStore::fileName()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, kOrganisation).fileName();
}

std::unique_ptr<QSettings> LoginStore::openForReading()
{
    auto settings =
        std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, kOrganisation);
    // Another program, or another store in this one, may have written since Qt last read it.
    settings->sync();
    checkStatus(*settings, QStringLiteral("read"));
    if (const QString problem = formatProblem(settings->fileName()); !problem.isEmpty())
        throw settingsError(QStringLiteral("Cannot read the settings file %1: %2")
                                .arg(settings->fileName(), problem));
    settings->beginGroup(kSection);
    return settings;
}

QString LoginStore::readValue(const QString& key) const
{
    return openForReading()->value(key).toString();
}

LoginStore::Values LoginStore::read() const
{
    const std::unique_ptr<QSettings> settings = openForReading();
    const auto text = [&](const char* key) { return settings->value(QLatin1String(key)).toString(); };
    return {text("username"), text("password"), text("host"), text("cafile")};
}

void LoginStore::writeValue(const QString& key, const QString& value)
{
    writeValues({{key, value}});
}

void LoginStore::saveLogin(const QString& user, const QString& password)
{
    try {
        writeValues({{QStringLiteral("username"), user}, {QStringLiteral("password"), password}});
    } catch (const SettingsError& error) {
        throw settingsError(QStringLiteral("Nothing was saved, neither the user name nor the "
                                           "password.\n\n%1")
                                .arg(QString::fromStdString(error.what())));
    }
}

void LoginStore::writeValues(const std::vector<std::pair<QString, QString>>& values)
{
    // A file that cannot be read is never rewritten from the little Qt made of it.
    openForReading();
    const QString file = fileName();
    makePrivate(file);
    {
        QSettings settings(QSettings::NativeFormat, QSettings::UserScope, kOrganisation);
        settings.beginGroup(kSection);
        for (const auto& [key, value] : values)
            settings.setValue(key, value);
        settings.endGroup();
        // One replacement of the whole file (Qt writes a copy and renames it): every value or none.
        settings.sync();
        checkStatus(settings, QStringLiteral("write"));
    }
    // Should the file have been replaced by a new one in between, it is new and not yet private.
    makePrivate(file);
}
