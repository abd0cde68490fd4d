// Tavix CallerID tests: an in-process stand-in for the device library, made from the table of
// entries.
#pragma once

#include "device/Ad101Trace.h"
#include "device/DeviceLibrary.h"
#include "device/ad101_api.h"

#include <string>
#include <string_view>

// One C entry per library entry, with the library's calling convention, each handing the call
// to the member of the same name of `Device::current()`; a Device with record(std::string) is
// given each call's trace line first. resolver() hands the entries to a DeviceLibrary by name.
template <typename Device> class DeviceStandIn
{
  public:
    static DeviceLibrary::Resolver resolver()
    {
        return [](const char* name) -> void* {
            if (void* entry = find(name))
                return entry;
            throw DeviceError(std::string("The device library has no entry \"") + name + "\"");
        };
    }

    static void* find(std::string_view name)
    {
#define TAVIX_FIND_ENTRY(entry, parameters, arguments)                                             \
    if (name == #entry)                                                                            \
        return reinterpret_cast<void*>(&DeviceStandIn::entry);
        AD101_ENTRIES(TAVIX_FIND_ENTRY)
#undef TAVIX_FIND_ENTRY
        return nullptr;
    }

  private:
    template <typename Trace> static Device& device(const Trace& trace)
    {
        Device& current = Device::current();
        if constexpr (requires { current.record(std::string()); })
            current.record(trace());
        return current;
    }

#define TAVIX_STAND_IN_ENTRY(name, parameters, arguments)                                          \
    static int32_t AD101_CALL name parameters                                                      \
    {                                                                                              \
        return device([&] { return Ad101Trace::of(#name) arguments; }).name arguments;             \
    }
    AD101_ENTRIES(TAVIX_STAND_IN_ENTRY)
#undef TAVIX_STAND_IN_ENTRY
};
