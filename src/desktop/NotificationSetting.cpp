// Tavix CallerID: whether each caller ID gets a desktop notification.
#include "desktop/NotificationSetting.h"

#include "notify/LoginStore.h"

#include <QVariant>

bool NotificationSetting::read(const LoginStore& store)
{
    try {
        const QString value = store.readValue(QLatin1String(kKey));
        // "false", "0" or an empty value switch them off, as QSettings reads a boolean.
        return value.isNull() || QVariant(value).toBool();
    } catch (const SettingsError&) {
        return true;
    }
}

void NotificationSetting::write(LoginStore& store, bool on)
{
    store.writeValue(QLatin1String(kKey), on ? QStringLiteral("true") : QStringLiteral("false"));
}
