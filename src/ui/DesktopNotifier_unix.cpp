// Tavix CallerID: notifications through the freedesktop notification service on D-Bus.
#include "ui/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

#include <cstdio>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

struct Notice
{
    quint64 key;
    QString summary;
    QString body;
    bool last;
};

QDBusMessage methodCall(const QString& method)
{
    return QDBusMessage::createMethodCall(kService, kPath, kService, method);
}

// Runs `done` once the call has its answer. A call that could not even be sent (no bus) is
// finished at once, and its watcher would never say so.
template <typename Done> void whenAnswered(QObject* owner, const QDBusPendingCall& call, Done done)
{
    auto* watcher = new QDBusPendingCallWatcher(call, owner);
    const auto answered = [watcher, done] {
        watcher->deleteLater();
        done(*watcher);
    };
    if (watcher->isFinished())
        QMetaObject::invokeMethod(owner, answered, Qt::QueuedConnection);
    else
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, owner, answered);
}

} // namespace

struct DesktopNotifier::Private
{
    // The server's capabilities are asked once, before the first notification: a body is
    // escaped only for a server that reads markup in it.
    enum class Service { Unknown, Asking, Ready } service = Service::Unknown;
    bool markup = false;
    std::vector<Notice> asking;

    struct Shown
    {
        uint id = 0;          // the server's, once it has answered
        bool waiting = false; // for that answer
        std::optional<Notice> next;
        bool last = false;
    };
    std::map<quint64, Shown> shown;
    bool reported = false;

    void report(const QString& why)
    {
        if (std::exchange(reported, true))
            return;
        std::fprintf(stderr, "tavix-callerid: no desktop notifications: %s\n", qPrintable(why));
    }
};

DesktopNotifier::DesktopNotifier(QObject* parent) : QObject(parent), d(std::make_unique<Private>())
{}

DesktopNotifier::~DesktopNotifier() = default;

void DesktopNotifier::setTrayIcon(QSystemTrayIcon*) {}

void DesktopNotifier::notify(quint64 key, const QString& summary, const QString& body, bool last)
{
    Notice notice{key, summary, body, last};
    if (d->service != Private::Service::Ready) {
        d->asking.push_back(std::move(notice));
        if (d->service == Private::Service::Asking)
            return;
        d->service = Private::Service::Asking;
        const QDBusPendingCall asked =
            QDBusConnection::sessionBus().asyncCall(methodCall(QStringLiteral("GetCapabilities")));
        whenAnswered(this, asked, [this](const QDBusPendingCall& answer) {
            const QDBusPendingReply<QStringList> reply = answer;
            std::vector<Notice> waiting = std::exchange(d->asking, {});
            if (reply.isError()) {
                // Asked again for the next caller: the service may have started since.
                d->service = Private::Service::Unknown;
                d->report(reply.error().message());
                return;
            }
            d->service = Private::Service::Ready;
            d->markup = reply.value().contains(QStringLiteral("body-markup"));
            for (Notice& waitingNotice : waiting)
                notify(waitingNotice.key, waitingNotice.summary, waitingNotice.body,
                       waitingNotice.last);
        });
        return;
    }

    Private::Shown& shown = d->shown[key];
    if (shown.waiting) {
        // Sent once the server has said which notification to replace.
        shown.next = std::move(notice);
        return;
    }
    shown.waiting = true;
    shown.last = last;
    QDBusMessage call = methodCall(QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("tavix-callerid")},
                            {QStringLiteral("urgency"), QVariant::fromValue(uchar(1))}};
    call << QStringLiteral("Tavix CallerID") << shown.id << QStringLiteral("tavix-callerid")
         << summary << (d->markup ? body.toHtmlEscaped() : body) << QStringList() << hints
         << int(-1);
    whenAnswered(this, QDBusConnection::sessionBus().asyncCall(call),
                 [this, key](const QDBusPendingCall& answer) {
                     const QDBusPendingReply<uint> reply = answer;
                     auto found = d->shown.find(key);
                     if (found == d->shown.end())
                         return;
                     Private::Shown& entry = found->second;
                     entry.waiting = false;
                     if (reply.isError()) {
                         d->report(reply.error().message());
                         d->shown.erase(found);
                         return;
                     }
                     entry.id = reply.value();
                     if (entry.next) {
                         Notice next = *std::exchange(entry.next, std::nullopt);
                         notify(next.key, next.summary, next.body, next.last);
                     } else if (entry.last) {
                         d->shown.erase(found);
                     }
                 });
}
