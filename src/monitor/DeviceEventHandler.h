// Tavix CallerID: decoding and dispatch of the device's notifications.
#pragma once

#include "monitor/WindowSystem.h"

#include <cstdint>
#include <string_view>

class ActivityLog;
class DeviceLibrary;
class DiagnosticsLink;
class LineStatusTable;
class MainWindowLink;

// Turns one device notification into log entries, table cells, device calls and calls on the
// two windows. The windows may be connected after construction; a window that is needed but
// not connected is a fault like any other.
class DeviceEventHandler
{
public:
    DeviceEventHandler(DeviceLibrary& device, LineStatusTable& table, const ActivityLog& log,
                       MainWindowLink* mainWindow = nullptr,
                       DiagnosticsLink* diagnostics = nullptr);
    // Stops DeviceWindowProc from reaching this handler.
    ~DeviceEventHandler();
    DeviceEventHandler(const DeviceEventHandler&) = delete;
    DeviceEventHandler& operator=(const DeviceEventHandler&) = delete;

    void setMainWindowLink(MainWindowLink* link) { m_mainWindow = link; }
    void setDiagnosticsLink(DiagnosticsLink* link) { m_diagnostics = link; }

    // Handles one WM_DEVICE_EVENT. Every fault is caught and its description logged; a log
    // entry that cannot be written is not a fault and stops nothing.
    void HandleDeviceEvent(int32_t wParam, int32_t lParam) noexcept;

private:
    void dispatch(int32_t line, int32_t kind, int32_t lParam);
    void deviceInformation(int32_t line);
    void lineState(int32_t line, int32_t code);
    void clearingRule(int32_t line);
    void ringRule(int32_t line);
    void emptyCallCells(int32_t line);
    void cpuId(int32_t line);
    void timingParameters(int32_t line);
    void enable(int32_t line);
    void disable(int32_t line);

    void callerId(int32_t line);
    void dialDigit(int32_t line);
    void collateralDigits(int32_t line);
    void missedCall(int32_t line);
    void talkTime(int32_t line, int32_t duration);

    void logJoined(std::string_view prefix, std::string_view text) const;
    void logFault(std::string_view description) const noexcept;
    MainWindowLink& mainWindow() const;
    DiagnosticsLink& diagnostics() const;

    DeviceLibrary& m_device;
    LineStatusTable& m_table;
    const ActivityLog& m_log;
    MainWindowLink* m_mainWindow;
    DiagnosticsLink* m_diagnostics;
};

// The window procedure that DeviceWindowProc replaced; every message goes on to it.
extern WNDPROC OldWindowProc;

// Hands WM_DEVICE_EVENT to the installed handler, then passes every message, unchanged, to
// OldWindowProc and returns its result.
LRESULT CALLBACK DeviceWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Makes `handler` the one DeviceWindowProc calls and puts DeviceWindowProc in place of the
// window's procedure, keeping the old one in OldWindowProc.
void InstallDeviceWindowProc(HWND window, DeviceEventHandler& handler);
