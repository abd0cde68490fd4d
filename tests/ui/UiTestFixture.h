// Tavix CallerID tests: the program's windows over a recording device, a temporary log and
// temporary settings.
#pragma once

#include "RecordingDevice.h"
#include "TempDir.h"
#include "TestPlatform.h"

#include "desktop/LogonStart.h"
#include "device/DeviceLibrary.h"
#include "log/ActivityLog.h"
#include "monitor/CallerIdCore.h"
#include "monitor/DeviceWindow.h"
#include "ui/CallerIdApp.h"
#include "ui/DesktopNotifier.h"
#include "ui/DiagnosticsWindow.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTreeView>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

struct ShownBox
{
    enum Kind { Information, Warning, Notice, Question } kind;
    QString title;
    QString text;
};

// Keeps the boxes instead of showing them, so nothing waits for a click.
class RecordingMessageBoxes : public MessageBoxes
{
  public:
    explicit RecordingMessageBoxes(std::vector<ShownBox>& shown) : m_shown(shown) {}
    void information(QWidget*, const QString& title, const QString& text) override
    {
        m_shown.push_back({ShownBox::Information, title, text});
    }
    void warning(QWidget*, const QString& title, const QString& text) override
    {
        m_shown.push_back({ShownBox::Warning, title, text});
    }
    // Answered with `yes`.
    bool question(QWidget*, const QString& title, const QString& text) override
    {
        m_shown.push_back({ShownBox::Question, title, text});
        return yes;
    }
    void showNotice(QWidget*, const QString& title, const QString& text) override
    {
        m_shown.push_back({ShownBox::Notice, title, text});
    }
    void closeNotice() override { ++noticesClosed; }

    int noticesClosed = 0;
    bool yes = true;

  private:
    std::vector<ShownBox>& m_shown;
};

struct ShownNotice
{
    quint64 key;
    QString summary;
    QString body;
    bool last;
};

// Keeps the notifications instead of handing them to the desktop.
class RecordingNotifier : public DesktopNotifier
{
  public:
    explicit RecordingNotifier(std::vector<ShownNotice>& shown) : m_shown(shown) {}
    void notify(quint64 key, const QString& summary, const QString& body, bool last) override
    {
        m_shown.push_back({key, summary, body, last});
    }

  private:
    std::vector<ShownNotice>& m_shown;
};

class UiTest : public ::testing::Test
{
  protected:
    UiTest()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder());
        TestPlatform::clearUserSettings();
    }

    ~UiTest() override
    {
        app.reset();
        deleteClosedWindows();
        core.reset();
    }

    // The app over `resolve` (the recording device's entries unless a test changed it).
    CallerIdApp& makeApp()
    {
        device = std::make_unique<DeviceLibrary>(resolve);
        core = std::make_unique<CallerIdCore>(*device, log);
        log.setObserver(core.get());
        auto recording = std::make_unique<RecordingMessageBoxes>(boxes);
        answers = recording.get();
        app = std::make_unique<CallerIdApp>(*core, std::move(recording),
                                            std::make_unique<RecordingNotifier>(notices));
        app->setLogonStart(logonStart());
        return *app;
    }

    // start() as the program entry does it; the device calls of start-up are then forgotten.
    void startProgram()
    {
        makeApp().start();
        recorder.clearCalls();
    }

    DiagnosticsWindow& form() const
    {
        DiagnosticsWindow* window = app->diagnosticsWindow();
        if (!window)
            throw std::logic_error("Form1 is not loaded");
        return *window;
    }
    MainWindow& mainWindow() const
    {
        MainWindow* window = app->mainWindow();
        if (!window)
            throw std::logic_error("main is not loaded");
        return *window;
    }

    // The table the window's list ListView1 shows.
    LineStatusModel& lineTable(QWidget& window) const
    {
        auto* model =
            dynamic_cast<LineStatusModel*>(control<QTreeView>(window, "ListView1").model());
        if (!model)
            throw std::logic_error("ListView1 shows no line status table");
        return *model;
    }

    template <typename Widget> Widget& control(QWidget& window, const char* name) const
    {
        auto* widget = window.findChild<Widget*>(QLatin1String(name));
        if (!widget)
            throw std::logic_error(std::string("no control ") + name);
        return *widget;
    }

    // The texts of the log's entries, without their time stamps.
    std::vector<std::string> logTexts() const
    {
        std::vector<std::string> texts;
        std::istringstream in(readFile(log.path()));
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("> 123456: ", 0) == 0)
                texts.push_back(line.substr(10, line.size() - 11)); // without "\r"
        }
        return texts;
    }

    QString settingsFolder() const { return QString::fromStdString((dir / "config").string()); }

    // Start at log-on in the test's own places, for the program in `dir`.
    LogonStart logonStart() const
    {
        const TestPlatform::LogonStartPlaces places = TestPlatform::logonStartPlaces(dir.path());
        LogonStart::Places where{QString::fromStdString(places.user), {}};
        if (!places.machine.empty())
            where.machine << QString::fromStdString(places.machine);
        return LogonStart(QString::fromStdString((dir / "tavix-callerid").string()), where);
    }

    static void deleteClosedWindows()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    TempDir dir;
    RecordingDevice recorder;
    DeviceLibrary::Resolver resolve = recorder.resolver();
    ActivityLog log{dir / "tavix.log", [] { return TimeOfDay{12, 34, 56}; }};
    std::vector<ShownBox> boxes;
    // The app's boxes: how its questions are answered.
    RecordingMessageBoxes* answers = nullptr;
    std::vector<ShownNotice> notices;
    std::unique_ptr<DeviceLibrary> device;
    std::unique_ptr<CallerIdCore> core;
    std::unique_ptr<CallerIdApp> app;
};

using Calls = std::vector<std::string>;
