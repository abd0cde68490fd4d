// Tavix CallerID tests: the program's windows over a recording device, a temporary log and
// temporary settings.
#pragma once

#include "RecordingDevice.h"
#include "TempDir.h"
#include "TestPlatform.h"

#include "device/DeviceLibrary.h"
#include "log/ActivityLog.h"
#include "monitor/DeviceWindow.h"
#include "ui/CallerIdApp.h"
#include "ui/DiagnosticsWindow.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"

#include <QCoreApplication>
#include <QSettings>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

struct ShownBox
{
    enum Kind { Information, Warning, Notice } kind;
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
    void showNotice(QWidget*, const QString& title, const QString& text) override
    {
        m_shown.push_back({ShownBox::Notice, title, text});
    }
    void closeNotice() override { ++noticesClosed; }

    int noticesClosed = 0;

private:
    std::vector<ShownBox>& m_shown;
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
    }

    // The app over `resolve` (the recording device's entries unless a test changed it).
    CallerIdApp& makeApp()
    {
        device = std::make_unique<DeviceLibrary>(resolve);
        app = std::make_unique<CallerIdApp>(*device, log,
                                            std::make_unique<RecordingMessageBoxes>(boxes));
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

    static void deleteClosedWindows()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    TempDir dir;
    RecordingDevice recorder;
    DeviceLibrary::Resolver resolve = recorder.resolver();
    ActivityLog log{dir / "tavix.log", [] { return TimeOfDay{12, 34, 56}; }};
    std::vector<ShownBox> boxes;
    std::unique_ptr<DeviceLibrary> device;
    std::unique_ptr<CallerIdApp> app;
};

using Calls = std::vector<std::string>;
