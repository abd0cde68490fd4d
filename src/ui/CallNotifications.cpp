// Tavix CallerID: a desktop notification for each caller ID.
#include "ui/CallNotifications.h"

#include "desktop/CallNotice.h"
#include "ui/DesktopNotifier.h"

CallNotifications::CallNotifications(CallerIdCore& core, DesktopNotifier& notifier, QObject* parent)
    : QObject(parent), m_notifier(notifier)
{
    connect(&core, &CallerIdCore::callerArrived, this, &CallNotifications::callerArrived);
    connect(&core, &CallerIdCore::callDelivered, this, &CallNotifications::callDelivered);
}

void CallNotifications::callerArrived(const IncomingCaller& caller)
{
    if (!m_enabled)
        return;
    const bool last = caller.delivery.state != CallDelivery::State::Pending;
    const CallNotice notice = CallNotice::of(caller);
    m_notifier.notify(caller.call, notice.summary, notice.body, last);
    if (!last)
        m_waiting[caller.call] = caller;
}

// A notification shown before they were switched off still tells how its caller's request ended.
void CallNotifications::callDelivered(CallNotifier::CallId call, const CallDelivery& delivery)
{
    const auto found = m_waiting.find(call);
    if (found == m_waiting.end())
        return;
    const CallNotice notice = CallNotice::of(found->second, delivery);
    m_waiting.erase(found);
    m_notifier.notify(call, notice.summary, notice.body, true);
}
