// Tavix CallerID: SIGTERM, SIGINT and SIGHUP, or the end of a Windows session, close the
// program the way the user would.
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// Turns the signals into a call of `onSignal` on the GUI thread (self-pipe), so that a
// session ending or `kill` runs the normal shutdown: the LED goes off and the device is freed.
// On Windows `onSignal` is called when the session ends, before Windows ends the process.
class TerminationSignals : public QObject
{
    Q_OBJECT

  public:
    explicit TerminationSignals(std::function<void()> onSignal, QObject* parent = nullptr);
    ~TerminationSignals() override;

  private:
    std::function<void()> m_onSignal;
    QSocketNotifier* m_notifier = nullptr;
};
