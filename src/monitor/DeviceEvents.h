// Tavix CallerID: the device notification and its codes.
#pragma once

#include <cstdint>

constexpr uint32_t WM_DEVICE_EVENT = 1204; // user message base 1024 + 180

// DeviceEventKind: the low half of wParam.
enum DeviceEventKind : int32_t {
    EV_DEVICE_VERSION = 7,
    EV_LINE_STATE = 8,
    EV_BACK_CID = 9,
    EV_DIAL_DIGIT = 10,
    EV_BACK_DEVICE = 11,
    EV_PARAMETER = 12,
    EV_BACK_CPU_ID = 13,
    EV_BACK_COLLATERAL = 14,
    EV_MISSED_CALL = 170,
    EV_TALK_TIME = 187,
    EV_BACK_ENABLE = 238,
    EV_DISABLE = 255,
};

// LineStateCode: lParam of EV_LINE_STATE.
enum LineStateCode : int32_t {
    LS_HOOK_ON_PRA = 1,
    LS_HOOK_ON_PRB = 2,
    LS_HOOK_ON_NOPR = 3,
    LS_HOOK_OFF_PRA = 4,
    LS_HOOK_OFF_PRB = 5,
    LS_NO_LINE = 6,
    LS_RING = 7,
    LS_RING_OFF = 8,
    LS_NO_HOOK_PRA = 9,
    LS_NO_HOOK_PRB = 10,
    LS_NO_HOOK_NOPR = 11,
};

// ColumnIndex: the cells of a row of the line status table.
enum ColumnIndex : int {
    COL_LINE_ID = 0,
    COL_DEVICE_STATE = 1,
    COL_CPU_VERSION = 2,
    COL_LINE_STATE = 3,
    COL_CALLER_ID = 4,
    COL_DIAL_NUMBER = 5,
    COL_COLLATERAL_DIALED = 6,
    COL_TALK_DURATION = 7,
    COL_DEVICE_ID = 8,
};
constexpr int kColumnCount = 9;
constexpr int kLineCount = 4;

// wParam = line * 65536 + kind, both halves taken as a truncating division of a signed value:
// a negative wParam gives a kind between -65535 and 0, which matches no event.
constexpr int32_t lineOf(int32_t wParam)
{
    return wParam / 65536;
}
constexpr int32_t kindOf(int32_t wParam)
{
    return wParam % 65536;
}
