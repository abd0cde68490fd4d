// Tavix CallerID: the login details and connector settings in the per-user settings store.
#include "notify/LoginStore.h"

#include "notify/SettingsStore.h"

#include <QSettings>

SettingsError SettingsStore::error(const QString& text)
{
    return SettingsError(text.toStdString());
}

namespace {

void checkStatus(const QSettings& settings, const QString& action)
{
    switch (settings.status()) {
    case QSettings::NoError:
        return;
    case QSettings::AccessError:
        throw SettingsStore::error(
            QStringLiteral("Cannot %1 the settings file %2: %3")
                .arg(action, settings.fileName(), SettingsStore::accessProblem(settings)));
    case QSettings::FormatError:
        throw SettingsStore::error(QStringLiteral("Cannot %1 the settings file %2: it is not a "
                                                  "valid settings file")
                                       .arg(action, settings.fileName()));
    }
}

} // namespace

QString LoginStore::fileName()
{
    return SettingsStore::open()->fileName();
}

std::unique_ptr<QSettings> LoginStore::openForReading()
{
    std::unique_ptr<QSettings> settings = SettingsStore::open();
    // Another program, or another store in this one, may have written since Qt last read it.
    settings->sync();
    checkStatus(*settings, QStringLiteral("read"));
    if (const QString problem = SettingsStore::whatCannotBeRead(*settings); !problem.isEmpty())
        throw SettingsStore::error(QStringLiteral("Cannot read the settings file %1: %2")
                                       .arg(settings->fileName(), problem));
    return settings;
}

QString LoginStore::readValue(const QString& key) const
{
    return openForReading()->value(key).toString();
}

LoginStore::Values LoginStore::read() const
{
    const std::unique_ptr<QSettings> settings = openForReading();
    const auto text = [&](const char* key) {
        return settings->value(QLatin1String(key)).toString();
    };
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
        throw SettingsStore::error(QStringLiteral("Nothing was saved, neither the user name nor "
                                                  "the password.\n\n%1")
                                       .arg(QString::fromStdString(error.what())));
    }
}

LoginStore::WebApplication LoginStore::readWebApplication() const
{
    // Checked as the whole store is, then read without the fallback.
    openForReading();
    const std::unique_ptr<QSettings> own = SettingsStore::openOwn();
    return {own->value(QStringLiteral("host")).toString(),
            own->value(QStringLiteral("cafile")).toString()};
}

QString LoginStore::everyonesHost() const
{
    return SettingsStore::everyonesValue(QStringLiteral("host"));
}

void LoginStore::saveWebApplication(const QString& host, const QString& caFile)
{
    try {
        // An empty one is none (a null text removes it): the default applies, not "" over it.
        const auto valueOrNone = [](const QString& value) {
            return value.isEmpty() ? QString() : value;
        };
        writeValues({{QStringLiteral("host"), valueOrNone(host)},
                     {QStringLiteral("cafile"), valueOrNone(caFile)}});
    } catch (const SettingsError& error) {
        throw SettingsStore::error(QStringLiteral("Nothing was saved, neither the host nor the "
                                                  "certificate authority file.\n\n%1")
                                       .arg(QString::fromStdString(error.what())));
    }
}

void LoginStore::writeValues(const std::vector<std::pair<QString, QString>>& values)
{
    // A file that cannot be read is never rewritten from the little Qt made of it.
    const std::unique_ptr<QSettings> settings = openForReading();
    SettingsStore::makePrivate(*settings);
    for (const auto& [key, value] : values) {
        if (value.isNull())
            settings->remove(key);
        else
            settings->setValue(key, value);
    }
    // One replacement of the whole file (Qt writes a copy and renames it): every value or none.
    settings->sync();
    checkStatus(*settings, QStringLiteral("write"));
    // Should the file have been replaced by a new one in between, it is new and not yet private.
    SettingsStore::makePrivate(*settings);
}
