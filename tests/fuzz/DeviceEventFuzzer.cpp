// Tavix CallerID: libFuzzer target for the device event path. Random message sequences go
// through DeviceWindowProc over a device whose texts, counts and records are fuzzed too. No
// application object: the event path needs none.
#include "DeviceStandIn.h"
#include "device/DeviceLibrary.h"
#include "log/ActivityLog.h"
#include "monitor/DeviceEventHandler.h"
#include "monitor/DeviceEvents.h"
#include "monitor/DeviceWindow.h"
#include "monitor/LineStatusModel.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <algorithm>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

FuzzedDataProvider* g_data = nullptr;

// Texts of any width up to the buffer, with or without the NUL, any bytes but CR and LF: a
// log entry then stays one line, so the trap's entries can be told from the device's texts.
void fuzzText(char* buffer, int width)
{
    if (!buffer)
        return;
    const size_t n = g_data->ConsumeIntegralInRange<size_t>(0, static_cast<size_t>(width));
    std::string bytes = g_data->ConsumeBytesAsString(n);
    std::replace_if(
        bytes.begin(), bytes.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    std::memcpy(buffer, bytes.data(), bytes.size());
    if (g_data->ConsumeBool())
        buffer[bytes.size()] = '\0';
}

// Answers from the fuzzer's data.
class FuzzDevice
{
  public:
    static FuzzDevice& current()
    {
        static FuzzDevice device;
        return device;
    }

    int32_t AD101_InitDevice(AD101WindowHandle) { return 1; }
    int32_t AD101_GetDevice() { return 1; }
    int32_t AD101_FreeDevice() { return 1; }
    int32_t AD101_SetLED(int32_t, int32_t) { return 1; }
    int32_t AD101_SetBusy(int32_t, int32_t) { return 1; }
    int32_t AD101_ShowCollateralPhoneDialed(int32_t) { return 1; }
    int32_t AD101_SetDialOutStartTalkingTime(int32_t) { return 1; }
    int32_t AD101_SetRingOffTime(int32_t) { return 1; }
    int32_t AD101_ReadParameter(int32_t) { return 1; }
    int32_t AD101_GetParameter(int32_t, AD101TimingParameters* p)
    {
        for (int32_t* v :
             {&p->RingOn, &p->RingOff, &p->HookOn, &p->HookOff, &p->CallerIdStop, &p->NoLine})
            *v = g_data->ConsumeIntegral<int32_t>();
        return 1;
    }
    int32_t AD101_SetParameter(int32_t, const AD101TimingParameters*) { return 1; }
    int32_t AD101_GetCallerID(int32_t, char* id, char* name, char* time)
    {
        fuzzText(id, AD101_CALLERID_WIDTH);
        fuzzText(name, AD101_NAME_WIDTH);
        fuzzText(time, AD101_TIME_WIDTH);
        return g_data->ConsumeIntegral<int32_t>();
    }
    int32_t AD101_GetRingIndex(int32_t) { return g_data->ConsumeIntegral<int32_t>(); }
    int32_t AD101_GetDialDigit(int32_t, char* b) { return fuzzText(b, AD101_DIGITS_WIDTH), 1; }
    int32_t AD101_GetCollateralDialDigit(int32_t, char* b)
    {
        return fuzzText(b, AD101_DIGITS_WIDTH), 1;
    }
    int32_t AD101_GetCPUVersion(int32_t, char* b) { return fuzzText(b, AD101_CPUVERSION_WIDTH), 1; }
    int32_t AD101_GetCPUID(int32_t, char* b) { return fuzzText(b, AD101_CPUID_WIDTH), 1; }
};

// The windows' side, with the same refusals as the real windows.
class FakeWindows : public DeviceEventListener
{
  public:
    void LightOn(int32_t line) override { lamp(line); }
    void LightOff(int32_t line) override { lamp(line); }
    void SendCall(const std::string&, const std::string&) override { ++calls; }
    bool showPhoneNumberTicked() const override { return ticked; }
    void showTimingParameters(int32_t line, const AD101TimingParameters&) override { lamp(line); }

    bool ticked = true;
    int calls = 0;

  private:
    static void lamp(int32_t line)
    {
        if (line < 0 || line > 3)
            throw std::out_of_range("Line index " + std::to_string(line) + " has no control");
    }
};

struct Message
{
    uint32_t message;
    int32_t wParam;
    int32_t lParam;
    bool operator==(const Message&) const = default;
};
std::vector<Message> g_passedOn;

int32_t recordingProc(AD101WindowHandle, uint32_t message, int32_t wParam, int32_t lParam)
{
    g_passedOn.push_back({message, wParam, lParam});
    return wParam ^ lParam;
}

struct World
{
    World()
        : folder(fs::temp_directory_path() / ("tavix-fuzz-" + std::to_string(getpid()))),
          log(folder / "tavix.log",
              [] {
                  return TimeOfDay{12, 0, 0};
              }),
          device(DeviceStandIn<FuzzDevice>::resolver()), handler(device, table, log, windows)
    {
        fs::create_directories(folder);
        table.build();
        window.replaceWindowProcedure(&recordingProc);
        window.installDeviceWindowProc(&handler);
    }

    fs::path folder;
    ActivityLog log;
    DeviceLibrary device;
    LineStatusModel table;
    FakeWindows windows;
    DeviceEventHandler handler;
    DeviceWindow window;
};

World* g_world = nullptr;

// Entries whose whole text is a line fault: device texts only ever follow a fixed prefix.
size_t countFaultEntries(const std::string& log)
{
    static const std::regex fault(
        "> 120000: Line index -?[0-9]+ (is out of range \\(0 to 3\\)|has no control)");
    size_t count = 0;
    size_t at = 0;
    for (size_t end; (end = log.find("\r\n...\r\n", at)) != std::string::npos; at = end + 7) {
        if (std::regex_match(log.begin() + static_cast<std::ptrdiff_t>(at),
                             log.begin() + static_cast<std::ptrdiff_t>(end), fault))
            ++count;
    }
    return count;
}

std::string readLog(const fs::path& path)
{
    std::string bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char chunk[65536];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
            bytes.append(chunk, n);
        std::fclose(f);
    }
    return bytes;
}

