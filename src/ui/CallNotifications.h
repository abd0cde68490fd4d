// Tavix CallerID: a desktop notification for each caller ID.
#pragma once

#include "monitor/CallerIdCore.h"

#include <QObject>

#include <map>

class DesktopNotifier;

// While switched on, each caller ID gets a notification with its line, number and name, which
// is replaced, once the caller's web request ends, by one that says whether the web application
// got it.
class CallNotifications : public QObject
{
    Q_OBJECT

  public:
    CallNotifications(CallerIdCore& core, DesktopNotifier& notifier, QObject* parent = nullptr);

    void setEnabled(bool on) { m_enabled = on; }
    bool isEnabled() const { return m_enabled; }

  private:
    void callerArrived(const IncomingCaller& caller);
    void callDelivered(CallNotifier::CallId call, const CallDelivery& delivery);

    DesktopNotifier& m_notifier;
    bool m_enabled = true;
    // Shown, and waiting for the end of their web request.
    std::map<CallNotifier::CallId, IncomingCaller> m_waiting;
};
