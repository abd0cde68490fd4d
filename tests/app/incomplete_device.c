/* Tavix CallerID tests: device libraries that lack entries. Built as is, only the first entry is
 * there; with TAVIX_ALL_BUT_GET_CALLER_ID, every entry but AD101_GetCallerID. AD101_InitDevice
 * writes to the file named by TAVIX_TEST_INIT_MARKER, so a test sees whether the device was
 * opened. */
#include "device/ad101_api.h"

#include <stdio.h>
#include <stdlib.h>

int32_t AD101_CALL AD101_InitDevice(AD101WindowHandle hWnd)
{
    const char* marker = getenv("TAVIX_TEST_INIT_MARKER");
    FILE* file = marker ? fopen(marker, "w") : NULL;
    (void)hWnd;
    if (file)
        fclose(file);
    return 1;
}

#ifdef TAVIX_ALL_BUT_GET_CALLER_ID
int32_t AD101_CALL AD101_GetDevice(void) { return 1; }
int32_t AD101_CALL AD101_FreeDevice(void) { return 1; }
int32_t AD101_CALL AD101_SetLED(int32_t nLine, int32_t ledCode) { return nLine + ledCode; }
int32_t AD101_CALL AD101_SetBusy(int32_t nLine, int32_t flag) { return nLine + flag; }
int32_t AD101_CALL AD101_ShowCollateralPhoneDialed(int32_t show) { return show; }
int32_t AD101_CALL AD101_SetDialOutStartTalkingTime(int32_t seconds) { return seconds; }
int32_t AD101_CALL AD101_SetRingOffTime(int32_t seconds) { return seconds; }
int32_t AD101_CALL AD101_ReadParameter(int32_t nLine) { return nLine; }
int32_t AD101_CALL AD101_GetParameter(int32_t nLine, AD101TimingParameters* record)
{
    (void)record;
    return nLine;
}
int32_t AD101_CALL AD101_SetParameter(int32_t nLine, AD101TimingParameters* record)
{
    (void)record;
    return nLine;
}
int32_t AD101_CALL AD101_GetRingIndex(int32_t nLine) { return nLine; }
int32_t AD101_CALL AD101_GetDialDigit(int32_t nLine, char* szDigits)
{
    (void)szDigits;
    return nLine;
}
int32_t AD101_CALL AD101_GetCollateralDialDigit(int32_t nLine, char* szDigits)
{
    (void)szDigits;
    return nLine;
}
int32_t AD101_CALL AD101_GetCPUVersion(int32_t nLine, char* szVersion)
{
    (void)szVersion;
    return nLine;
}
int32_t AD101_CALL AD101_GetCPUID(int32_t nLine, char* szId)
{
    (void)szId;
    return nLine;
}
#endif
