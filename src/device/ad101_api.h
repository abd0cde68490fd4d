/* Tavix CallerID: the C interface of the AD101 device library, shared by the program and the
 * simulated box. */
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define AD101_CALL __stdcall
#else
#define AD101_CALL
#endif

/* Text buffer widths in characters; each buffer holds one more byte for the NUL. */
#define AD101_CALLERID_WIDTH 128
#define AD101_NAME_WIDTH 128
#define AD101_TIME_WIDTH 128
#define AD101_DIGITS_WIDTH 128
#define AD101_CPUVERSION_WIDTH 32
#define AD101_CPUID_WIDTH 4

/* Six per-line timing values in units of 10 ms, exchanged by address. */
typedef struct AD101TimingParameters
{
    int32_t RingOn;
    int32_t RingOff;
    int32_t HookOn;
    int32_t HookOff;
    int32_t CallerIdStop;
    int32_t NoLine;
} AD101TimingParameters;

/*
 * Where there is no window system, the "window handle" given to AD101_InitDevice is the
 * address of a message port owned by the program. The box posts through it, from any
 * thread; post() only queues and returns at once.
 */
#define AD101_PORT_MAGIC 0x504D5854u /* "TXMP" */
typedef struct AD101MessagePort
{
    uint32_t magic;
    void* context;
    void (*post)(void* context, uint32_t message, int32_t wParam, int32_t lParam);
} AD101MessagePort;

/* The window the box posts its events to: a window handle on Windows, a message port elsewhere.
 * Pointer-sized, as the library takes it. */
typedef struct AD101Window* AD101WindowHandle;

/*
 * Every entry of the library, once: X(name, parameters, arguments), each returning int32_t.
 * The program's loader, the simulated box's exports and its .def file, and the tests' and
 * benchmarks' stand-ins are all made from this list: a new entry is one line here.
 */
/* clang-format off */
#define AD101_ENTRIES(X)                                                                           \
    X(AD101_InitDevice, (AD101WindowHandle hWnd), (hWnd))                                          \
    X(AD101_GetDevice, (void), ())                                                                 \
    X(AD101_FreeDevice, (void), ())                                                                \
    X(AD101_SetLED, (int32_t nLine, int32_t ledCode), (nLine, ledCode))                            \
    X(AD101_SetBusy, (int32_t nLine, int32_t flag), (nLine, flag))                                 \
    X(AD101_ShowCollateralPhoneDialed, (int32_t show), (show))                                     \
    X(AD101_SetDialOutStartTalkingTime, (int32_t seconds), (seconds))                              \
    X(AD101_SetRingOffTime, (int32_t seconds), (seconds))                                          \
    X(AD101_ReadParameter, (int32_t nLine), (nLine))                                               \
    X(AD101_GetParameter, (int32_t nLine, AD101TimingParameters* record), (nLine, record))         \
    X(AD101_SetParameter, (int32_t nLine, const AD101TimingParameters* record), (nLine, record))   \
    X(AD101_GetCallerID, (int32_t nLine, char* szCallerID, char* szName, char* szTime),            \
      (nLine, szCallerID, szName, szTime))                                                         \
    X(AD101_GetRingIndex, (int32_t nLine), (nLine))                                                \
    X(AD101_GetDialDigit, (int32_t nLine, char* szDigits), (nLine, szDigits))                      \
    X(AD101_GetCollateralDialDigit, (int32_t nLine, char* szDigits), (nLine, szDigits))            \
    X(AD101_GetCPUVersion, (int32_t nLine, char* szVersion), (nLine, szVersion))                   \
    X(AD101_GetCPUID, (int32_t nLine, char* szId), (nLine, szId))
/* clang-format on */

#define AD101_DECLARE_ENTRY(name, parameters, arguments) int32_t AD101_CALL name parameters;
AD101_ENTRIES(AD101_DECLARE_ENTRY)
#undef AD101_DECLARE_ENTRY

#ifdef __cplusplus
}

static_assert(sizeof(AD101TimingParameters) == 24, "the record is six 32-bit values");
static_assert(offsetof(AD101TimingParameters, NoLine) == 20, "fields are packed in order");
#endif
