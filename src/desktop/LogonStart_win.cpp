// Tavix CallerID: start at log-on through the registry's Run values.
#include "desktop/LogonStart.h"

#include <QDir>
#include <QSettings>

LogonStart::Places LogonStart::systemPlaces()
{
    return {
        QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"),
        {QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run")}};
}

bool LogonStart::isEnabled() const
{
    return QSettings(m_places.user, QSettings::NativeFormat).contains(QLatin1String(kRunValueName));
}

bool LogonStart::startsForEveryone() const
{
    // A 32-bit installer writes to the 32-bit view; Windows runs the entries of both.
    for (const QString& key : m_places.machine) {
        for (const QSettings::Format view :
             {QSettings::Registry32Format, QSettings::Registry64Format}) {
            if (QSettings(key, view).contains(QLatin1String(kRunValueName)))
                return true;
        }
    }
    return false;
}

void LogonStart::setEnabled(bool enabled)
{
    QSettings run(m_places.user, QSettings::NativeFormat);
    if (enabled)
        run.setValue(QLatin1String(kRunValueName),
                     QStringLiteral("\"%1\"").arg(QDir::toNativeSeparators(m_program)));
    else
        run.remove(QLatin1String(kRunValueName));
    run.sync();
    if (run.status() != QSettings::NoError)
        throw LogonStartError(QStringLiteral("Cannot %1 the value \"%2\" under %3: access denied")
                                  .arg(enabled ? QStringLiteral("write") : QStringLiteral("remove"),
                                       QLatin1String(kRunValueName), m_places.user)
                                  .toStdString());
}
