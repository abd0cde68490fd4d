// Tavix CallerID: the Settings dialog.
#pragma once

#include <QDialog>
#include <QString>

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

    // The group boxes, in their order: a subject of its own goes in here.
    QVBoxLayout& sections() const { return *m_sections; }

    void accept() override;

  signals:
    // Saved: in effect for the next caller.
    void notificationsChanged(bool on);

  private:
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
};
