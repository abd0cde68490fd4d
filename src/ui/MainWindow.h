// Tavix CallerID: main, the program's own window: logo, line lamps and the login box.
#pragma once

#include "monitor/DeviceEvents.h"

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>

class CallerIdCore;
class LinkLabel;
class MessageBoxes;
class QLabel;
class QLineEdit;

// Closing it ends the program: it switches the current line's LED off, asks for Form1 to be
// unloaded and abandons the web requests still pending. It deletes itself when closed.
class MainWindow : public QWidget
{
    Q_OBJECT

  public:
    static constexpr const char* kTitle = "Tavix CallerID";
    static constexpr const char* kHelpText =
        "You will need to enter login details for any one of your shop's users. Remember, if you "
        "change the user's password in Tavix then you will need to update the details here too.";

    MainWindow(CallerIdCore& core, MessageBoxes& boxes);
    ~MainWindow() override;

    // The load step: the saved login and the connector settings, read at once. A settings
    // store that cannot be read is reported in a message box once start-up is over; the values
    // then stay empty.
    void load();
    // From the start of the load step until the unload step.
    bool isLoaded() const { return m_loaded; }

    // The calls link reads "Calls…", or with missed calls not yet seen "3 missed calls — Calls…".
    void setMissedCalls(int count);

    // The unload step: the LED of CurrentLine off, Form1 unloaded (diagnosticsUnloadWanted),
    // pending requests abandoned. Runs once; closing the window runs it if it has not run.
    void unload();

  signals:
    // The hidden "Show Debug" button: bring Form1 back.
    void diagnosticsWanted();
    void diagnosticsUnloadWanted();
    // The links below the help text.
    void callsWanted();
    void settingsWanted();

  protected:
    // Never refuses to close.
    void closeEvent(QCloseEvent* event) override;

  private:
    void createControls();
    // A link of the row below the help text.
    LinkLabel* addLink(const QString& name, const QRect& geometry);
    void showLogin();
    void saveLogin();
    void showLamp(int line, bool lit);
    void warn(const QString& text);

    CallerIdCore& m_core;
    MessageBoxes& m_boxes;
    bool m_loaded = false;

    QLineEdit* m_username = nullptr;
    QLineEdit* m_password = nullptr;
    std::array<QLabel*, kLineCount> m_onLights{};
    LinkLabel* m_callsLink = nullptr;
};
