// Tavix CallerID: the two windows over the program's core: their lifetimes, and closing from
// anywhere.
#pragma once

#include "ui/MessageBoxes.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class CallerIdCore;
class DiagnosticsWindow;
class MainWindow;

// Creates each window on its first use and connects it to the core and to the other window.
// It tells the user when the activity log cannot be written.
class CallerIdApp : public QObject
{
  public:
    // Sets the application icon. `boxes` null: real, modal message boxes.
    explicit CallerIdApp(CallerIdCore& core, std::unique_ptr<MessageBoxes> boxes = nullptr);
    ~CallerIdApp() override;
    CallerIdApp(const CallerIdApp&) = delete;
    CallerIdApp& operator=(const CallerIdApp&) = delete;

    // Loads Form1, which runs the whole start-up and shows main, then shows Form1 in front of
    // main. Start-up catches no error: a DeviceError comes out of here (the log reports its own
    // failures to its observer).
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

    CallerIdCore& core() const { return m_core; }
    MessageBoxes& messageBoxes() const { return *m_boxes; }

  private:
    void showDiagnosticsWindow();
    void logFailing(const QString& reason);
    QWidget* noticeParent() const;

    CallerIdCore& m_core;
    std::unique_ptr<MessageBoxes> m_boxes;
    QPointer<MainWindow> m_main;
    QPointer<DiagnosticsWindow> m_diagnostics;
};
