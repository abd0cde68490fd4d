// Tavix CallerID: the program's icon in the desktop's system tray.
#pragma once

#include "desktop/TrayToolTip.h"

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

class CallerIdCore;
class QAction;

// Its tooltip tells the four lines' state and the last caller; a click shows the windows. Its
// menu: "Show the windows", "Calls…" (once something shows the calls), "Settings…", "Quit".
class TrayIcon : public QObject
{
    Q_OBJECT

  public:
    explicit TrayIcon(CallerIdCore& core, QObject* parent = nullptr);

    QSystemTrayIcon& icon() { return m_icon; }
    QMenu& menu() { return m_menu; }

    void setCallsEntryShown(bool shown);

  signals:
    void windowsWanted();
    void callsWanted();
    void settingsWanted();
    void quitWanted();

  private:
    void updateToolTip();

    CallerIdCore& m_core;
    QMenu m_menu;
    QAction* m_calls = nullptr;
    QSystemTrayIcon m_icon;
    TrayToolTip m_toolTip;
};
