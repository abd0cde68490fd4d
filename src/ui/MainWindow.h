// Tavix CallerID: main, the program's own window: logo, line lamps and the login box.
#pragma once

#include "monitor/DeviceEvents.h"
#include "monitor/MonitorLinks.h"
#include "notify/LoginStore.h"

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>

class CallerIdApp;
class CallNotifier;
class QLabel;
class QLineEdit;

// Closing it ends the program: it switches the current line's LED off and unloads Form1.
// It deletes itself when closed.
class MainWindow : public QWidget, public MainWindowLink
{
    Q_OBJECT

public:
    static constexpr const char* kHelpText =
        "You will need to enter login details for any one of your shop's users. Remember, if you "
        "change the user's password in Tavix then you will need to update the details here too.";

    explicit MainWindow(CallerIdApp& app);
    ~MainWindow() override;

    // The load step: the saved login and the connector settings for the web notifier, read at
    // once. A settings store that cannot be read is reported in a message box once start-up is
    // over; the values then stay empty.
    void load();
    // From the start of the load step until the unload step.
    bool isLoaded() const { return m_loaded; }

    // Both set CurrentLine first. A line outside -32768..32767 throws std::overflow_error, one
    // with no lamp std::out_of_range.
    void LightOn(int32_t line) override;
    void LightOff(int32_t line) override;
    // Sends the saved login, never what is typed but not saved.
    void SendCall(const std::string& callerID, const std::string& line) override;

    // The saved login as last loaded.
    const QString& LoginUser() const { return m_loginUser; }
    const QString& LoginPassword() const { return m_loginPassword; }

    // The unload step: the LED of CurrentLine off, Form1 unloaded, pending requests abandoned.
    // Runs once; closing the window runs it if it has not run.
    void unload();

protected:
    // Never refuses to close.
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    // Reads the saved login into memory and the boxes; throws SettingsError.
    void LoadLogin();
    void showLogin(const QString& user, const QString& password);
    void saveLogin();
    void showDebugForm();
    void switchLamp(int32_t line, bool lit);
    void warn(const QString& text);

    CallerIdApp& m_app;
    bool m_loaded = false;
    LoginStore m_store;
    QString m_loginUser;
    QString m_loginPassword;
    // Inet1: the transfer of the web notification.
    std::unique_ptr<CallNotifier> m_notifier;

    QLineEdit* m_username = nullptr;
    QLineEdit* m_password = nullptr;
    std::array<QLabel*, kLineCount> m_onLights{};
};
