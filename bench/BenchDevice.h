// Tavix CallerID benchmarks: a device library that answers at once and records nothing.
#pragma once

#include "device/DeviceLibrary.h"

#include <cstring>
#include <map>
#include <string>

namespace benchdevice {

inline void fill(char* buffer, const char* text)
{
    if (buffer)
        std::strcpy(buffer, text);
}

extern "C" {
inline int32_t ok0() { return 1; }
inline int32_t ok1(int32_t) { return 1; }
inline int32_t ok2(int32_t, int32_t) { return 1; }
inline int32_t init(AD101WindowHandle) { return 1; }
inline int32_t parameters(int32_t, AD101TimingParameters* p)
{
    *p = {30, 40, 20, 50, 60, 255};
    return 1;
}
inline int32_t callerId(int32_t, char* id, char* name, char* time)
{
    fill(id, "0123456789");
    fill(name, "A Caller");
    fill(time, "12071530");
    return 1;
}
inline int32_t rings(int32_t) { return 2; }
inline int32_t digits(int32_t, char* b) { return fill(b, "5551234"), 1; }
inline int32_t version(int32_t, char* b) { return fill(b, "AD101 V2.3"), 1; }
inline int32_t cpuId(int32_t, char* b) { return fill(b, "A1B2"), 1; }
}

inline DeviceLibrary::Resolver resolver()
{
    static const std::map<std::string, void*> entries = {
        {"AD101_InitDevice", reinterpret_cast<void*>(&init)},
        {"AD101_GetDevice", reinterpret_cast<void*>(&ok0)},
        {"AD101_FreeDevice", reinterpret_cast<void*>(&ok0)},
        {"AD101_SetLED", reinterpret_cast<void*>(&ok2)},
        {"AD101_SetBusy", reinterpret_cast<void*>(&ok2)},
        {"AD101_ShowCollateralPhoneDialed", reinterpret_cast<void*>(&ok1)},
        {"AD101_SetDialOutStartTalkingTime", reinterpret_cast<void*>(&ok1)},
        {"AD101_SetRingOffTime", reinterpret_cast<void*>(&ok1)},
        {"AD101_ReadParameter", reinterpret_cast<void*>(&ok1)},
        {"AD101_GetParameter", reinterpret_cast<void*>(&parameters)},
        {"AD101_SetParameter", reinterpret_cast<void*>(&parameters)},
        {"AD101_GetCallerID", reinterpret_cast<void*>(&callerId)},
        {"AD101_GetRingIndex", reinterpret_cast<void*>(&rings)},
        {"AD101_GetDialDigit", reinterpret_cast<void*>(&digits)},
        {"AD101_GetCollateralDialDigit", reinterpret_cast<void*>(&digits)},
        {"AD101_GetCPUVersion", reinterpret_cast<void*>(&version)},
        {"AD101_GetCPUID", reinterpret_cast<void*>(&cpuId)},
    };
    return [](const char* name) { return entries.at(name); };
}

} // namespace benchdevice
