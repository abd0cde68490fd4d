// Tavix CallerID: the program's interface to the AD101 device library.
#include "device/DeviceLibrary.h"

#include "device/SharedLibrary.h"

namespace {

// Hands a field to the library with the fill it expects, and keeps the library from
// claiming more than the width: the byte after the last character stays NUL.
char* prepared(DeviceTextField& field, int expectedWidth)
{
    if (field.width() != expectedWidth)
        throw std::invalid_argument("device text field has width " + std::to_string(field.width()) +
                                    ", the library writes " + std::to_string(expectedWidth));
    field.clear();
    return field.buffer();
}

void terminate(DeviceTextField& field)
{
    field.buffer()[field.width()] = '\0';
}

} // namespace

DeviceLibrary::DeviceLibrary() : m_library(std::make_unique<SharedLibrary>(kLibraryFileName))
{
    m_resolve = [library = m_library.get()](const char* name) { return library->resolve(name); };
}

DeviceLibrary::DeviceLibrary(Resolver resolver) : m_resolve(std::move(resolver)) {}

DeviceLibrary::~DeviceLibrary() = default;

template <typename Fn> Fn DeviceLibrary::entry(Fn& cache, const char* name)
{
    if (!cache) {
        void* address = m_resolve(name);
        if (!address)
            throw DeviceError(std::string("The device library has no entry \"") + name + "\"");
        cache = reinterpret_cast<Fn>(address);
    }
    return cache;
}

void DeviceLibrary::resolveAll()
{
#define TAVIX_RESOLVE_ENTRY(name, parameters, arguments) entry(m_##name, #name);
    AD101_ENTRIES(TAVIX_RESOLVE_ENTRY)
#undef TAVIX_RESOLVE_ENTRY
}

#define TAVIX_DEFINE_WRAPPER(name, parameters, arguments)                                          \
    int32_t DeviceLibrary::name parameters                                                         \
    {                                                                                              \
        return entry(m_##name, #name) arguments;                                                   \
    }
AD101_ENTRIES(TAVIX_DEFINE_WRAPPER)
#undef TAVIX_DEFINE_WRAPPER

int32_t DeviceLibrary::AD101_GetCallerID(int32_t nLine, DeviceTextField& callerId,
                                         DeviceTextField* name, DeviceTextField* time)
{
    // Looked up before the fields are touched, as a missing entry leaves them as they were.
    entry(m_AD101_GetCallerID, "AD101_GetCallerID");
    char* nameBuffer = name ? prepared(*name, AD101_NAME_WIDTH) : nullptr;
    char* timeBuffer = time ? prepared(*time, AD101_TIME_WIDTH) : nullptr;
    const int32_t count =
        AD101_GetCallerID(nLine, prepared(callerId, AD101_CALLERID_WIDTH), nameBuffer, timeBuffer);
    terminate(callerId);
    if (name)
        terminate(*name);
    if (time)
        terminate(*time);
    return count;
}

int32_t DeviceLibrary::AD101_GetDialDigit(int32_t nLine, DeviceTextField& digits)
{
    entry(m_AD101_GetDialDigit, "AD101_GetDialDigit");
    const int32_t result = AD101_GetDialDigit(nLine, prepared(digits, AD101_DIGITS_WIDTH));
    terminate(digits);
    return result;
}

int32_t DeviceLibrary::AD101_GetCollateralDialDigit(int32_t nLine, DeviceTextField& digits)
{
    entry(m_AD101_GetCollateralDialDigit, "AD101_GetCollateralDialDigit");
    const int32_t result =
        AD101_GetCollateralDialDigit(nLine, prepared(digits, AD101_DIGITS_WIDTH));
    terminate(digits);
    return result;
}

int32_t DeviceLibrary::AD101_GetCPUVersion(int32_t nLine, DeviceTextField& version)
{
    entry(m_AD101_GetCPUVersion, "AD101_GetCPUVersion");
    const int32_t result = AD101_GetCPUVersion(nLine, prepared(version, AD101_CPUVERSION_WIDTH));
    terminate(version);
    return result;
}

int32_t DeviceLibrary::AD101_GetCPUID(int32_t nLine, DeviceTextField& id)
{
    entry(m_AD101_GetCPUID, "AD101_GetCPUID");
    const int32_t result = AD101_GetCPUID(nLine, prepared(id, AD101_CPUID_WIDTH));
    terminate(id);
    return result;
}
