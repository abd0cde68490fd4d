// Tavix CallerID: the two windows over the program's core: their lifetimes, and closing from
// anywhere.
#include "ui/CallerIdApp.h"

#include "desktop/NotificationSetting.h"
#include "log/ActivityLog.h"
#include "monitor/CallerIdCore.h"
#include "notify/LoginStore.h"
#include "ui/Artwork.h"
#include "ui/CallsWindow.h"
#include "ui/DiagnosticsWindow.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"
#include "ui/SettingsDialog.h"
#include "ui/TrayIcon.h"

#include <QApplication>
#include <QDialog>
#include <QIcon>
#include <QMetaMethod>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>

// Resources of a static library are linked in only when something refers to them.
static void initResources()
{
    Q_INIT_RESOURCE(tavix_ui);
}

namespace {

// How often a shutdown request looks again whether the boxes' event loops have returned.
constexpr int kShutdownRetryMs = 10;

// Closes message boxes, dialogs and menus, each of which runs an event loop of its own.
void dismissModalWindows()
{
    // Bounded: a window that does not go must not keep the program from ending.
    for (int i = 0; i < 32; ++i) {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        else if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->reject();
        else if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
        else
            return;
    }
}

// The compiled-in PNGs of share/icons, every size.
QIcon applicationIcon()
{
    initResources();
    QIcon icon;
    // Read as PNG by name: Qt's own reader, without asking every image plugin about the file.
    for (int size : Artwork::kIconSizes)
        icon.addPixmap(
            QPixmap(QStringLiteral(":/icons/%1x%1/tavix-callerid.png").arg(size), "PNG"));
    return icon;
}

} // namespace

CallerIdApp::CallerIdApp(CallerIdCore& core, std::unique_ptr<MessageBoxes> boxes,
                         std::unique_ptr<DesktopNotifier> notifier)
    : m_core(core), m_boxes(boxes ? std::move(boxes) : std::make_unique<MessageBoxes>()),
      m_logonStart(QCoreApplication::applicationFilePath()),
      m_notifier(notifier ? std::move(notifier) : std::make_unique<DesktopNotifier>()),
      m_notifications(core, *m_notifier)
{
    QApplication::setWindowIcon(applicationIcon());
    connect(&m_core, &CallerIdCore::logFailing, this, &CallerIdApp::logFailing);
    connect(&m_core, &CallerIdCore::logWritingAgain, this, [this] { m_boxes->closeNotice(); });
    // Also what shows the tray's entry.
    connect(this, &CallerIdApp::callsWanted, this, &CallerIdApp::showCallsWindow);
}

CallerIdApp::~CallerIdApp()
{
    // Windows still there when the owner goes (after the event loop has ended, or in a test)
    // refer to it, so they go first; their unload steps do not run again.
    delete m_settings.data();
    delete m_calls.data();
    delete m_diagnostics.data();
    delete m_main.data();
}

void CallerIdApp::start()
{
    DiagnosticsWindow& form = loadDiagnosticsWindow();
    form.show();
    form.raise();
    form.activateWindow();
    m_notifications.setEnabled(NotificationSetting::read(LoginStore()));
    // Main may have been made before the calls list was opened.
    watchCallHistory();
    // Where the desktop has no tray, nothing changes.
    if (QSystemTrayIcon::isSystemTrayAvailable())
        showTrayIcon();
}

void CallerIdApp::showTrayIcon()
{
    if (m_tray)
        return;
    m_tray = std::make_unique<TrayIcon>(m_core);
    connect(m_tray.get(), &TrayIcon::windowsWanted, this, &CallerIdApp::showWindows);
    connect(m_tray.get(), &TrayIcon::callsWanted, this, &CallerIdApp::callsWanted);
    connect(m_tray.get(), &TrayIcon::settingsWanted, this, &CallerIdApp::showSettingsDialog);
    // Also from inside a message box's event loop, as a termination signal is.
    connect(m_tray.get(), &TrayIcon::quitWanted, this, &CallerIdApp::requestShutdown);
    showCallsEntry();
    m_tray->icon().show();
    m_notifier->setTrayIcon(&m_tray->icon());
}

