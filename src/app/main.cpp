// Tavix CallerID: program entry. Everything is connected here.
#include "app/ProcessProtection.h"
#include "app/SingleInstance.h"
#include "app/TerminationSignals.h"
#include "device/DeviceLibrary.h"
#include "log/ActivityLog.h"
#include "monitor/CallerIdCore.h"
#include "platform/UserFolders.h"
#include "ui/CallerIdApp.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

// The message goes to standard error always, and into a box where someone can see one.
void report(QMessageBox::Icon icon, const QString& text)
{
    std::fprintf(stderr, "tavix-callerid: %s\n", qPrintable(text));
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return;
    QMessageBox box(icon, QString::fromLatin1(MainWindow::kTitle), text, QMessageBox::Ok);
    box.exec();
}

} // namespace

int main(int argc, char* argv[])
{
    // Before anything reads the password into memory.
    protectProcess();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tavix"));
    QApplication::setApplicationName(QStringLiteral("tavix-callerid"));

    SingleInstance instance;
    try {
        if (!instance.acquire()) {
            report(QMessageBox::Information,
                   QStringLiteral("Tavix CallerID is already running for this user."));
            return 1;
        }
    } catch (const std::exception& e) {
        report(QMessageBox::Critical, QString::fromLocal8Bit(e.what()));
        return 1;
    }

    std::unique_ptr<ActivityLog> log;
    try {
        log = std::make_unique<ActivityLog>();
    } catch (const std::exception& e) {
        report(QMessageBox::Critical, QString::fromLocal8Bit(e.what()));
        return 1;
    }
    DeviceLibrary device;
    CallerIdCore core(device, *log);
    log->setObserver(&core);
    CallerIdApp program(core);
    TerminationSignals termination([&program] { program.requestShutdown(); });

    // The calls list is a convenience: without it the program monitors and notifies as ever.
    // What is wrong with it is said once the windows are up, never as a reason not to start.
    const auto tellLater = [&app](const QString& text) {
        QTimer::singleShot(0, &app, [text] { report(QMessageBox::Warning, text); });
    };
    QObject::connect(&core, &CallerIdCore::callHistoryProblem, &app, tellLater);
    try {
        const auto file = UserFolders::programFolder() / "calls.sqlite";
        core.openCallHistory(QString::fromStdU16String(file.u16string()));
    } catch (const std::exception& e) {
        tellLater(QStringLiteral("Calls are not kept: %1").arg(QString::fromLocal8Bit(e.what())));
    }

    try {
        // A library that lacks an entry is refused before the device is opened.
        device.resolveAll();
        program.start();
    } catch (const std::exception& e) {
        report(QMessageBox::Critical, QStringLiteral("Tavix CallerID could not start:\n%1")
                                          .arg(QString::fromLocal8Bit(e.what())));
        return 1;
    }
    return app.exec();
}
