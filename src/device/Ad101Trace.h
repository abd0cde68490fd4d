// Tavix CallerID: one library call as a line of text, "AD101_SetLED 0 3": the simulated box's
// trace and the tests' recording stand-in write the same lines.
#pragma once

#include "device/ad101_api.h"

#include <string>

namespace Ad101Trace {

inline std::string argument(int32_t value)
{
    return std::to_string(value);
}
inline std::string argument(AD101WindowHandle)
{
    return "handle";
}
// Buffers the library fills.
inline std::string argument(const char* buffer)
{
    return buffer ? "buf" : "null";
}
inline std::string argument(AD101TimingParameters* record)
{
    return record ? "buf" : "null";
}
// A record the library is given: its six values.
inline std::string argument(const AD101TimingParameters* record)
{
    if (!record)
        return "null";
    std::string text;
    for (int32_t value : {record->RingOn, record->RingOff, record->HookOn, record->HookOff,
                          record->CallerIdStop, record->NoLine})
        text.append(text.empty() ? "" : " ").append(std::to_string(value));
    return text;
}

// of("AD101_SetLED")(0, 3) is "AD101_SetLED 0 3": written after an entry's name, an entry's
// argument list from the table of entries makes its line.
struct Call
{
    const char* name;
    template <typename... Arguments> std::string operator()(Arguments... arguments) const
    {
        std::string line = name;
        ((line += ' ', line += argument(arguments)), ...);
        return line;
    }
};
inline Call of(const char* name)
{
    return {name};
}

} // namespace Ad101Trace
