// Tavix CallerID tests: a device event handler behind the device's window, with a recording
// device, a log with a fixed clock and fake windows.
#pragma once

#include "RecordingDevice.h"
#include "TempDir.h"
#include "log/ActivityLog.h"
#include "log/LogObserver.h"
#include "monitor/DeviceEventHandler.h"
#include "monitor/DeviceEvents.h"
#include "monitor/DeviceWindow.h"
#include "monitor/LineStatusModel.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

// Each fake records its calls; `during` runs inside every call, to look at the state at that
// moment or to fail.
struct FakeMainWindow
{
    std::vector<std::string> calls;
    std::string sentCallerId;
    std::function<void()> during = [] {};

    void LightOn(int32_t line) { record("LightOn " + std::to_string(line)); }
    void LightOff(int32_t line) { record("LightOff " + std::to_string(line)); }
    void SendCall(const std::string& callerID, const std::string& line)
    {
        sentCallerId = callerID;
        record("SendCall " + line);
    }
    void record(std::string call)
    {
        calls.push_back(std::move(call));
        during();
    }
};

struct FakeDiagnostics
{
    bool ticked = true;
    mutable std::vector<std::string> calls;
    std::function<void()> during = [] {};

    bool showPhoneNumberTicked() const
    {
        calls.push_back("showPhoneNumberTicked");
        during();
        return ticked;
    }
    void showTimingParameters(int32_t line, const AD101TimingParameters& p)
    {
        std::string call = "showTimingParameters " + std::to_string(line);
        for (int32_t v : {p.RingOn, p.RingOff, p.HookOn, p.HookOff, p.CallerIdStop, p.NoLine})
            call += " " + std::to_string(v);
        calls.push_back(call);
        during();
    }
};

// What the handler reaches beyond the table and the log, split as the two windows show it.
struct FakeWindows : DeviceEventListener
{
    FakeMainWindow& mainWindow;
    FakeDiagnostics& diagnostics;

    FakeWindows(FakeMainWindow& main, FakeDiagnostics& form) : mainWindow(main), diagnostics(form)
    {}
    void LightOn(int32_t line) override { mainWindow.LightOn(line); }
    void LightOff(int32_t line) override { mainWindow.LightOff(line); }
    void SendCall(const std::string& callerID, const std::string& line) override
    {
        mainWindow.SendCall(callerID, line);
    }
    bool showPhoneNumberTicked() const override { return diagnostics.showPhoneNumberTicked(); }
    void showTimingParameters(int32_t line, const AD101TimingParameters& record) override
    {
        diagnostics.showTimingParameters(line, record);
    }
    void lineEvent(const LineEvent& event) noexcept override { events.push_back(event); }

    std::vector<LineEvent> events;
};

struct PassedMessage
{
    AD101WindowHandle window;
    uint32_t message;
    int32_t wParam;
    int32_t lParam;
    bool operator==(const PassedMessage&) const = default;
};

// The window procedure that was in place before DeviceWindowProc.
inline std::vector<PassedMessage> g_passedOn;
inline int32_t g_previousResult = 0;
inline int32_t previousWindowProc(AD101WindowHandle window, uint32_t message, int32_t wParam,
                                  int32_t lParam)
{
    g_passedOn.push_back({window, message, wParam, lParam});
    return g_previousResult;
}

class DeviceEventTest : public ::testing::Test
{
  protected:
    using Rows = std::array<std::array<std::string, kColumnCount>, kLineCount>;

    DeviceEventTest()
    {
        table.build();
        window.replaceWindowProcedure(&previousWindowProc);
        window.installDeviceWindowProc(&handler);
        g_passedOn.clear();
    }

    // Posts one notification to the window and lets the window handle it.
    void send(int32_t line, int32_t kind, int32_t lParam = 0)
    {
        sendRaw(line * 65536 + kind, lParam);
    }
    void sendRaw(int32_t wParam, int32_t lParam = 0)
    {
        window.post(WM_DEVICE_EVENT, wParam, lParam);
        window.deliverPosted();
    }

    std::string logBytes() const { return readFile(logPath); }
    static std::string entries(std::initializer_list<std::string> texts)
    {
        std::string bytes;
        for (const std::string& text : texts)
            bytes += "> 093005: " + text + "\r\n...\r\n";
        return bytes;
    }

    Rows rows() const
    {
        Rows cells;
        for (int line = 0; line < kLineCount; ++line)
            for (int column = 0; column < kColumnCount; ++column)
                cells[line][column] = table.cellText(line, column);
        return cells;
    }
    // Fills cells 2 to 8 of every row so that emptying them shows.
    Rows fillCells()
    {
        for (int line = 0; line < kLineCount; ++line)
            for (int column = COL_CPU_VERSION; column <= COL_DEVICE_ID; ++column)
                table.setCell(line, column, "old " + std::to_string(column));
        return rows();
    }

    RecordingDevice device;
    DeviceLibrary library{device.resolver()};
    LineStatusModel table;
    TempDir dir;
    std::filesystem::path logPath = dir / "tavix.log";
    ActivityLog activityLog{logPath, [] { return TimeOfDay{9, 30, 5}; }};
    FakeMainWindow mainWindow;
    FakeDiagnostics diagnostics;
    FakeWindows windows{mainWindow, diagnostics};
    DeviceEventHandler handler{library, table, activityLog, windows};
    DeviceWindow window;
};

// A device text field of `width` characters holding `text`, as the device leaves it.
inline std::string field(const std::string& text, size_t width)
{
    return text + std::string(width - text.size(), '\0');
}
