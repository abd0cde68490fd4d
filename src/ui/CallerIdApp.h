// Tavix CallerID: the two windows over the program's core: their lifetimes, and closing from
// anywhere; the settings, the tray icon and the callers' notifications.
#pragma once

#include "desktop/LogonStart.h"
#include "ui/CallNotifications.h"
#include "ui/DesktopNotifier.h"
#include "ui/MessageBoxes.h"

#include "monitor/CallHistory.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class CallerIdCore;
class CallsWindow;
class DiagnosticsWindow;
class MainWindow;
class SettingsDialog;
class TrayIcon;

// Creates each window on its first use and connects it to the core and to the other window.
// It tells the user when the activity log cannot be written.
class CallerIdApp : public QObject
{
    Q_OBJECT

  public:
    // Sets the application icon. `boxes` null: real, modal message boxes; `notifier` null: the
    // desktop's notification service.
    explicit CallerIdApp(CallerIdCore& core, std::unique_ptr<MessageBoxes> boxes = nullptr,
                         std::unique_ptr<DesktopNotifier> notifier = nullptr);
    ~CallerIdApp() override;
    CallerIdApp(const CallerIdApp&) = delete;
    CallerIdApp& operator=(const CallerIdApp&) = delete;

    // Loads Form1, which runs the whole start-up and shows main, then shows Form1 in front of
    // main. Start-up catches no error: a DeviceError comes out of here (the log reports its own
    // failures to its observer). Then the tray icon, where the desktop has a tray.
    void start();

    // The main window, created and loaded (not shown) if there is none.
    MainWindow& ensureMainWindow();
    // Form1, created and loaded (start-up runs) if it is not loaded; not shown.
    DiagnosticsWindow& loadDiagnosticsWindow();
    // Runs Form1's unload step if Form1 is loaded; nothing otherwise.
    void unloadDiagnosticsWindow();
    // Closes main as the user would, which ends the program.
    void closeMainWindow();
    // The same for a termination signal, from wherever the event loop is: message boxes and
    // dialogs are dismissed first and the device released at once; the windows are closed once
    // the boxes' event loops have returned.
    void requestShutdown();

    // The tray icon, made once; start() shows it where the desktop has a tray.
    void showTrayIcon();
    // The Settings dialog, made on first use, in front; one at a time.
    void showSettingsDialog();
    // Main, and Form1 in front of it, while they are loaded: brought back from wherever they are.
    void showWindows();
    // The Calls window, made (and the history read) only when first asked for; one at a time,
    // in front. Opening it marks the missed calls seen.
    void showCallsWindow();

    // Null when the window does not exist or has been unloaded.
    MainWindow* mainWindow() const;
    DiagnosticsWindow* diagnosticsWindow() const;
    SettingsDialog* settingsDialog() const;
    CallsWindow* callsWindow() const;
    // Null where the desktop has no tray.
    TrayIcon* trayIcon() const { return m_tray.get(); }
    CallNotifications& callNotifications() { return m_notifications; }

    // Where start at log-on is kept; the system's own places unless changed (for tests).
    void setLogonStart(const LogonStart& logonStart) { m_logonStart = logonStart; }

    CallerIdCore& core() const { return m_core; }
    MessageBoxes& messageBoxes() const { return *m_boxes; }

  signals:
    // The tray menu's "Calls…", which shows only while something is connected here.
    void callsWanted();

  protected:
    void connectNotify(const QMetaMethod& signal) override;
    void disconnectNotify(const QMetaMethod& signal) override;

  private:
    void showDiagnosticsWindow();
    void showCallsEntry();
    // Keeps main's calls link telling the missed calls not yet seen.
    void watchCallHistory();
    void showMissedCalls();
    void logFailing(const QString& reason);
    QWidget* noticeParent() const;

    CallerIdCore& m_core;
    std::unique_ptr<MessageBoxes> m_boxes;
    QPointer<MainWindow> m_main;
    QPointer<DiagnosticsWindow> m_diagnostics;
    QPointer<SettingsDialog> m_settings;
    QPointer<CallsWindow> m_calls;
    QPointer<CallHistory> m_watched;
    LogonStart m_logonStart;
    std::unique_ptr<DesktopNotifier> m_notifier;
    CallNotifications m_notifications;
    std::unique_ptr<TrayIcon> m_tray;
};
