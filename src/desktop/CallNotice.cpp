// Tavix CallerID: what a desktop notification says about a caller ID.
#include "desktop/CallNotice.h"

namespace {

// A box's text may hold anything: no control character reaches the desktop.
QString oneLine(const QString& text)
{
    QString shown = text;
    for (QChar& c : shown) {
        if (c.category() == QChar::Other_Control)
            c = u' ';
    }
    return shown.simplified();
}

QString outcome(const CallDelivery& delivery)
{
    const QString detail = QString::fromUtf8(delivery.detail);
    const auto withDetail = [&](const QString& sentence) {
        return detail.isEmpty() ? sentence + u'.' : sentence + QStringLiteral(": ") + detail;
    };
    switch (delivery.state) {
    case CallDelivery::State::Pending:
        return QStringLiteral("Sending to the web application\u2026");
    case CallDelivery::State::Sent:
        return withDetail(QStringLiteral("The web application got it"));
    case CallDelivery::State::Failed:
        return withDetail(QStringLiteral("The web application did not get it"));
    case CallDelivery::State::NotSent:
    case CallDelivery::State::Abandoned:
        break;
    }
    return withDetail(QStringLiteral("Not sent to the web application"));
}

} // namespace

QString CallNotice::callerText(const IncomingCaller& caller)
{
    const QString number = oneLine(caller.number);
    const QString name = oneLine(caller.name);
    const QString shownNumber = number.isEmpty() ? QStringLiteral("(no number)") : number;
    return name.isEmpty() ? shownNumber : shownNumber + QStringLiteral(" \u2014 ") + name;
}

CallNotice CallNotice::of(const IncomingCaller& caller)
{
    return of(caller, caller.delivery);
}

CallNotice CallNotice::of(const IncomingCaller& caller, const CallDelivery& delivery)
{
    return {QStringLiteral("Call on line %1").arg(caller.line + 1),
            callerText(caller) + u'\n' + outcome(delivery)};
}
