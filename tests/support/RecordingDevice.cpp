// Tavix CallerID tests: a recording fake of the device library behind DeviceLibrary.
#include "RecordingDevice.h"

#include <cstring>
#if defined(_WIN32)
#include <windows.h>
#endif
#include <map>
#include <stdexcept>

namespace {

RecordingDevice* g_current = nullptr;

std::string arg(const void* buffer) { return buffer ? "buf" : "null"; }

// Copies at most `width` characters and the NUL, as the real library promises.
void answer(char* buffer, const std::string& text, size_t width)
{
    if (!buffer)
        return;
    const size_t n = std::min(text.size(), width);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

RecordingDevice::Line empty;

RecordingDevice::Line& lineFor(int32_t index)
{
    auto* line = RecordingDevice::current().lineOrNull(index);
    empty = {};
    return line ? *line : empty;
}

void rec(std::string text) { RecordingDevice::current().record(std::move(text)); }
std::string num(int32_t value) { return std::to_string(value); }

extern "C" {
int32_t AD101_CALL fakeInitDevice(AD101WindowHandle hWnd)
{
    RecordingDevice::current().m_initHandle = hWnd;
    rec("AD101_InitDevice handle");
    return 1;
}
int32_t AD101_CALL fakeGetDevice() { return rec("AD101_GetDevice"), 1; }
int32_t AD101_CALL fakeFreeDevice() { return rec("AD101_FreeDevice"), 1; }
int32_t AD101_CALL fakeSetLED(int32_t l, int32_t c) { return rec("AD101_SetLED " + num(l) + " " + num(c)), 1; }
int32_t AD101_CALL fakeSetBusy(int32_t l, int32_t f) { return rec("AD101_SetBusy " + num(l) + " " + num(f)), 1; }
int32_t AD101_CALL fakeShowCollateral(int32_t s) { return rec("AD101_ShowCollateralPhoneDialed " + num(s)), 1; }
int32_t AD101_CALL fakeSetDialOut(int32_t s) { return rec("AD101_SetDialOutStartTalkingTime " + num(s)), 1; }
int32_t AD101_CALL fakeSetRingOff(int32_t s) { return rec("AD101_SetRingOffTime " + num(s)), 1; }
int32_t AD101_CALL fakeReadParameter(int32_t l) { return rec("AD101_ReadParameter " + num(l)), 1; }
int32_t AD101_CALL fakeGetParameter(int32_t l, AD101TimingParameters* p)
{
    rec("AD101_GetParameter " + num(l) + " " + arg(p));
    if (p)
        *p = lineFor(l).parameters;
    return 1;
}
int32_t AD101_CALL fakeSetParameter(int32_t l, AD101TimingParameters* p)
{
    std::string text = "AD101_SetParameter " + num(l);
    if (p) {
        for (int32_t v : {p->RingOn, p->RingOff, p->HookOn, p->HookOff, p->CallerIdStop, p->NoLine})
            text += " " + num(v);
        lineFor(l).parameters = *p;
    } else {
        text += " null";
    }
    rec(text);
    return 1;
}
int32_t AD101_CALL fakeGetCallerID(int32_t l, char* id, char* name, char* time)
{
    rec("AD101_GetCallerID " + num(l) + " " + arg(id) + " " + arg(name) + " " + arg(time));
    const auto& line = lineFor(l);
    answer(id, line.callerId, AD101_CALLERID_WIDTH);
    answer(name, line.name, AD101_NAME_WIDTH);
    answer(time, line.time, AD101_TIME_WIDTH);
    return line.callerIdCount;
}
int32_t AD101_CALL fakeGetRingIndex(int32_t l) { return rec("AD101_GetRingIndex " + num(l)), lineFor(l).rings; }
int32_t AD101_CALL fakeGetDialDigit(int32_t l, char* b)
{
    rec("AD101_GetDialDigit " + num(l) + " " + arg(b));
    answer(b, lineFor(l).digits, AD101_DIGITS_WIDTH);
    return 1;
}
int32_t AD101_CALL fakeGetCollateral(int32_t l, char* b)
{
    rec("AD101_GetCollateralDialDigit " + num(l) + " " + arg(b));
    answer(b, lineFor(l).collateral, AD101_DIGITS_WIDTH);
    return 1;
}
int32_t AD101_CALL fakeGetCPUVersion(int32_t l, char* b)
{
    rec("AD101_GetCPUVersion " + num(l) + " " + arg(b));
    answer(b, lineFor(l).cpuVersion, AD101_CPUVERSION_WIDTH);
    return 1;
}
int32_t AD101_CALL fakeGetCPUID(int32_t l, char* b)
{
    rec("AD101_GetCPUID " + num(l) + " " + arg(b));
    answer(b, lineFor(l).cpuId, AD101_CPUID_WIDTH);
    return 1;
}
}

const std::map<std::string, void*>& entries()
{
    static const std::map<std::string, void*> table = {
        {"AD101_InitDevice", reinterpret_cast<void*>(&fakeInitDevice)},
        {"AD101_GetDevice", reinterpret_cast<void*>(&fakeGetDevice)},
        {"AD101_FreeDevice", reinterpret_cast<void*>(&fakeFreeDevice)},
        {"AD101_SetLED", reinterpret_cast<void*>(&fakeSetLED)},
        {"AD101_SetBusy", reinterpret_cast<void*>(&fakeSetBusy)},
        {"AD101_ShowCollateralPhoneDialed", reinterpret_cast<void*>(&fakeShowCollateral)},
        {"AD101_SetDialOutStartTalkingTime", reinterpret_cast<void*>(&fakeSetDialOut)},
        {"AD101_SetRingOffTime", reinterpret_cast<void*>(&fakeSetRingOff)},
        {"AD101_ReadParameter", reinterpret_cast<void*>(&fakeReadParameter)},
        {"AD101_GetParameter", reinterpret_cast<void*>(&fakeGetParameter)},
        {"AD101_SetParameter", reinterpret_cast<void*>(&fakeSetParameter)},
        {"AD101_GetCallerID", reinterpret_cast<void*>(&fakeGetCallerID)},
        {"AD101_GetRingIndex", reinterpret_cast<void*>(&fakeGetRingIndex)},
        {"AD101_GetDialDigit", reinterpret_cast<void*>(&fakeGetDialDigit)},
        {"AD101_GetCollateralDialDigit", reinterpret_cast<void*>(&fakeGetCollateral)},
        {"AD101_GetCPUVersion", reinterpret_cast<void*>(&fakeGetCPUVersion)},
        {"AD101_GetCPUID", reinterpret_cast<void*>(&fakeGetCPUID)},
    };
    return table;
}

} // namespace

RecordingDevice::RecordingDevice()
{
    if (g_current)
        throw std::logic_error("only one RecordingDevice at a time");
    g_current = this;
}

RecordingDevice::~RecordingDevice() { g_current = nullptr; }

RecordingDevice& RecordingDevice::current()
{
    if (!g_current)
        throw std::logic_error("no RecordingDevice");
    return *g_current;
}

RecordingDevice::Line* RecordingDevice::lineOrNull(int32_t index)
{
    if (index < 0 || index >= static_cast<int32_t>(m_lines.size()))
        return nullptr;
    return &m_lines[static_cast<size_t>(index)];
}

void RecordingDevice::postToProgram(uint32_t message, int32_t wParam, int32_t lParam) const
{
#if defined(_WIN32)
    PostMessageW(reinterpret_cast<HWND>(m_initHandle), message, static_cast<WPARAM>(wParam),
                 static_cast<LPARAM>(lParam));
#else
    auto* port = reinterpret_cast<AD101MessagePort*>(m_initHandle);
    port->post(port->context, message, wParam, lParam);
#endif
}

DeviceLibrary::Resolver RecordingDevice::resolver()
{
    return [this](const char* name) -> void* {
        if (m_missing.count(name))
            throw DeviceError(std::string("The device library has no entry \"") + name + "\"");
        auto it = entries().find(name);
        if (it == entries().end())
            throw DeviceError(std::string("unknown entry ") + name);
        return it->second;
    };
}