void CallerIdApp::showCallsEntry()
{
    if (m_tray)
        m_tray->setCallsEntryShown(
            isSignalConnected(QMetaMethod::fromSignal(&CallerIdApp::callsWanted)));
}

// Called while Qt holds the connection lists, which isSignalConnected() needs: looked at once
// the connection is made or gone.
void CallerIdApp::connectNotify(const QMetaMethod& signal)
{
    if (signal == QMetaMethod::fromSignal(&CallerIdApp::callsWanted))
        QMetaObject::invokeMethod(this, &CallerIdApp::showCallsEntry, Qt::QueuedConnection);
}

void CallerIdApp::disconnectNotify(const QMetaMethod& signal)
{
    connectNotify(signal);
}

void CallerIdApp::showSettingsDialog()
{
    if (!m_settings) {
        // Main's own: it goes when main closes, which ends the program.
        m_settings =
            new SettingsDialog(m_logonStart, m_notifications.isEnabled(), *m_boxes, mainWindow());
        m_settings->setAttribute(Qt::WA_DeleteOnClose);
        m_settings->setWebApplicationSaver([this](const QString& host, const QString& caFile) {
            m_core.saveWebApplication(host, caFile);
        });
        connect(m_settings, &SettingsDialog::notificationsChanged, &m_notifications,
                &CallNotifications::setEnabled);
    }
    m_settings->show();
    m_settings->raise();
    m_settings->activateWindow();
}

void CallerIdApp::watchCallHistory()
{
    CallHistory* history = m_core.callHistory();
    if (history != m_watched) {
        if (m_watched)
            disconnect(m_watched, nullptr, this, nullptr);
        m_watched = history;
        // One count of the stored calls, not a read of the list: start-up stays as quick.
        if (history) {
            connect(history, &CallHistory::added, this, &CallerIdApp::showMissedCalls);
            connect(history, &CallHistory::changed, this, &CallerIdApp::showMissedCalls);
            connect(history, &CallHistory::allSeen, this, &CallerIdApp::showMissedCalls);
        }
    }
    showMissedCalls();
}

void CallerIdApp::showMissedCalls()
{
    if (MainWindow* main = mainWindow())
        main->setMissedCalls(m_watched && m_watched->isOpen() ? m_watched->unseenMissedCount() : 0);
}

