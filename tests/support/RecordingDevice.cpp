// Tavix CallerID tests: a recording fake of the device library behind DeviceLibrary.
#include "RecordingDevice.h"

#include "DeviceStandIn.h"
#include "TestPlatform.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

RecordingDevice* g_current = nullptr;

// Copies at most `width` characters and the NUL, as the real library promises.
void answer(char* buffer, const std::string& text, size_t width)
{
    if (!buffer)
        return;
    const size_t n = std::min(text.size(), width);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

} // namespace

RecordingDevice::RecordingDevice()
{
    if (g_current)
        throw std::logic_error("only one RecordingDevice at a time");
    g_current = this;
}

RecordingDevice::~RecordingDevice()
{
    g_current = nullptr;
}

RecordingDevice& RecordingDevice::current()
{
    if (!g_current)
        throw std::logic_error("no RecordingDevice");
    return *g_current;
}

RecordingDevice::Line& RecordingDevice::lineFor(int32_t index)
{
    if (index < 0 || index >= static_cast<int32_t>(m_lines.size())) {
        m_otherLine = {};
        return m_otherLine;
    }
    return m_lines[static_cast<size_t>(index)];
}

void RecordingDevice::postToProgram(uint32_t message, int32_t wParam, int32_t lParam) const
{
    TestPlatform::postToWindow(m_initHandle, message, wParam, lParam);
}

DeviceLibrary::Resolver RecordingDevice::resolver()
{
    return [this](const char* name) -> void* {
        if (m_missing.count(name))
            throw DeviceError(std::string("The device library has no entry \"") + name + "\"");
        return DeviceStandIn<RecordingDevice>::resolver()(name);
    };
}

int32_t RecordingDevice::AD101_InitDevice(AD101WindowHandle hWnd)
{
    m_initHandle = hWnd;
    return 1;
}

int32_t RecordingDevice::AD101_GetParameter(int32_t nLine, AD101TimingParameters* record)
{
    if (record)
        *record = lineFor(nLine).parameters;
    return 1;
}

int32_t RecordingDevice::AD101_SetParameter(int32_t nLine, const AD101TimingParameters* record)
{
    if (record)
        lineFor(nLine).parameters = *record;
    return 1;
}

int32_t RecordingDevice::AD101_GetCallerID(int32_t nLine, char* szCallerID, char* szName,
                                           char* szTime)
{
    const Line& line = lineFor(nLine);
    answer(szCallerID, line.callerId, AD101_CALLERID_WIDTH);
    answer(szName, line.name, AD101_NAME_WIDTH);
    answer(szTime, line.time, AD101_TIME_WIDTH);
    return line.callerIdCount;
}

int32_t RecordingDevice::AD101_GetDialDigit(int32_t nLine, char* szDigits)
{
    answer(szDigits, lineFor(nLine).digits, AD101_DIGITS_WIDTH);
    return 1;
}

int32_t RecordingDevice::AD101_GetCollateralDialDigit(int32_t nLine, char* szDigits)
{
    answer(szDigits, lineFor(nLine).collateral, AD101_DIGITS_WIDTH);
    return 1;
}

int32_t RecordingDevice::AD101_GetCPUVersion(int32_t nLine, char* szVersion)
{
    answer(szVersion, lineFor(nLine).cpuVersion, AD101_CPUVERSION_WIDTH);
    return 1;
}

int32_t RecordingDevice::AD101_GetCPUID(int32_t nLine, char* szId)
{
    answer(szId, lineFor(nLine).cpuId, AD101_CPUID_WIDTH);
    return 1;
}
