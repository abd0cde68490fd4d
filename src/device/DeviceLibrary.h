// Tavix CallerID: the program's interface to the AD101 device library.
#pragma once

#include "device/DeviceTextField.h"
#include "device/ad101_api.h"

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

// A device library that cannot be loaded, or an entry it lacks.
class DeviceError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Every entry of the library the program calls, in one list: X(name).
#define TAVIX_AD101_ENTRIES(X)                                                                     \
    X(AD101_InitDevice)                                                                            \
    X(AD101_GetDevice)                                                                             \
    X(AD101_FreeDevice)                                                                            \
    X(AD101_SetLED)                                                                                \
    X(AD101_SetBusy)                                                                               \
    X(AD101_ShowCollateralPhoneDialed)                                                             \
    X(AD101_SetDialOutStartTalkingTime)                                                            \
    X(AD101_SetRingOffTime)                                                                        \
    X(AD101_ReadParameter)                                                                         \
    X(AD101_GetParameter)                                                                          \
    X(AD101_SetParameter)                                                                          \
    X(AD101_GetCallerID)                                                                           \
    X(AD101_GetRingIndex)                                                                          \
    X(AD101_GetDialDigit)                                                                          \
    X(AD101_GetCollateralDialDigit)                                                                \
    X(AD101_GetCPUVersion)                                                                         \
    X(AD101_GetCPUID)

// Owns the loaded library. The library is loaded at the first call of any function, and each
// function is looked up by its entry name at its own first call; later calls reuse the address.
// A failed load or lookup throws DeviceError at that call and is tried again at the next one.
class DeviceLibrary
{
public:
    // Returns the address of the named entry or throws DeviceError.
    using Resolver = std::function<void*(const char* entry)>;

#if defined(_WIN32)
    static constexpr const char* kLibraryFileName = "TavixHardware.dll";
#else
    static constexpr const char* kLibraryFileName = "libTavixHardware.so";
#endif

    // The real library, by file name.
    DeviceLibrary();
    // Any other source of entries: a recording fake in tests, for instance.
    explicit DeviceLibrary(Resolver resolver);
    ~DeviceLibrary();
    DeviceLibrary(const DeviceLibrary&) = delete;
    DeviceLibrary& operator=(const DeviceLibrary&) = delete;

    // Looks up every entry the program uses, so that a library lacking one is refused before the
    // device is opened rather than when a caller comes. Throws DeviceError for the first one missing.
    void resolveAll();

    int32_t AD101_InitDevice(AD101WindowHandle window);
    int32_t AD101_GetDevice();
    int32_t AD101_FreeDevice();
    int32_t AD101_SetLED(int32_t nLine, int32_t ledCode);
    int32_t AD101_SetBusy(int32_t nLine, int32_t flag);
    int32_t AD101_ShowCollateralPhoneDialed(int32_t show);
    int32_t AD101_SetDialOutStartTalkingTime(int32_t seconds);
    int32_t AD101_SetRingOffTime(int32_t seconds);
    int32_t AD101_ReadParameter(int32_t nLine);
    int32_t AD101_GetParameter(int32_t nLine, AD101TimingParameters* record);
    int32_t AD101_SetParameter(int32_t nLine, AD101TimingParameters* record);
    // name and time may be null when only the count is wanted.
    int32_t AD101_GetCallerID(int32_t nLine, DeviceTextField& callerId, DeviceTextField* name,
                              DeviceTextField* time);
    int32_t AD101_GetRingIndex(int32_t nLine);
    int32_t AD101_GetDialDigit(int32_t nLine, DeviceTextField& digits);
    int32_t AD101_GetCollateralDialDigit(int32_t nLine, DeviceTextField& digits);
    int32_t AD101_GetCPUVersion(int32_t nLine, DeviceTextField& version);
    int32_t AD101_GetCPUID(int32_t nLine, DeviceTextField& id);

private:
    template <typename Fn> Fn entry(Fn& cache, const char* name);

    std::unique_ptr<class SharedLibrary> m_library;
    Resolver m_resolve;
#define TAVIX_DECLARE_ENTRY(name) decltype(&::name) m_##name = nullptr;
    TAVIX_AD101_ENTRIES(TAVIX_DECLARE_ENTRY)
#undef TAVIX_DECLARE_ENTRY
};
