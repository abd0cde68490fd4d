// Tavix CallerID: notifications as the tray icon's message, which Windows shows as a toast.
#include "ui/DesktopNotifier.h"

#include <QPointer>
#include <QSystemTrayIcon>

namespace {

constexpr int kShownMs = 10000;

} // namespace

struct DesktopNotifier::Private
{
    QPointer<QSystemTrayIcon> tray;
};

DesktopNotifier::DesktopNotifier(QObject* parent) : QObject(parent), d(std::make_unique<Private>())
{}

DesktopNotifier::~DesktopNotifier() = default;

void DesktopNotifier::setTrayIcon(QSystemTrayIcon* tray)
{
    d->tray = tray;
}

// A message replaces the one shown before it, so the key needs no bookkeeping.
void DesktopNotifier::notify(quint64, const QString& summary, const QString& body, bool)
{
    if (d->tray && d->tray->isVisible())
        d->tray->showMessage(summary, body, QSystemTrayIcon::Information, kShownMs);
}
