// Tavix CallerID benchmarks: a device library that answers at once and records nothing.
#pragma once

#include "DeviceStandIn.h"

#include <cstring>

class BenchDevice
{
  public:
    static BenchDevice& current()
    {
        static BenchDevice device;
        return device;
    }
    static DeviceLibrary::Resolver resolver() { return DeviceStandIn<BenchDevice>::resolver(); }

    int32_t AD101_InitDevice(AD101WindowHandle) { return 1; }
    int32_t AD101_GetDevice() { return 1; }
    int32_t AD101_FreeDevice() { return 1; }
    int32_t AD101_SetLED(int32_t, int32_t) { return 1; }
    int32_t AD101_SetBusy(int32_t, int32_t) { return 1; }
    int32_t AD101_ShowCollateralPhoneDialed(int32_t) { return 1; }
    int32_t AD101_SetDialOutStartTalkingTime(int32_t) { return 1; }
    int32_t AD101_SetRingOffTime(int32_t) { return 1; }
    int32_t AD101_ReadParameter(int32_t) { return 1; }
    int32_t AD101_GetParameter(int32_t, AD101TimingParameters* record)
    {
        *record = {30, 40, 20, 50, 60, 255};
        return 1;
    }
    int32_t AD101_SetParameter(int32_t, const AD101TimingParameters*) { return 1; }
    int32_t AD101_GetCallerID(int32_t, char* id, char* name, char* time)
    {
        fill(id, "0123456789");
        fill(name, "A Caller");
        fill(time, "12071530");
        return 1;
    }
    int32_t AD101_GetRingIndex(int32_t) { return 2; }
    int32_t AD101_GetDialDigit(int32_t, char* digits) { return fill(digits, "5551234"), 1; }
    int32_t AD101_GetCollateralDialDigit(int32_t, char* digits)
    {
        return fill(digits, "5551234"), 1;
    }
    int32_t AD101_GetCPUVersion(int32_t, char* version) { return fill(version, "AD101 V2.3"), 1; }
    int32_t AD101_GetCPUID(int32_t, char* id) { return fill(id, "A1B2"), 1; }

  private:
    static void fill(char* buffer, const char* text)
    {
        if (buffer)
            std::strcpy(buffer, text);
    }
};
