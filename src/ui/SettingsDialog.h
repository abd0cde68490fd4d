// Tavix CallerID: the Settings dialog.
#pragma once

#include <QDialog>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

class ConnectionCheck;
struct ConnectionReport;
class QLineEdit;
class QProgressBar;
class QPushButton;

class LogonStart;
class MessageBoxes;
class QCheckBox;
class QGroupBox;
class QLabel;
class QVBoxLayout;

// One group box per subject, top to bottom, above OK and Cancel. OK saves what was changed and
// closes; what cannot be saved is said in a message box and the dialog stays open with it.
class SettingsDialog : public QDialog
{
    Q_OBJECT

  public:
    static constexpr const char* kTitle = "Tavix CallerID \u2014 Settings";

    SettingsDialog(LogonStart& logonStart, bool notificationsOn, MessageBoxes& boxes,
                   QWidget* parent = nullptr);
    // Cancels a check that is running, and waits for its thread (which ends at once).
    ~SettingsDialog() override;

    // How OK saves the web application's host and authority file, both or neither
    // (SettingsError): the core's, so that the next caller is sent with them. Until set, the
    // settings store's alone.
    using WebApplicationSaver = std::function<void(const QString& host, const QString& caFile)>;
    void setWebApplicationSaver(WebApplicationSaver save)
    {
        m_saveWebApplication = std::move(save);
    }
    // A check's time-out; a caller's request's unless a test says otherwise.
    void setCheckTimeout(std::chrono::milliseconds timeout) { m_checkTimeout = timeout; }

    // The group boxes, in their order: a subject of its own goes in here.
    QVBoxLayout& sections() const { return *m_sections; }

    void accept() override;
    void done(int result) override;

  signals:
    // Saved: in effect for the next caller.
    void notificationsChanged(bool on);

  private:
    QGroupBox* createWebApplicationSection();
    void chooseCaFile();
    void startCheck();
    void stopCheck();
    void showCheckResult(std::uint64_t number, const ConnectionReport& report);
    void showChecking(bool running);
    void showCheckText(const QString& text);
    // Why the typed host and file are not to be saved or checked, or empty.
    QString webApplicationProblem() const;
    bool saveWebApplication();
    QGroupBox* createDesktopSection();
    void showLogonStart();
    bool saveLogonStart();
    bool saveNotifications();
    void warn(const QString& text);

    LogonStart& m_logonStart;
    MessageBoxes& m_boxes;
    bool m_notificationsOn;
    QVBoxLayout* m_sections = nullptr;
    QCheckBox* m_startAtLogon = nullptr;
    QLabel* m_startsForEveryone = nullptr;
    QCheckBox* m_notifications = nullptr;

    WebApplicationSaver m_saveWebApplication;
    QString m_savedHost;
    QString m_savedCaFile;
    QString m_defaultHost; // where callers go while the host is left empty
    QLineEdit* m_host = nullptr;
    QLineEdit* m_caFile = nullptr;
    QPushButton* m_checkButton = nullptr;
    QPushButton* m_cancelCheckButton = nullptr;
    QProgressBar* m_checkProgress = nullptr;
    QLabel* m_checkResult = nullptr;
    std::chrono::milliseconds m_checkTimeout;
    std::unique_ptr<ConnectionCheck> m_check;
    // Of the check running; a result of an earlier one is not shown.
    std::uint64_t m_checkNumber = 0;
};
