// Tavix CallerID simulator: the exported C entries of libTavixHardware.so.
#include "device/ad101_api.h"

#include "simulator/SimulatedBox.h"

#include <cstdio>
#include <exception>
#include <string>

// Everything else in the library is hidden (-fvisibility=hidden).
#define TAVIX_AD101_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::string num(int32_t value)
{
    return std::to_string(value);
}
const char* buf(const void* buffer)
{
    return buffer ? "buf" : "null";
}

// Records the call in the trace, then lets the box answer. No exception may cross into the
// program, which knows only C.
template <typename Action> int32_t traced(std::string call, Action action) noexcept
{
    try {
        SimulatedBox& box = SimulatedBox::instance();
        box.trace().append(std::move(call));
        return action(box);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tavix-ad101: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "tavix-ad101: unknown failure\n");
    }
    return 0;
}

} // namespace

TAVIX_AD101_EXPORT int32_t AD101_CALL AD101_InitDevice(AD101WindowHandle hWnd)
{
    return traced("AD101_InitDevice handle",
                  [=](SimulatedBox& box) { return box.initDevice(hWnd); });
}

TAVIX_AD101_EXPORT int32_t AD101_CALL AD101_GetDevice(void)
{
    return traced("AD101_GetDevice", [](SimulatedBox& box) { return box.getDevice(); });
}

TAVIX_AD101_EXPORT int32_t AD101_CALL AD101_FreeDevice(void)
{
    return traced("AD101_FreeDevice", [](SimulatedBox& box) { return box.freeDevice(); });
}

TAVIX_AD101_EXPORT int32_t AD101_CALL AD101_SetLED(int32_t nLine, int32_t ledCode)
{
    return traced("AD101_SetLED " + num(nLine) + " " + num(ledCode),
                  [=](SimulatedBox& box) { return box.setLed(nLine, ledCode); });
}

TAVIX_AD101_EXPORT int32_t AD101_CALL AD101_SetBusy(int32_t nLine, int32_t flag)
{
    return traced("AD101_SetBusy " + num(nLine) + " " + num(flag),
                  [=](SimulatedBox& box) { return box.setBusy(nLine, flag); });
}

TAVIX_AD101_EXPORT int32_t AD101_CALL AD101_ShowCollateralPhoneDialed(int32_t show)
{
    return traced("AD101_ShowCollateralPhoneDialed " + num(show),
                  [=](SimulatedBox& box) { return box.showCollateralPhoneDialed(show); });
}

TAVIX_AD101_EXPORT int32_t AD101_CALL AD101_SetDialOutStartTalkingTime(int32_t seconds)
{
    return traced("AD101_SetDialOutStartTalkingTime " + num(seconds),
                  [=](SimulatedBox& box) { return box.setDialOutStartTalkingTime(seconds); });
}

TAVIX_AD101_EXPORT int32_t AD101_CALL AD101_SetRingOffTime(int32_t seconds)
{
    return traced("AD101_SetRingOffTime " + num(seconds),
                  [=](SimulatedBox& box) { return box.setRingOffTime(seconds); });
}

TAVIX_AD101_EXPORT int32_t AD101_CALL AD101_ReadParameter(int32_t nLine)
{
    return traced("AD101_ReadParameter " + num(nLine),
                  [=](SimulatedBox& box) { return box.readParameter(nLine); });
}

TAVIX_AD101_EXPORT int32_t AD101_CALL AD101_GetParameter(int32_t nLine,
                                                         AD101TimingParameters* record)
{
    return traced("AD101_GetParameter " + num(nLine) + " " + buf(record),
                  [=](SimulatedBox& box) { return box.getParameter(nLine, record); });
}

TAVIX_AD101_EXPORT int32_t AD101_CALL AD101_SetParameter(int32_t nLine,
                                                         AD101TimingParameters* record)
{
    std::string call = "AD101_SetParameter " + num(nLine);
    if (record) {
        for (int32_t value : {record->RingOn, record->RingOff, record->HookOn, record->HookOff,
                              record->CallerIdStop, record->NoLine})
            call += " " + num(value);
    } else {
        call += " null";
    }
    return traced(std::move(call),
                  [=](SimulatedBox& box) { return box.setParameter(nLine, record); });
}

TAVIX_AD101_EXPORT int32_t AD101_CALL AD101_GetCallerID(int32_t nLine, char* szCallerID,
                                                        char* szName, char* szTime)
{
    return traced(
        "AD101_GetCallerID " + num(nLine) + " " + buf(szCallerID) + " " + buf(szName) + " " +
            buf(szTime),
        [=](SimulatedBox& box) { return box.getCallerId(nLine, szCallerID, szName, szTime); });
}

TAVIX_AD101_EXPORT int32_t AD101_CALL AD101_GetRingIndex(int32_t nLine)
{
    return traced("AD101_GetRingIndex " + num(nLine),
                  [=](SimulatedBox& box) { return box.getRingIndex(nLine); });
}

TAVIX_AD101_EXPORT int32_t AD101_CALL AD101_GetDialDigit(int32_t nLine, char* szDigits)
{
    return traced("AD101_GetDialDigit " + num(nLine) + " " + buf(szDigits),
                  [=](SimulatedBox& box) { return box.getDialDigit(nLine, szDigits); });
}

TAVIX_AD101_EXPORT int32_t AD101_CALL AD101_GetCollateralDialDigit(int32_t nLine, char* szDigits)
{
    return traced("AD101_GetCollateralDialDigit " + num(nLine) + " " + buf(szDigits),
                  [=](SimulatedBox& box) { return box.getCollateralDialDigit(nLine, szDigits); });
}

TAVIX_AD101_EXPORT int32_t AD101_CALL AD101_GetCPUVersion(int32_t nLine, char* szVersion)
{
    return traced("AD101_GetCPUVersion " + num(nLine) + " " + buf(szVersion),
                  [=](SimulatedBox& box) { return box.getCpuVersion(nLine, szVersion); });
}

TAVIX_AD101_EXPORT int32_t AD101_CALL AD101_GetCPUID(int32_t nLine, char* szId)
{
    return traced("AD101_GetCPUID " + num(nLine) + " " + buf(szId),
                  [=](SimulatedBox& box) { return box.getCpuId(nLine, szId); });
}
