// Tavix CallerID tests: the simulated box as a Windows program meets it, through its window and
// tavix-sim.exe.
#include "device/ad101_api.h"
#include "monitor/DeviceEvents.h"
#include "simulator/ControlChannel.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Event = std::pair<int32_t, int32_t>; // wParam, lParam

Event event(int32_t line, int32_t kind, int32_t lParam = 0)
{
    return {line * 65536 + kind, lParam};
}

std::string programFolder()
{
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string file(path, length);
    return file.substr(0, file.find_last_of('\\'));
}

// Runs the tavix-sim.exe built beside this test; returns its exit code and all it printed.
std::pair<int, std::string> tavixSim(const std::string& arguments)
{
    const std::string command =
        "\"\"" + programFolder() + "\\tavix-sim.exe\" " + arguments + " 2>&1\"";
    FILE* pipe = _popen(command.c_str(), "rt");
    if (!pipe)
        return {-1, "cannot start " + command};
    std::string output;
    char chunk[4096];
    while (const size_t n = std::fread(chunk, 1, sizeof(chunk), pipe))
        output.append(chunk, n);
    return {_pclose(pipe), output};
}

class WindowsBoxTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "TavixBoxTestWindow";
        RegisterClassA(&windowClass); // already there from an earlier test is fine
        m_window = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                   nullptr, windowClass.hInstance, nullptr);
        ASSERT_NE(m_window, nullptr);
        // By name, as the program loads it: found beside the executable.
        const HMODULE library = LoadLibraryA("TavixHardware.dll");
        ASSERT_NE(library, nullptr) << "error " << GetLastError();
        const auto entry = [library](const char* name) {
            return reinterpret_cast<void*>(GetProcAddress(library, name));
        };
        m_init = reinterpret_cast<decltype(&AD101_InitDevice)>(entry("AD101_InitDevice"));
        m_free = reinterpret_cast<decltype(&AD101_FreeDevice)>(entry("AD101_FreeDevice"));
        m_setLed = reinterpret_cast<decltype(&AD101_SetLED)>(entry("AD101_SetLED"));
        m_setRingOffTime =
            reinterpret_cast<decltype(&AD101_SetRingOffTime)>(entry("AD101_SetRingOffTime"));
        ASSERT_TRUE(m_init && m_free && m_setLed && m_setRingOffTime);
    }

    void TearDown() override
    {
        if (m_free)
            m_free();
        if (m_window)
            DestroyWindow(m_window);
    }

    // Pumps the window's queue until `count` device events arrived or `timeout` passed.
    std::vector<Event> collect(size_t count, std::chrono::milliseconds timeout)
    {
        std::vector<Event> events;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (events.size() < count && std::chrono::steady_clock::now() < deadline) {
            MSG message;
            while (PeekMessageA(&message, m_window, 0, 0, PM_REMOVE)) {
                if (message.message == WM_DEVICE_EVENT)
                    events.emplace_back(static_cast<int32_t>(message.wParam),
                                        static_cast<int32_t>(message.lParam));
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_POSTMESSAGE);
        }
        return events;
    }

    // Exactly these events, in this order, and nothing after them.
    void expectEvents(const std::vector<Event>& expected)
    {
        EXPECT_EQ(collect(expected.size(), 5s), expected);
        EXPECT_EQ(collect(1, 300ms), std::vector<Event>{}) << "an event came twice or unasked";
    }

    void open()
    {
        ASSERT_EQ(m_init(reinterpret_cast<AD101WindowHandle>(m_window)), 1);
        ASSERT_EQ(collect(12, 5s).size(), 12u);
    }

    HWND m_window = nullptr;
    decltype(&AD101_InitDevice) m_init = nullptr;
    decltype(&AD101_FreeDevice) m_free = nullptr;
    decltype(&AD101_SetLED) m_setLed = nullptr;
    decltype(&AD101_SetRingOffTime) m_setRingOffTime = nullptr;
};

