// Tavix CallerID: start at log-on through the XDG autostart file.
#include "desktop/LogonStart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// One argument in a desktop entry's Exec: quoted, with ", `, $ and \ escaped inside the quotes;
// then, as in every string value, each backslash doubled; and a % doubled, as it would start a
// field code.
QString execArgument(const QString& program)
{
    QString quoted;
    for (const QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted.replace(u'\\', QStringLiteral("\\\\")).replace(u'%', QStringLiteral("%%"));
    return u'"' + quoted + u'"';
}

QString entryText(const QString& program)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Tavix CallerID\n"
                          "Comment=Starts Tavix CallerID when you log on\n"
                          "Exec=%1\n"
                          "Icon=tavix-callerid\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(execArgument(program));
}

} // namespace

LogonStart::Places LogonStart::systemPlaces()
{
    // The folder Tavix.conf is in: $XDG_CONFIG_HOME, else ~/.config.
    return {QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                QStringLiteral("/autostart/") + QLatin1String(kAutostartFileName),
            {}};
}

bool LogonStart::isEnabled() const
{
    QFile file(m_places.user);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // What desktops write when the user switches an entry off in their own settings.
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QByteArray text = line.trimmed();
        if (text == "Hidden=true" || text == "X-GNOME-Autostart-enabled=false")
            return false;
    }
    return true;
}

bool LogonStart::startsForEveryone() const
{
    return false;
}

void LogonStart::setEnabled(bool enabled)
{
    const QString& path = m_places.user;
    if (!enabled) {
        QFile file(path);
        if (QFileInfo::exists(path) && !file.remove())
            throw LogonStartError(QStringLiteral("Cannot remove the autostart file %1: %2")
                                      .arg(path, file.errorString())
                                      .toStdString());
        return;
    }
    for (const QChar c : m_program) {
        if (c.category() == QChar::Other_Control)
            throw LogonStartError(QStringLiteral("Cannot write the autostart file %1: the "
                                                 "program's path holds a control character")
                                      .arg(path)
                                      .toStdString());
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        throw LogonStartError(
            QStringLiteral("Cannot write the autostart file %1: the folder %2 cannot be made")
                .arg(path, folder)
                .toStdString());
    // Written whole or not at all.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(entryText(m_program).toUtf8()) < 0 ||
        !file.commit())
        throw LogonStartError(QStringLiteral("Cannot write the autostart file %1: %2")
                                  .arg(path, file.errorString())
                                  .toStdString());
}
