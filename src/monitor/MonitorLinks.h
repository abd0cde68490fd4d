// Tavix CallerID: what event handling needs from the two windows.
#pragma once

#include "device/ad101_api.h"

#include <cstdint>
#include <string>

// The main window's side: its lamps and the web notification.
class MainWindowLink
{
public:
    virtual ~MainWindowLink() = default;
    // Both set CurrentLine first, then switch the lamp; a line with no lamp throws.
    virtual void LightOn(int32_t line) = 0;
    virtual void LightOff(int32_t line) = 0;
    // callerID is the full caller-ID field; line the 0-based line index in decimal.
    virtual void SendCall(const std::string& callerID, const std::string& line) = 0;
};

// The diagnostics window's side: the dialled-digits check box and the timing boxes.
class DiagnosticsLink
{
public:
    virtual ~DiagnosticsLink() = default;
    virtual bool showPhoneNumberTicked() const = 0;
    // Selects the line in the selector and shows the six values; throws when there is no
    // such entry.
    virtual void showTimingParameters(int32_t line, const AD101TimingParameters& record) = 0;
};
