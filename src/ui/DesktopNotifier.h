// Tavix CallerID: notifications through the desktop's own notification service.
#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QSystemTrayIcon;

// Shows a notification and replaces it with the next one for the same key: on Linux through the
// freedesktop notification service on the session bus, on Windows as the tray icon's message.
// Nothing waits for the service. Where there is none, nothing is shown and standard error says
// so once.
class DesktopNotifier : public QObject
{
    Q_OBJECT

  public:
    explicit DesktopNotifier(QObject* parent = nullptr);
    ~DesktopNotifier() override;
    DesktopNotifier(const DesktopNotifier&) = delete;
    DesktopNotifier& operator=(const DesktopNotifier&) = delete;

    // The icon whose message a notification is on Windows; null when there is none.
    void setTrayIcon(QSystemTrayIcon* tray);

    // `summary` and `body` are plain text. `last`: nothing will replace this one.
    virtual void notify(quint64 key, const QString& summary, const QString& body, bool last);

  private:
    struct Private;
    std::unique_ptr<Private> d;
};
