// Tavix CallerID simulator: the exported C entries of the simulated device library.
#include "device/ad101_api.h"

#include "device/Ad101Trace.h"
#include "simulator/SimulatedBox.h"

#include <cstdio>
#include <exception>
#include <string>

// Everything else in the library is hidden (-fvisibility=hidden).
#define TAVIX_AD101_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// No exception may cross into the program, which knows only C.
template <typename Action> int32_t answered(Action action) noexcept
{
    try {
        return action(SimulatedBox::instance());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tavix-ad101: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "tavix-ad101: unknown failure\n");
    }
    return 0;
}

} // namespace

// Each entry records the call in the trace ("AD101_SetLED 0 3"), then lets the box's namesake
// answer.
#define TAVIX_EXPORT_ENTRY(name, parameters, arguments)                                            \
    TAVIX_AD101_EXPORT int32_t AD101_CALL name parameters                                          \
    {                                                                                              \
        return answered([&](SimulatedBox& box) {                                                   \
            box.trace().append(Ad101Trace::of(#name) arguments);                                   \
            return box.name arguments;                                                             \
        });                                                                                        \
    }
AD101_ENTRIES(TAVIX_EXPORT_ENTRY)
