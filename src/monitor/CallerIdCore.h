// Tavix CallerID: the program without its windows: line monitoring, the web notification and
// what the two windows show.
#pragma once

#include "log/LogObserver.h"
#include "monitor/CallHistory.h"
#include "monitor/CallTracker.h"
#include "monitor/DeviceEventHandler.h"
#include "monitor/LineStatusModel.h"
#include "notify/CallNotifier.h"
#include "notify/LoginStore.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

class ActivityLog;
class DeviceLibrary;
class DeviceWindow;

// A caller ID as the box gave it, with its web notification as it stood then.
struct IncomingCaller
{
    int32_t line = 0;
    // Latin-1, as the box's texts are, without the NUL fill.
    QString number;
    QString name;
    QString time;
    CallNotifier::CallId call = 0;
    CallDelivery delivery;
};

// Owns the opened device with its window and event handler, the line status table, the web
// notifier with the login it sends, and CurrentLine. The windows drive it through the steps
// below, in the order the program has them, and show what it reports by its signals. It is told
// when the activity log stops and starts taking entries, and says so on standard error and by a
// signal.
class CallerIdCore : public QObject, public DeviceEventListener, public LogObserver
{
    Q_OBJECT

  public:
    CallerIdCore(DeviceLibrary& device, const ActivityLog& log, QObject* parent = nullptr);
    ~CallerIdCore() override;

    DeviceLibrary& device() const { return m_device; }
    const ActivityLog& log() const { return m_log; }
    LineStatusModel& lineStatus() { return m_lineStatus; }

    // Start-up, as the diagnostics window's load step runs it. None catches an error.
    // Four fresh rows in the line status table.
    void buildLineTable();
    // Puts DeviceWindowProc in the chain of `nativeWindow` (see DeviceWindow) and opens the
    // device with the window's handle: AD101_InitDevice, then AD101_GetDevice. From here on
    // device events are handled.
    void openDevice(std::uintptr_t nativeWindow);
    // The LED of CurrentLine green, and the entry that says so.
    void lightCurrentLine();

    // Shutdown. Stops handling device events, frees the device, then lets its window go; what
    // made AD101_FreeDevice fail is returned rather than thrown, empty when it did not.
    std::string closeDevice();
    // The LED of CurrentLine off.
    void switchOffCurrentLine();
    // Drops the web requests still waiting for a reply, one log entry each, and marks their
    // calls Abandoned; for closing.
    void abandonPendingCalls();

    // Opens the calls list in `file` (see CallHistory::open) and keeps every call in it from
    // here on; calls a crash left Pending become Abandoned, and the list is pruned soon after
    // start and then daily. Returns the text to tell the user, also sent as
    // callHistoryProblem(); empty when all was well. The program runs the same without a list.
    QString openCallHistory(const QString& file);
    // Null before openCallHistory(); closed when the file could not be used.
    CallHistory* callHistory() const { return m_history.get(); }
    // For a call the web application did not get (CallRecord::canSendAgain): sends its caller
    // once more, with the login saved now, and records the new outcome. Returns false, and
    // does nothing, for any other call or before the settings are loaded.
    bool sendAgain(CallRecord::Id id);

    // From openDevice() until closeDevice(); null otherwise.
    DeviceWindow* deviceWindow() const { return m_deviceWindow.get(); }
    AD101WindowHandle deviceWindowHandle() const;

    // Reads the saved login and the web application's settings into memory and sets up the
    // notifier with them. Returns what kept the settings from being read (the values then stay
    // empty), or an empty text.
    QString loadSettings();
    // Saves both or neither (SettingsError), then reads back what the store holds.
    void saveLogin(const QString& user, const QString& password);
    // The saved login as last read: what callers are sent with.
    const QString& LoginUser() const { return m_loginUser; }
    const QString& LoginPassword() const { return m_loginPassword; }

    // The diagnostics window's "Show Phone Dialed Number" tick.
    void setShowPhoneNumber(bool shown) { m_showPhoneNumber = shown; }

    // The line of the LED commands at start-up and shutdown; only LightOn and LightOff set it.
    int32_t CurrentLine() const { return m_currentLine; }
    // Whether the line's lamp is lit; false for a line without one.
    bool lampLit(int32_t line) const;

    // A line outside -32768..32767 throws std::overflow_error, one with no lamp
    // std::out_of_range; CurrentLine is set either way.
    void LightOn(int32_t line) override;
    void LightOff(int32_t line) override;
    // Sends the saved login, never what is typed but not saved. Needs the settings loaded.
    void SendCall(const std::string& callerID, const std::string& line) override;
    bool showPhoneNumberTicked() const override { return m_showPhoneNumber; }
    // Reported by timingParametersReported; throws std::out_of_range for a line the line
    // selector has no entry for.
    void showTimingParameters(int32_t line, const AD101TimingParameters& record) override;
    void lineEvent(const LineEvent& event) noexcept override;

    void logUnwritable(const std::string& reason) override;
    void logWritableAgain() override;

  signals:
    void lampSwitched(int line, bool lit);
    // A caller ID was handled and its web notification started (or refused).
    void callerArrived(const IncomingCaller& caller);
    // A caller's pending web notification ended: sent, failed or abandoned.
    void callDelivered(CallNotifier::CallId call, const CallDelivery& delivery);
    // A setting keeps callers from being sent (a host that is not one, an unusable authority
    // file): the text for a message to the user, once per problem.
    void settingsProblem(const QString& text);
    void timingParametersReported(int line, const AD101TimingParameters& record);
    // The log's entries are being lost: the file and the system's reason.
    void logFailing(const QString& reason);
    void logWritingAgain();
    // The calls list cannot be used or written: the text for a message to the user.
    void callHistoryProblem(const QString& text);

  private:
    // The tracker's calls go into the history while one is open.
    class HistoryStore : public CallStore
    {
      public:
        explicit HistoryStore(const std::unique_ptr<CallHistory>& history) : m_history(history) {}
        CallRecord::Id add(const CallRecord& record) override;
        void update(const CallRecord& record) override;
        CallRecord find(CallRecord::Id id) const override;

      private:
        const std::unique_ptr<CallHistory>& m_history;
    };

    void switchLamp(int32_t line, bool lit);
    void recordDelivery(CallNotifier::CallId call, const CallDelivery& delivery);
    void prune();

    DeviceLibrary& m_device;
    const ActivityLog& m_log;
    LineStatusModel m_lineStatus;
    std::unique_ptr<DeviceWindow> m_deviceWindow;
    std::unique_ptr<DeviceEventHandler> m_handler;

    LoginStore m_store;
    QString m_loginUser;
    QString m_loginPassword;
    // Inet1: the transfer of the web notification.
    std::unique_ptr<CallNotifier> m_notifier;
    // The web notification SendCall started last, for the caller ID event that follows it.
    CallNotifier::Started m_lastCall{};

    std::unique_ptr<CallHistory> m_history;
    HistoryStore m_calls{m_history};
    CallTracker m_tracker{m_calls};
    // Pending web notifications by the notifier's global id, for the call each belongs to.
    std::map<CallNotifier::CallId, CallRecord::Id> m_deliveries;
    QTimer m_pruning;

    int32_t m_currentLine = 0;
    std::array<bool, kLineCount> m_lamps{};
    bool m_showPhoneNumber = false;
};
