// Tavix CallerID: decoding and dispatch of the device's notifications.
#include "monitor/DeviceEventHandler.h"

#include "device/DeviceLibrary.h"
#include "log/ActivityLog.h"
#include "monitor/DeviceEvents.h"
#include "monitor/LineStatusModel.h"

#include <array>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>

namespace {

constexpr int kTalkDurationWidth = 32;

struct LineStateDesign
{
    std::string_view log; // empty: not logged
    std::string_view cell;
    bool clearing;
};

// Indexed by LineStateCode - 1.
constexpr std::array<LineStateDesign, 11> kLineStates = {{
    {"HK ON STATE PRA", "HOOK ON PR+", false},
    {"HK ON STATE PRB", "HOOK ON PR-", false},
    {"HK ON STATE NOPR", "HOOK ON NOPR", false},
    {"HK OFF STATE PRA", "HOOK OFF PR+", true},
    {"HK OFF STATE PRB", "HOOK OFF PR-", true},
    {"NO_LINE", "No Line", true},
    {{}, {}, false}, // LS_RING: the ring rule writes the count
    {{}, "Ring Off", false},
    {"NOHKPRA", "NO HOOK PR+", false},
    {"NOHKPRB", "NO HOOK PR-", false},
    {"NOHKNOPR", "NO HOOK NOPR", false},
}};

// A device field at its full width: the device's text and the NUL fill after it.
std::string_view contentOf(DeviceTextField& field)
{
    return {field.buffer(), static_cast<size_t>(field.width())};
}

// The text before the NUL fill.
std::string textOf(DeviceTextField& field)
{
    return std::string(field.buffer());
}

} // namespace

DeviceEventHandler::DeviceEventHandler(DeviceLibrary& device, LineStatusModel& table,
                                       const ActivityLog& log, DeviceEventListener& listener)
    : m_device(device), m_table(table), m_log(log), m_listener(listener)
{}

void DeviceEventHandler::HandleDeviceEvent(int32_t wParam, int32_t lParam) noexcept
{
    // The one trap. A fault ends the notification: the steps after it would address the same
    // invalid line or lean on what just failed, so none of them runs and nothing is retried.
    // A log entry that cannot be written is no fault: the log tells its observer and the
    // table, the lamps and the caller's web request still follow.
    try {
        dispatch(lineOf(wParam), kindOf(wParam), lParam);
    } catch (const std::exception& fault) {
        logFault(fault.what());
    } catch (...) {
        logFault("An unknown fault occurred while handling a device event");
    }
}

// Each device field is created, all NUL, by the kind that uses it. No earlier step touches
// a field, so this is the same as filling them all on entry, without the cost for the kinds
// that never read the device.
void DeviceEventHandler::dispatch(int32_t line, int32_t kind, int32_t lParam)
{
    switch (kind) {
    case EV_DEVICE_VERSION:
        deviceInformation(line);
        break;
    case EV_LINE_STATE:
        lineState(line, lParam);
        break;
    case EV_BACK_CID:
        callerId(line);
        break;
    case EV_DIAL_DIGIT:
        dialDigit(line);
        break;
    case EV_BACK_DEVICE:
        m_log.WriteLog("MCU_BACKDEVICE");
        deviceInformation(line);
        break;
    case EV_PARAMETER:
        timingParameters(line);
        break;
    case EV_BACK_CPU_ID:
        cpuId(line);
        break;
    case EV_BACK_COLLATERAL:
        collateralDigits(line);
        break;
    case EV_MISSED_CALL:
        missedCall(line);
        break;
    case EV_TALK_TIME:
        talkTime(line, lParam);
        break;
    case EV_BACK_ENABLE:
        enable(line);
        break;
    case EV_DISABLE:
        disable(line);
        break;
    default:
        break;
    }
}

void DeviceEventHandler::deviceInformation(int32_t line)
{
    m_table.setCell(line, COL_DEVICE_STATE, "Enable");
    DeviceTextField version(AD101_CPUVERSION_WIDTH);
    m_device.AD101_GetCPUVersion(line, version);
    m_table.setCell(line, COL_CPU_VERSION, contentOf(version));
}

void DeviceEventHandler::lineState(int32_t line, int32_t code)
{
    LineEvent event{.line = line, .kind = EV_LINE_STATE, .lParam = code};
    if (code == LS_RING) {
        ringRule(event);
        m_listener.lineEvent(event);
        return;
    }
    if (code < LS_HOOK_ON_PRA || code > LS_NO_HOOK_NOPR)
        return;
    const LineStateDesign& state = kLineStates[static_cast<size_t>(code - 1)];
    if (!state.log.empty())
        m_log.WriteLog(state.log);
    m_table.setCell(line, COL_LINE_STATE, state.cell);
    if (state.clearing)
        clearingRule(event);
    m_listener.lineEvent(event);
}

