// Tavix CallerID: the program's owner of its two windows and of what they share.
#pragma once

#include "log/LogObserver.h"
#include "monitor/MonitorLinks.h"
#include "ui/MessageBoxes.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <memory>

class ActivityLog;
class DeviceLibrary;
class DiagnosticsWindow;
class MainWindow;

// Holds the device library, the log and CurrentLine, and creates each window on its first
// use. Event handling reaches the main window through this object's MainWindowLink, so that
// a notification that needs the main window creates it (without showing it) if it is gone.
// It tells the user when the activity log cannot be written.
class CallerIdApp : public QObject, public MainWindowLink, public LogObserver
{
public:
    static constexpr const char* kTitle = "Tavix CallerID";

    // Sets the application icon. `boxes` null: real, modal message boxes.
    CallerIdApp(DeviceLibrary& device, const ActivityLog& log,
                std::unique_ptr<MessageBoxes> boxes = nullptr);
    ~CallerIdApp() override;
    CallerIdApp(const CallerIdApp&) = delete;
    CallerIdApp& operator=(const CallerIdApp&) = delete;

    // Loads Form1, which runs the whole start-up and shows main, then shows Form1 in front of
    // main. Start-up catches no error: a DeviceError comes out of here (the log
    // reports its own failures to its observer).
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

    // Null when the window does not exist or has been unloaded.
    MainWindow* mainWindow() const;
    DiagnosticsWindow* diagnosticsWindow() const;

    // The line of the LED commands at start-up and shutdown; only LightOn and LightOff set it.
    int32_t CurrentLine() const { return m_currentLine; }
    void setCurrentLine(int32_t line) { m_currentLine = line; }

    DeviceLibrary& device() const { return m_device; }
    const ActivityLog& log() const { return m_log; }
    MessageBoxes& messageBoxes() const { return *m_boxes; }

    void LightOn(int32_t line) override;
    void LightOff(int32_t line) override;
    void SendCall(const std::string& callerID, const std::string& line) override;

    void logUnwritable(const std::string& reason) override;
    void logWritableAgain() override;

private:
    QWidget* noticeParent() const;

    DeviceLibrary& m_device;
    const ActivityLog& m_log;
    std::unique_ptr<MessageBoxes> m_boxes;
    int32_t m_currentLine = 0;
    QPointer<MainWindow> m_main;
    QPointer<DiagnosticsWindow> m_diagnostics;
};