TEST_F(WindowsBoxTest, OpeningPostsEachLinesReportsToTheWindow)
{
    ASSERT_EQ(m_init(reinterpret_cast<AD101WindowHandle>(m_window)), 1);
    std::vector<Event> expected;
    for (int32_t kind : {EV_BACK_DEVICE, EV_BACK_CPU_ID, EV_BACK_ENABLE}) {
        for (int32_t line = 0; line < 4; ++line)
            expected.push_back(event(line, kind));
    }
    expectEvents(expected);
}

TEST_F(WindowsBoxTest, TavixSimDrivesTheBoxThroughItsPipe)
{
    open();
    ASSERT_EQ(tavixSim("trace --clear").first, 0);
    ASSERT_EQ(m_setRingOffTime(1), 1);

    const auto [statusCode, status] = tavixSim("status");
    ASSERT_EQ(statusCode, 0) << status;
    const nlohmann::json box = nlohmann::json::parse(status);
    EXPECT_EQ(box.at("open"), true);
    EXPECT_EQ(box.at("ringOffTime"), 1);

    ASSERT_EQ(tavixSim("event 2 9 -5").first, 0);
    expectEvents({event(2, EV_BACK_CID, -5)});

    // Rings every 300 ms and the caller ID after the first, until the 1 s ring-off time.
    ASSERT_EQ(tavixSim("call 1 0123456789 --interval-ms 300").first, 0);
    const Event ring = event(1, EV_LINE_STATE, LS_RING);
    expectEvents({ring, event(1, EV_BACK_CID), ring, ring, ring,
                  event(1, EV_LINE_STATE, LS_RING_OFF), event(1, EV_MISSED_CALL)});

    EXPECT_EQ(tavixSim("trace"), std::pair(0, std::string("AD101_SetRingOffTime 1\n")));
}

TEST_F(WindowsBoxTest, PipeRefusesAsTheSocketDoes)
{
    open();
    // The box hangs up in the middle of the request; its reply must still arrive.
    const std::string reply =
        ControlClient(defaultControlAddress()).request(std::string(70000, ' '));
    EXPECT_EQ(nlohmann::json::parse(reply),
              (nlohmann::json{{"ok", false}, {"error", "request longer than 65536 bytes"}}));

    struct Case
    {
        std::string arguments;
        std::string message;
    };
    const std::vector<Case> cases = {
        {R"(--socket \\.\pipe\tavix-no-box status)",
         R"(no simulated AD101 box is running at \\.\pipe\tavix-no-box)"},
        {R"(--socket C:\tavix-not-a-pipe status)", "is not a pipe of this machine"},
    };
    for (const Case& c : cases) {
        const auto [code, output] = tavixSim(c.arguments);
        EXPECT_EQ(code, 1) << c.arguments;
        EXPECT_NE(output.find(c.message), std::string::npos) << c.arguments << ": " << output;
    }
    m_free();
    const auto [code, output] = tavixSim("answer 0");
    EXPECT_EQ(code, 1);
    EXPECT_NE(output.find("the box is closed"), std::string::npos) << output;
}

TEST_F(WindowsBoxTest, SilentClientIsDroppedSoOthersGetTheirTurn)
{
    open();
    const HANDLE silent = CreateFileA(defaultControlAddress().c_str(), GENERIC_READ | GENERIC_WRITE,
                                      0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(silent, INVALID_HANDLE_VALUE);
    // Waits its turn behind the silent client, which idles out well within tavix-sim's patience.
    const auto [code, output] = tavixSim("status");
    CloseHandle(silent);
    EXPECT_EQ(code, 0) << output;
}

TEST_F(WindowsBoxTest, TraceFileGetsEachCallAsItHappens)
{
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    const std::string path =
        std::string(folder) + "tavix-sim-trace-" + std::to_string(GetCurrentProcessId()) + ".txt";
    DeleteFileA(path.c_str());
    _putenv_s("TAVIX_SIM_TRACE", path.c_str());
    m_setLed(0, 3);
    m_setLed(5, 1);
    _putenv_s("TAVIX_SIM_TRACE", "");
    m_setLed(1, 2);

    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    file.close();
    DeleteFileA(path.c_str());
    EXPECT_EQ(text.str(), "AD101_SetLED 0 3\nAD101_SetLED 5 1\n");
}

} // namespace
