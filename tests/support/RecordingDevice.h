// Tavix CallerID tests: a recording fake of the device library behind DeviceLibrary.
#pragma once

#include "device/DeviceLibrary.h"

#include <array>
#include <set>
#include <string>
#include <vector>

// Records every call in the simulated box's trace format ("AD101_SetLED 0 3",
// "AD101_GetCallerID 1 buf null null", "AD101_SetParameter 1 20 0 12 14 25 12") and answers
// from per-line values that a test sets. Only one instance may exist at a time: the entries
// are plain C functions.
class RecordingDevice
{
  public:
    struct Line
    {
        std::string callerId, name, time, digits, collateral, cpuVersion, cpuId;
        int32_t callerIdCount = 0; // result of AD101_GetCallerID
        int32_t rings = 0;         // result of AD101_GetRingIndex
        AD101TimingParameters parameters{};
    };

    RecordingDevice();
    ~RecordingDevice();
    RecordingDevice(const RecordingDevice&) = delete;
    RecordingDevice& operator=(const RecordingDevice&) = delete;

    // A DeviceLibrary whose entries are this fake's; entries named in `missing` are absent.
    DeviceLibrary::Resolver resolver();
    void removeEntry(const std::string& name) { m_missing.insert(name); }

    // Values for line 0 to 3; other lines answer with empty texts and zero counts.
    Line& line(int index) { return m_lines.at(static_cast<size_t>(index)); }

    const std::vector<std::string>& calls() const { return m_calls; }
    void clearCalls() { m_calls.clear(); }
    AD101WindowHandle initHandle() const { return m_initHandle; }
    // Posts to the handle given to AD101_InitDevice, as the library does.
    void postToProgram(uint32_t message, int32_t wParam, int32_t lParam) const;

    // The library's entries, as the stand-in's C entries call them.
    static RecordingDevice& current();
    void record(std::string call) { m_calls.push_back(std::move(call)); }
    int32_t AD101_InitDevice(AD101WindowHandle hWnd);
    int32_t AD101_GetDevice() { return 1; }
    int32_t AD101_FreeDevice() { return 1; }
    int32_t AD101_SetLED(int32_t, int32_t) { return 1; }
    int32_t AD101_SetBusy(int32_t, int32_t) { return 1; }
    int32_t AD101_ShowCollateralPhoneDialed(int32_t) { return 1; }
    int32_t AD101_SetDialOutStartTalkingTime(int32_t) { return 1; }
    int32_t AD101_SetRingOffTime(int32_t) { return 1; }
    int32_t AD101_ReadParameter(int32_t) { return 1; }
    int32_t AD101_GetParameter(int32_t nLine, AD101TimingParameters* record);
    int32_t AD101_SetParameter(int32_t nLine, const AD101TimingParameters* record);
    int32_t AD101_GetCallerID(int32_t nLine, char* szCallerID, char* szName, char* szTime);
    int32_t AD101_GetRingIndex(int32_t nLine) { return lineFor(nLine).rings; }
    int32_t AD101_GetDialDigit(int32_t nLine, char* szDigits);
    int32_t AD101_GetCollateralDialDigit(int32_t nLine, char* szDigits);
    int32_t AD101_GetCPUVersion(int32_t nLine, char* szVersion);
    int32_t AD101_GetCPUID(int32_t nLine, char* szId);

  private:
    // Line `index`, or for any other line one with empty texts and zero counts.
    Line& lineFor(int32_t index);

    AD101WindowHandle m_initHandle = nullptr;
    Line m_otherLine;
    std::array<Line, 4> m_lines;
    std::vector<std::string> m_calls;
    std::set<std::string> m_missing;
};