void CallerIdApp::showCallsWindow()
{
    watchCallHistory();
    CallHistory* history = m_core.callHistory();
    if (!history || !history->isOpen()) {
        m_boxes->information(noticeParent(), QString::fromUtf8(CallsWindow::kTitle),
                             QStringLiteral("There is no calls list: its file could not be opened "
                                            "or made. The activity log has every call."));
        return;
    }
    if (!m_calls) {
        // Main's own, as the Settings dialog is: it goes when main closes.
        m_calls = new CallsWindow(
            *history, [this](CallRecord::Id id) { return m_core.sendAgain(id); }, *m_boxes,
            mainWindow());
        m_calls->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_calls->setWindowState(m_calls->windowState() & ~Qt::WindowMinimized);
    m_calls->show();
    m_calls->raise();
    m_calls->activateWindow();
    history->markAllSeen();
}

void CallerIdApp::showWindows()
{
    // Once main has closed, the program is ending: nothing is made again.
    QList<QWidget*> windows;
    if (MainWindow* main = mainWindow())
        windows.append(main);
    if (DiagnosticsWindow* form = diagnosticsWindow())
        windows.append(form);
    for (QWidget* window : windows) {
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->show();
        window->raise();
        window->activateWindow();
    }
}

MainWindow& CallerIdApp::ensureMainWindow()
{
    if (MainWindow* loaded = mainWindow())
        return *loaded;
    m_main = new MainWindow(m_core, *m_boxes);
    connect(m_main, &MainWindow::diagnosticsWanted, this, &CallerIdApp::showDiagnosticsWindow);
    connect(m_main, &MainWindow::settingsWanted, this, &CallerIdApp::showSettingsDialog);
    connect(m_main, &MainWindow::callsWanted, this, &CallerIdApp::showCallsWindow);
    connect(m_main, &MainWindow::diagnosticsUnloadWanted, this,
            &CallerIdApp::unloadDiagnosticsWindow);
    m_main->load();
    watchCallHistory();
    return *m_main;
}

DiagnosticsWindow& CallerIdApp::loadDiagnosticsWindow()
{
    if (DiagnosticsWindow* loaded = diagnosticsWindow())
        return *loaded;
    // A window unloaded earlier is on its way out; loading again means a new one.
    auto* window = new DiagnosticsWindow(m_core, *m_boxes);
    connect(window, &DiagnosticsWindow::mainWindowWanted, this,
            [this] { ensureMainWindow().show(); });
    m_diagnostics = window;
    try {
        window->load();
    } catch (...) {
        delete window;
        throw;
    }
    return *window;
}

void CallerIdApp::unloadDiagnosticsWindow()
{
    DiagnosticsWindow* loaded = diagnosticsWindow();
    if (!loaded)
        return;
    // Inside another event loop (a box's), closing would delete the window under whatever
    // opened that loop: it is only unloaded now, and closed with main later.
    if (QThread::currentThread()->loopLevel() > 1)
        loaded->unload();
    else
        loaded->close();
}

void CallerIdApp::closeMainWindow()
{
    // Made while main was away, the dialog is nobody's child: it would keep the program open.
    if (m_settings && !m_settings->parent())
        m_settings->close();
    if (m_calls && !m_calls->parent())
        m_calls->close();
    if (m_main)
        m_main->close();
    // Form1 goes too wherever main's unload step left it open: unloaded inside a box's loop, or
    // not reached at all when main is gone.
    if (m_diagnostics && (m_diagnostics->isLoaded() || m_diagnostics->isVisible()))
        m_diagnostics->close();
}

void CallerIdApp::requestShutdown()
{
    dismissModalWindows();
    // A box's event loop runs on the stack of the window that opened it: closing main from
    // inside it would delete main under its own feet. The outermost loop is level 1. The device
    // is released at once all the same: a session's end may not wait for the loops to return.
    if (QThread::currentThread()->loopLevel() > 1) {
        if (MainWindow* loaded = mainWindow())
            loaded->unload();
        else
            unloadDiagnosticsWindow();
        QTimer::singleShot(kShutdownRetryMs, this, &CallerIdApp::requestShutdown);
        return;
    }
    m_boxes->closeNotice();
    closeMainWindow();
}

void CallerIdApp::showDiagnosticsWindow()
{
    try {
        DiagnosticsWindow& form = loadDiagnosticsWindow();
        form.show();
        form.raise();
        form.activateWindow();
    } catch (const std::exception& error) {
        m_boxes->warning(noticeParent(), QString::fromLatin1(MainWindow::kTitle),
                         QString::fromStdString(error.what()));
    }
}

void CallerIdApp::logFailing(const QString& reason)
{
    const QString text =
        QStringLiteral("Tavix CallerID cannot write its activity log:\n\n%1\n\nCallers are "
                       "still shown and sent to the web application. Their log entries are lost "
                       "until the log can be written again.")
            .arg(reason);
    // Not in the middle of what failed to log, which may be start-up or an event.
    QTimer::singleShot(0, this, [this, text] {
        if (!m_core.log().writable())
            m_boxes->showNotice(noticeParent(), QString::fromLatin1(MainWindow::kTitle), text);
    });
}

QWidget* CallerIdApp::noticeParent() const
{
    if (MainWindow* window = mainWindow())
        return window;
    return diagnosticsWindow();
}

MainWindow* CallerIdApp::mainWindow() const
{
    return m_main && m_main->isLoaded() ? m_main.data() : nullptr;
}

DiagnosticsWindow* CallerIdApp::diagnosticsWindow() const
{
    return m_diagnostics && m_diagnostics->isLoaded() ? m_diagnostics.data() : nullptr;
}

SettingsDialog* CallerIdApp::settingsDialog() const
{
    return m_settings.data();
}

CallsWindow* CallerIdApp::callsWindow() const
{
    return m_calls.data();
}