void DeviceEventHandler::clearingRule(LineEvent& event)
{
    const int32_t line = event.line;
    DeviceTextField callerIdField(AD101_CALLERID_WIDTH);
    const int32_t callerIds = m_device.AD101_GetCallerID(line, callerIdField, nullptr, nullptr);
    const int32_t rings = m_device.AD101_GetRingIndex(line);
    // A line that goes off hook during a call with a number or a ring keeps the number shown.
    if (rings < 1 && callerIds < 1)
        m_table.setCell(line, COL_CALLER_ID, "");
    emptyCallCells(line);
    event.rings = rings;
    event.callerIds = callerIds;
}

void DeviceEventHandler::ringRule(LineEvent& event)
{
    const int32_t rings = m_device.AD101_GetRingIndex(event.line);
    m_table.setCell(event.line, COL_LINE_STATE, std::to_string(rings));
    emptyCallCells(event.line);
    event.rings = rings;
}

void DeviceEventHandler::emptyCallCells(int32_t line)
{
    m_table.setCell(line, COL_TALK_DURATION, "");
    m_table.setCell(line, COL_DIAL_NUMBER, "");
    m_table.setCell(line, COL_COLLATERAL_DIALED, "");
}

void DeviceEventHandler::cpuId(int32_t line)
{
    m_log.WriteLog("MCU_BACK CPU ID");
    DeviceTextField id(AD101_CPUID_WIDTH);
    m_device.AD101_GetCPUID(line, id);
    m_table.setCell(line, COL_DEVICE_ID, contentOf(id));
}

void DeviceEventHandler::timingParameters(int32_t line)
{
    AD101TimingParameters record{};
    m_device.AD101_GetParameter(line, &record);
    m_listener.showTimingParameters(line, record);
}

void DeviceEventHandler::enable(int32_t line)
{
    m_log.WriteLog("MCU_BACKENABLE");
    m_table.setCell(line, COL_DEVICE_STATE, "Enable");
    m_listener.LightOn(line);
}

void DeviceEventHandler::disable(int32_t line)
{
    m_table.setCell(line, COL_DEVICE_STATE, "Disable");
    for (int column = COL_CPU_VERSION; column <= COL_DEVICE_ID; ++column)
        m_table.setCell(line, column, "");
    m_listener.LightOff(line);
    m_listener.lineEvent({.line = line, .kind = EV_DISABLE});
}

void DeviceEventHandler::callerId(int32_t line)
{
    m_log.WriteLog("MCU_BACKCID");
    DeviceTextField number(AD101_CALLERID_WIDTH);
    DeviceTextField name(AD101_NAME_WIDTH);
    DeviceTextField time(AD101_TIME_WIDTH);
    m_device.AD101_GetCallerID(line, number, &name, &time);
    const std::string lineText = std::to_string(line);
    logJoined("Incoming nLine: ", lineText);
    logJoined("Incoming szCallerID: ", contentOf(number));
    logJoined("Incoming szName: ", contentOf(name));
    logJoined("Incoming szTime: ", contentOf(time));
    m_table.setCell(line, COL_CALLER_ID, contentOf(number));
    emptyCallCells(line);
    m_listener.SendCall(number.text(), lineText);
    m_listener.lineEvent({.line = line,
                          .kind = EV_BACK_CID,
                          .number = textOf(number),
                          .name = textOf(name),
                          .time = textOf(time)});
}

void DeviceEventHandler::dialDigit(int32_t line)
{
    if (!m_listener.showPhoneNumberTicked())
        return;
    DeviceTextField digits(AD101_DIGITS_WIDTH);
    m_device.AD101_GetDialDigit(line, digits);
    m_table.setCell(line, COL_DIAL_NUMBER, contentOf(digits));
}

void DeviceEventHandler::collateralDigits(int32_t line)
{
    m_log.WriteLog("MCU_BACKCOLLATERAL");
    DeviceTextField digits(AD101_DIGITS_WIDTH);
    m_device.AD101_GetCollateralDialDigit(line, digits);
    m_table.setCell(line, COL_COLLATERAL_DIALED, contentOf(digits));
}

void DeviceEventHandler::missedCall(int32_t line)
{
    m_log.WriteLog("Missed Call");
    m_table.setCell(line, COL_LINE_STATE, "Missed Call");
    m_listener.lineEvent({.line = line, .kind = EV_MISSED_CALL});
}

void DeviceEventHandler::talkTime(int32_t line, int32_t duration)
{
    // "#00" (at least two digits, a minus before a negative value), then spaces up to the
    // field's width.
    char field[kTalkDurationWidth + 1];
    std::snprintf(field, sizeof field, "%-*.2d", kTalkDurationWidth, static_cast<int>(duration));
    m_table.setCell(line, COL_TALK_DURATION, std::string_view(field, kTalkDurationWidth));
    m_listener.lineEvent({.line = line, .kind = EV_TALK_TIME, .lParam = duration});
}

void DeviceEventHandler::logJoined(std::string_view prefix, std::string_view text) const
{
    std::string entry;
    entry.reserve(prefix.size() + text.size());
    entry.append(prefix).append(text);
    m_log.WriteLog(entry);
}

// The log puts a multi-line description on the entry's one line.
void DeviceEventHandler::logFault(std::string_view description) const noexcept
{
    m_log.WriteLog(description);
}
