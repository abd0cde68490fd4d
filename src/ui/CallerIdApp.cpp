// Tavix CallerID: the program's owner of its two windows and of what they share.
#include "ui/CallerIdApp.h"

#include "ui/Artwork.h"
#include "ui/DiagnosticsWindow.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>

// Resources of a static library are linked in only when something refers to them.
static void initResources()
{
    Q_INIT_RESOURCE(tavix_ui);
}

namespace {

// The compiled-in PNGs of share/icons, every size.
QIcon applicationIcon()
{
    initResources();
    QIcon icon;
    // Read as PNG by name: Qt's own reader, without asking every image plugin about the file.
    for (int size : Artwork::kIconSizes)
        icon.addPixmap(QPixmap(QStringLiteral(":/icons/%1x%1/tavix-callerid.png").arg(size), "PNG"));
    return icon;
}

} // namespace

CallerIdApp::CallerIdApp(DeviceLibrary& device, const ActivityLog& log,
                         std::unique_ptr<MessageBoxes> boxes)
    : m_device(device), m_log(log),
      m_boxes(boxes ? std::move(boxes) : std::make_unique<MessageBoxes>())
{
    QApplication::setWindowIcon(applicationIcon());
}

CallerIdApp::~CallerIdApp()
{
    // Windows still there when the owner goes (after the event loop has ended, or in a test)
    // refer to it, so they go first; their unload steps do not run again.
    delete m_diagnostics.data();
    delete m_main.data();
}

void CallerIdApp::start()
{
    DiagnosticsWindow& form = loadDiagnosticsWindow();
    form.show();
    form.raise();
    form.activateWindow();
}

MainWindow& CallerIdApp::ensureMainWindow()
{
    if (MainWindow* loaded = mainWindow())
        return *loaded;
    m_main = new MainWindow(*this);
    m_main->load();
    return *m_main;
}

DiagnosticsWindow& CallerIdApp::loadDiagnosticsWindow()
{
    if (DiagnosticsWindow* loaded = diagnosticsWindow())
        return *loaded;
    // A window unloaded earlier is on its way out; loading again means a new one.
    auto* window = new DiagnosticsWindow(*this);
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
    if (DiagnosticsWindow* loaded = diagnosticsWindow())
        loaded->close();
}

void CallerIdApp::closeMainWindow()
{
    if (MainWindow* loaded = mainWindow())
        loaded->close();
    else
        unloadDiagnosticsWindow();
}

MainWindow* CallerIdApp::mainWindow() const
{
    return m_main && m_main->isLoaded() ? m_main.data() : nullptr;
}

DiagnosticsWindow* CallerIdApp::diagnosticsWindow() const
{
    return m_diagnostics && m_diagnostics->isLoaded() ? m_diagnostics.data() : nullptr;
}

void CallerIdApp::LightOn(int32_t line)
{
    ensureMainWindow().LightOn(line);
}

void CallerIdApp::LightOff(int32_t line)
{
    ensureMainWindow().LightOff(line);
}

void CallerIdApp::SendCall(const std::string& callerID, const std::string& line)
{
    ensureMainWindow().SendCall(callerID, line);
}
