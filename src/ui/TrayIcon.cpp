// Tavix CallerID: the program's icon in the desktop's system tray.
#include "ui/TrayIcon.h"

#include "monitor/CallerIdCore.h"

#include <QAction>
#include <QApplication>
#include <QTime>

TrayIcon::TrayIcon(CallerIdCore& core, QObject* parent)
    : QObject(parent), m_core(core), m_icon(QApplication::windowIcon())
{
    setObjectName(QStringLiteral("tray"));
    m_icon.setObjectName(QStringLiteral("trayIcon"));
    m_menu.setObjectName(QStringLiteral("trayMenu"));
    const auto add = [this](const char* name, const QString& text, void (TrayIcon::*wanted)()) {
        QAction* action = m_menu.addAction(text, this, wanted);
        action->setObjectName(QLatin1String(name));
        return action;
    };
    add("actShowWindows", QStringLiteral("Show the windows"), &TrayIcon::windowsWanted);
    m_calls = add("actCalls", QStringLiteral("Calls\u2026"), &TrayIcon::callsWanted);
    m_calls->setVisible(false);
    add("actSettings", QStringLiteral("Settings\u2026"), &TrayIcon::settingsWanted);
    m_menu.addSeparator();
    add("actQuit", QStringLiteral("Quit"), &TrayIcon::quitWanted);
    m_icon.setContextMenu(&m_menu);

    connect(&m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    emit windowsWanted();
            });
    LineStatusModel& lines = m_core.lineStatus();
    connect(&lines, &LineStatusModel::dataChanged, this, &TrayIcon::updateToolTip);
    connect(&lines, &LineStatusModel::modelReset, this, &TrayIcon::updateToolTip);
    connect(&m_core, &CallerIdCore::callerArrived, this, [this](const IncomingCaller& caller) {
        m_toolTip.setLastCaller(caller, QTime::currentTime());
        updateToolTip();
    });
    updateToolTip();
}

void TrayIcon::setCallsEntryShown(bool shown)
{
    m_calls->setVisible(shown);
}

void TrayIcon::updateToolTip()
{
    m_icon.setToolTip(m_toolTip.text(m_core.lineStatus()));
}
