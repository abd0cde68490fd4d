// Tavix CallerID: the Settings dialog.
#include "ui/SettingsDialog.h"

#include "desktop/LogonStart.h"
#include "desktop/NotificationSetting.h"
#include "notify/LoginStore.h"
#include "ui/MessageBoxes.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

SettingsDialog::SettingsDialog(LogonStart& logonStart, bool notificationsOn, MessageBoxes& boxes,
                               QWidget* parent)
    : QDialog(parent), m_logonStart(logonStart), m_boxes(boxes), m_notificationsOn(notificationsOn)
{
    setObjectName(QStringLiteral("SettingsDialog"));
    setWindowTitle(QString::fromUtf8(kTitle));

    auto* layout = new QVBoxLayout(this);
    m_sections = new QVBoxLayout;
    layout->addLayout(m_sections);
    m_sections->addWidget(createDesktopSection());
    layout->addStretch();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttonBox"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btnOk"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btnCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &SettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SettingsDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

QGroupBox* SettingsDialog::createDesktopSection()
{
    auto* group = new QGroupBox(QStringLiteral("On this computer"), this);
    group->setObjectName(QStringLiteral("grpDesktop"));
    auto* layout = new QVBoxLayout(group);

    m_startAtLogon = new QCheckBox(QStringLiteral("Start at log-on"), group);
    m_startAtLogon->setObjectName(QStringLiteral("chkStartAtLogon"));
    layout->addWidget(m_startAtLogon);
    m_startsForEveryone = new QLabel(
        QStringLiteral("The installer has set Tavix CallerID to start for every user of this "
                       "computer. To change that, run the installer again as an administrator."),
        group);
    m_startsForEveryone->setObjectName(QStringLiteral("lblStartsForEveryone"));
    m_startsForEveryone->setWordWrap(true);
    layout->addWidget(m_startsForEveryone);
    showLogonStart();

    m_notifications = new QCheckBox(QStringLiteral("Show a notification for each caller"), group);
    m_notifications->setObjectName(QStringLiteral("chkNotifications"));
    m_notifications->setChecked(m_notificationsOn);
    layout->addWidget(m_notifications);
    return group;
}

void SettingsDialog::showLogonStart()
{
    // The machine-wide entry is the installer's to change: the box shows it, read-only.
    const bool everyone = m_logonStart.startsForEveryone();
    m_startAtLogon->setChecked(everyone || m_logonStart.isEnabled());
    m_startAtLogon->setEnabled(!everyone);
    m_startsForEveryone->setVisible(everyone);
}

void SettingsDialog::accept()
{
    if (!saveLogonStart() || !saveNotifications())
        return;
    QDialog::accept();
}

bool SettingsDialog::saveLogonStart()
{
    const bool wanted = m_startAtLogon->isChecked();
    if (!m_startAtLogon->isEnabled() || wanted == m_logonStart.isEnabled())
        return true;
    try {
        m_logonStart.setEnabled(wanted);
    } catch (const LogonStartError& error) {
        warn(QString::fromStdString(error.what()));
        return false;
    }
    return true;
}

bool SettingsDialog::saveNotifications()
{
    const bool wanted = m_notifications->isChecked();
    if (wanted == m_notificationsOn)
        return true;
    try {
        LoginStore store;
        NotificationSetting::write(store, wanted);
    } catch (const SettingsError& error) {
        warn(QString::fromStdString(error.what()));
        return false;
    }
    m_notificationsOn = wanted;
    emit notificationsChanged(wanted);
    return true;
}

void SettingsDialog::warn(const QString& text)
{
    m_boxes.warning(this, windowTitle(), text);
}
