// Tavix CallerID: the tray icon's tooltip: each line's state and the last caller.
#include "desktop/TrayToolTip.h"

#include "desktop/CallNotice.h"

#include <QStringList>

#include <cstddef>

namespace {

QString cell(const LineStatusModel::Row& row, int column)
{
    const std::string& text = row[static_cast<std::size_t>(column)];
    // As the table shows it: up to the first NUL.
    return QString::fromLatin1(text.c_str());
}

QString elided(const QString& text, int length)
{
    if (text.size() <= length)
        return text;
    return text.left(length > 1 ? length - 1 : 0) + u'\u2026';
}

} // namespace

QString TrayToolTip::lineState(const LineStatusModel::Row& row)
{
    if (cell(row, COL_DEVICE_STATE) != QLatin1String("Enable"))
        return QStringLiteral("disabled");
    const QString state = cell(row, COL_LINE_STATE);
    if (state.isEmpty())
        return QStringLiteral("idle");
    if (state.startsWith(QLatin1String("HOOK ON")))
        return QStringLiteral("on hook");
    if (state.startsWith(QLatin1String("HOOK OFF")))
        return QStringLiteral("off hook");
    // The ring count.
    bool number = false;
    state.toInt(&number);
    if (number)
        return QStringLiteral("ringing");
    return state.toLower();
}

void TrayToolTip::setLastCaller(const IncomingCaller& caller, QTime arrived)
{
    m_lastCaller = caller;
    m_arrived = arrived;
}

QString TrayToolTip::text(const LineStatusModel& lines) const
{
    QStringList states;
    for (int line = 0; line < kLineCount; ++line)
        states << QStringLiteral("%1 %2").arg(line + 1).arg(
            lineState(lines.LineItems()[static_cast<std::size_t>(line)]));
    QString text =
        QStringLiteral("Tavix CallerID\nLines: ") + states.join(QStringLiteral(", ")) + u'\n';
    if (!m_lastCaller)
        return text + QStringLiteral("No caller yet");
    const QString label = QStringLiteral("Last caller: ");
    const QString where = QStringLiteral(", line %1, %2")
                              .arg(m_lastCaller->line + 1)
                              .arg(m_arrived.toString(QStringLiteral("HH:mm")));
    // The caller's name gives way first, so that the line and the time always show.
    const int room = kMaxLength - static_cast<int>(text.size() + label.size() + where.size());
    return text + label + elided(CallNotice::callerText(*m_lastCaller), room) + where;
}
