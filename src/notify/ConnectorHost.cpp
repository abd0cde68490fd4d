// Tavix CallerID: the web application's host setting, held to the shape of a host.
#include "notify/ConnectorHost.h"

#include <stdexcept>

namespace {

struct Parsed
{
    QString host;
    int port = -1;
    QString problem;
};

Parsed failed(const QString& problem)
{
    return {{}, -1, problem};
}

// Only the separators a URL gives meaning to are looked for here; whether the rest is a host
// name or an address is QUrl's to say.
Parsed parse(const QString& setting)
{
    if (setting.isEmpty())
        return failed(QStringLiteral("it is empty"));
    for (const QChar c : setting) {
        if (c.category() == QChar::Other_Control)
            return failed(QStringLiteral("it holds a control character"));
        if (c.isSpace())
            return failed(QStringLiteral("it holds a blank"));
    }
    if (setting.contains(QLatin1String("://")))
        return failed(QStringLiteral("it holds a scheme (such as https://): give the host alone"));
    if (setting.contains(QLatin1Char('@')))
        return failed(QStringLiteral("it holds user information (@)"));
    if (setting.contains(QLatin1Char('/')) || setting.contains(QLatin1Char('\\')))
        return failed(QStringLiteral("it holds a path (/)"));
    if (setting.contains(QLatin1Char('?')))
        return failed(QStringLiteral("it holds a query (?)"));
    if (setting.contains(QLatin1Char('#')))
        return failed(QStringLiteral("it holds a fragment (#)"));

    QString host = setting;
    QString port;
    bool hasPort = false;
    if (setting.startsWith(QLatin1Char('['))) {
        const qsizetype close = setting.indexOf(QLatin1Char(']'));
        if (close < 0)
            return failed(QStringLiteral("its IPv6 address lacks the closing ]"));
        host = setting.left(close + 1);
        const QString rest = setting.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(QLatin1Char(':')))
            return failed(QStringLiteral("only :port may follow the IPv6 address"));
        hasPort = !rest.isEmpty();
        port = rest.mid(1);
    } else if (const qsizetype colons = setting.count(QLatin1Char(':')); colons > 1) {
        return failed(QStringLiteral("an IPv6 address must be in brackets, as [::1]"));
    } else if (colons == 1) {
        const qsizetype colon = setting.indexOf(QLatin1Char(':'));
        host = setting.left(colon);
        port = setting.mid(colon + 1);
        hasPort = true;
    }
    if (host.isEmpty() || host == QLatin1String("[]"))
        return failed(QStringLiteral("it names no host"));

    int number = -1;
    if (hasPort) {
        bool isNumber = port.size() <= 5;
        for (const QChar c : port)
            isNumber = isNumber && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        number = isNumber && !port.isEmpty() ? port.toInt() : 0;
        if (number < 1 || number > 65535)
            return failed(
                QStringLiteral("its port \"%1\" is not a number from 1 to 65535").arg(port));
    }

    QUrl check;
    check.setScheme(QStringLiteral("https"));
    check.setHost(host, QUrl::StrictMode);
    if (!check.isValid() || check.host().isEmpty())
        return failed(QStringLiteral("\"%1\" is not a host name or an IP address").arg(host));
    return {check.host(QUrl::FullyEncoded), number, {}};
}

} // namespace

QString ConnectorHost::problem(const QString& setting)
{
    return parse(setting).problem;
}

ConnectorHost::ConnectorHost(const QString& setting)
{
    const Parsed parsed = parse(setting);
    if (!parsed.problem.isEmpty())
        throw std::invalid_argument("The web application's host \"" + setting.toStdString() +
                                    "\" is not usable: " + parsed.problem.toStdString());
    m_host = parsed.host;
    m_port = parsed.port;
}

QUrl ConnectorHost::url(const QString& path, const QString& encodedQuery) const
{
    QUrl url;
    url.setScheme(QStringLiteral("https"));
    url.setHost(m_host, QUrl::StrictMode);
    if (m_port > 0)
        url.setPort(m_port);
    url.setPath(path, QUrl::StrictMode);
    url.setQuery(encodedQuery, QUrl::StrictMode);
    return url;
}
