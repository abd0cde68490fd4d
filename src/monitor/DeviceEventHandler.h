// Tavix CallerID: decoding and dispatch of the device's notifications.
#pragma once

#include "device/ad101_api.h"

#include <cstdint>
#include <string>
#include <string_view>

class ActivityLog;
class DeviceLibrary;
class LineStatusModel;

// What a call event told about one of the four lines, once the event's own steps have run: for
// keeping a record of calls. Nothing in it costs a device call of its own.
struct LineEvent
{
    int32_t line = 0;
    int32_t kind = 0;   // a DeviceEventKind: EV_BACK_CID, EV_LINE_STATE, EV_MISSED_CALL,
                        // EV_TALK_TIME or EV_DISABLE
    int32_t lParam = 0; // the line state code, or the talk duration in seconds
    // The counts the event's steps read from the device (a ring, a hook going off, no line);
    // -1 where they read none.
    int32_t rings = -1;
    int32_t callerIds = -1;
    // A caller ID's texts, without the NUL fill.
    std::string number{};
    std::string name{};
    std::string time{};
};

// What device events reach beyond the table and the log: the lamps, the web notification, the
// dialled-digits option, the timing report and the call events.
class DeviceEventListener
{
  public:
    virtual ~DeviceEventListener() = default;
    // Both set CurrentLine first, then switch the lamp; a line with no lamp throws.
    virtual void LightOn(int32_t line) = 0;
    virtual void LightOff(int32_t line) = 0;
    // callerID is the full caller-ID field; line the 0-based line index in decimal.
    virtual void SendCall(const std::string& callerID, const std::string& line) = 0;
    // Whether the digits dialled on the line's own telephone are to be shown.
    virtual bool showPhoneNumberTicked() const = 0;
    // The six values the device reported for the line; throws when they cannot be shown.
    virtual void showTimingParameters(int32_t line, const AD101TimingParameters& record) = 0;
    // Told last, after the web notification of a caller ID; it must not throw.
    virtual void lineEvent(const LineEvent& event) noexcept { (void)event; }
};

// Turns one device notification into log entries, table cells, device calls and calls on the
// listener.
class DeviceEventHandler
{
  public:
    DeviceEventHandler(DeviceLibrary& device, LineStatusModel& table, const ActivityLog& log,
                       DeviceEventListener& listener);
    DeviceEventHandler(const DeviceEventHandler&) = delete;
    DeviceEventHandler& operator=(const DeviceEventHandler&) = delete;

    // Handles one WM_DEVICE_EVENT. Every fault is caught and its description logged; a log
    // entry that cannot be written is not a fault and stops nothing.
    void HandleDeviceEvent(int32_t wParam, int32_t lParam) noexcept;

  private:
    void dispatch(int32_t line, int32_t kind, int32_t lParam);
    void deviceInformation(int32_t line);
    void lineState(int32_t line, int32_t code);
    void clearingRule(LineEvent& event);
    void ringRule(LineEvent& event);
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

    DeviceLibrary& m_device;
    LineStatusModel& m_table;
    const ActivityLog& m_log;
    DeviceEventListener& m_listener;
};
