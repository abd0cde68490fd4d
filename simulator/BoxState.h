// Tavix CallerID simulator: what the box knows about its lines and itself.
#pragma once

#include "device/ad101_api.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

constexpr int32_t kBoxLineCount = 4;

enum class Hook { On, Off, NoLine };

// One telephone line, as the library's query functions report it.
struct LineState
{
    int32_t led = 1;  // LED off
    int32_t busy = 1; // as AD101_SetBusy: 0 busy, 1 free
    std::string callerId, name, time, digits, collateral;
    std::string cpuVersion = "AD101 V2.3";
    std::string cpuId;
    int32_t rings = 0;
    AD101TimingParameters parameters{30, 40, 20, 50, 60, 255};
    Hook hook = Hook::On;
    bool enabled = true;
    // When the running call started to count as talking, for the talk time at hang-up.
    std::optional<std::chrono::steady_clock::time_point> talkStart;
    // Bumped when a scenario takes the line over; steps of an older scenario then do nothing.
    uint64_t epoch = 0;
};

// The device-wide settings.
struct BoxSettings
{
    int32_t showCollateralPhoneDialed = 0;
    int32_t dialOutStartTalkingTime = 3; // seconds
    int32_t ringOffTime = 7;             // seconds
};

// A copy of the whole box for reports.
struct BoxSnapshot
{
    bool open = false;
    BoxSettings settings;
    std::array<LineState, kBoxLineCount> lines;
};

// One WM_DEVICE_EVENT.
struct DeviceEvent
{
    int32_t wParam;
    int32_t lParam;
};

constexpr DeviceEvent lineEvent(int32_t line, int32_t kind, int32_t lParam = 0)
{
    return {line * 65536 + kind, lParam};
}
