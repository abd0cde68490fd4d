// Tavix CallerID: the web application's host setting, held to the shape of a host.
#pragma once

#include <QString>
#include <QUrl>

// A host name, an IPv4 address or an IPv6 address in brackets ("[::1]"), optionally followed
// by ":port" with a port from 1 to 65535; nothing else: no scheme, user information, path,
// query, fragment, blank or control character. Pasted into a URL, any of those would send the
// request, and the password in it, somewhere else than the shop meant.
class ConnectorHost
{
  public:
    // What is wrong with `setting`, in words ("it holds a path (/)"), or empty when it is a host.
    static QString problem(const QString& setting);

    // Throws std::invalid_argument, with problem()'s words, for a setting that is not a host.
    explicit ConnectorHost(const QString& setting);

    // https://host[:port]path?query; `query` is already percent-encoded, as it is to be sent.
    QUrl url(const QString& path, const QString& encodedQuery) const;

    const QString& host() const { return m_host; }
    // -1 when the setting names none (https' own, 443).
    int port() const { return m_port; }

  private:
    QString m_host;
    int m_port = -1;
};