// Whether handling the notification on a line outside 0..3 must fault (once).
bool faultsOnBadLine(int32_t kind, int32_t lParam, bool ticked)
{
    switch (kind) {
    case EV_LINE_STATE:
        return lParam >= LS_HOOK_ON_PRA && lParam <= LS_NO_HOOK_NOPR;
    case EV_DIAL_DIGIT:
        return ticked;
    case EV_DEVICE_VERSION:
    case EV_BACK_CID:
    case EV_BACK_DEVICE:
    case EV_PARAMETER:
    case EV_BACK_CPU_ID:
    case EV_BACK_COLLATERAL:
    case EV_MISSED_CALL:
    case EV_TALK_TIME:
    case EV_BACK_ENABLE:
    case EV_DISABLE:
        return true;
    default:
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    (void)argc;
    (void)argv;
    static World world;
    g_world = &world;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    g_data = &data;
    World& w = *g_world;
    std::error_code ignored;
    fs::remove(w.log.path(), ignored);
    g_passedOn.clear();

    std::vector<Message> sent;
    size_t expectedFaults = 0;
    while (data.remaining_bytes() > 0 && sent.size() < 64) {
        Message m{data.ConsumeBool() ? WM_DEVICE_EVENT : data.ConsumeIntegral<uint32_t>(), 0, 0};
        // Mostly plausible events, sometimes anything at all.
        if (data.ConsumeBool())
            m.wParam =
                data.ConsumeIntegralInRange<int32_t>(-1, 5) * 65536 +
                data.PickValueInArray({7, 8, 9, 10, 11, 12, 13, 14, 170, 187, 238, 255, 0, 300});
        else
            m.wParam = data.ConsumeIntegral<int32_t>();
        m.lParam = data.ConsumeBool() ? data.ConsumeIntegralInRange<int32_t>(-1, 12)
                                      : data.ConsumeIntegral<int32_t>();
        w.windows.ticked = data.ConsumeBool();
        const int32_t line = lineOf(m.wParam);
        if (m.message == WM_DEVICE_EVENT && (line < 0 || line > 3) &&
            faultsOnBadLine(kindOf(m.wParam), m.lParam, w.windows.ticked))
            ++expectedFaults;
        const int32_t result = w.window.send(m.message, m.wParam, m.lParam);
        if (result != (m.wParam ^ m.lParam))
            std::abort(); // the previous procedure's result must come back unchanged
        sent.push_back(m);
    }

    // Every message passed on exactly once, unchanged, in order.
    if (g_passedOn != sent)
        std::abort();
    // No row outside 0..3: still the same four rows.
    if (w.table.rowCount() != kLineCount)
        std::abort();
    for (int line = 0; line < kLineCount; ++line)
        if (w.table.cellText(line, COL_LINE_ID) != "0" + std::to_string(line + 1))
            std::abort();
    // One log line per trapped fault.
    if (countFaultEntries(readLog(w.log.path())) != expectedFaults)
        std::abort();
    g_data = nullptr;
    return 0;
}
