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

// Owns the loaded library. The library is loaded at the first call of any function, and each
// function is looked up by its entry name at its own first call; later calls reuse the address.
// A failed load or lookup throws DeviceError at that call and is tried again at the next one.
class DeviceLibrary
{
  public:
    // Returns the address of the named entry or throws DeviceError.
    using Resolver = std::function<void*(const char* entry)>;

    // The library's file name on this system (defined with the platform's loader).
    static const char* const kLibraryFileName;

    // The real library, by file name.
    DeviceLibrary();
    // Any other source of entries: a recording fake in tests, for instance.
    explicit DeviceLibrary(Resolver resolver);
    ~DeviceLibrary();
    DeviceLibrary(const DeviceLibrary&) = delete;
    DeviceLibrary& operator=(const DeviceLibrary&) = delete;

    // Looks up every entry the program uses, so that a library lacking one is refused before the
    // device is opened rather than when a caller comes. Throws DeviceError for the first one
    // missing.
    void resolveAll();

    // Every entry as the library has it, by the table of entries.
#define TAVIX_DECLARE_WRAPPER(name, parameters, arguments) int32_t name parameters;
    AD101_ENTRIES(TAVIX_DECLARE_WRAPPER)
#undef TAVIX_DECLARE_WRAPPER

    // The same with the text fields the program uses: each is handed over all NUL at the width
    // the library writes (std::invalid_argument for another width), and its last byte stays NUL
    // whatever the library does. name and time may be null when only the count is wanted.
    int32_t AD101_GetCallerID(int32_t nLine, DeviceTextField& callerId, DeviceTextField* name,
                              DeviceTextField* time);
    int32_t AD101_GetDialDigit(int32_t nLine, DeviceTextField& digits);
    int32_t AD101_GetCollateralDialDigit(int32_t nLine, DeviceTextField& digits);
    int32_t AD101_GetCPUVersion(int32_t nLine, DeviceTextField& version);
    int32_t AD101_GetCPUID(int32_t nLine, DeviceTextField& id);

  private:
    template <typename Fn> Fn entry(Fn& cache, const char* name);

    std::unique_ptr<class SharedLibrary> m_library;
    Resolver m_resolve;
#define TAVIX_DECLARE_ENTRY(name, parameters, arguments) decltype(&::name) m_##name = nullptr;
    AD101_ENTRIES(TAVIX_DECLARE_ENTRY)
#undef TAVIX_DECLARE_ENTRY
};
