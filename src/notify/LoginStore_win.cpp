// Tavix CallerID: the login store in the registry, HKEY_CURRENT_USER\Software\Tavix\CallerID.
#include "notify/SettingsStore.h"

#include "notify/LoginStore.h"

#include <QSettings>

namespace SettingsStore {

// What the user has not set is read from the same key under HKEY_LOCAL_MACHINE, where an
// installer may have put the shop's web address for every user.
std::unique_ptr<QSettings> open()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       LoginStore::kOrganisation, LoginStore::kSection);
}

std::unique_ptr<QSettings> openOwn()
{
    std::unique_ptr<QSettings> settings = open();
    settings->setFallbacksEnabled(false);
    return settings;
}

QString everyonesValue(const QString& key)
{
    return QSettings(QSettings::NativeFormat, QSettings::SystemScope, LoginStore::kOrganisation,
                     LoginStore::kSection)
        .value(key)
        .toString();
}

// The registry holds typed values: there is no format to get wrong.
QString whatCannotBeRead(const QSettings&)
{
    return {};
}

QString accessProblem(const QSettings&)
{
    return QStringLiteral("access denied");
}

// The user's own hive is readable by the user (and administrators) only.
void makePrivate(const QSettings&) {}

} // namespace SettingsStore
