// Tavix CallerID tests: a program's side of the simulated box, for the tests that drive it.
#pragma once

#include "device/DeviceLibrary.h"
#include "monitor/DeviceWindow.h"

#include "ScopedEnv.h"
#include "TempDir.h"

#include <QStringList>

#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// The real box library loaded through DeviceLibrary, a device window whose procedure records
// every message, the box's runtime folder in a temporary XDG_RUNTIME_DIR, and the tavix-sim
// tool run as a child process. One at a time.
class SimulatorHarness
{
  public:
    struct Message
    {
        uint32_t message;
        int32_t wParam;
        int32_t lParam;
        bool operator==(const Message&) const = default;
        friend void PrintTo(const Message& m, std::ostream* out)
        {
            *out << "{" << m.message << ", wParam " << m.wParam << ", lParam " << m.lParam << "}";
        }
    };
    struct ToolRun
    {
        int exitCode;
        std::string out;
        std::string err;
    };

    SimulatorHarness();
    ~SimulatorHarness();
    SimulatorHarness(const SimulatorHarness&) = delete;
    SimulatorHarness& operator=(const SimulatorHarness&) = delete;

    DeviceLibrary& device() { return m_device; }
    DeviceWindow& window() { return *m_window; }
    const TempDir& runtimeDir() const { return m_runtimeDir; }
    // Where the box's control channel is.
    std::string controlAddress() const;
    // An address of the control channel where no box answers.
    std::string addressWithoutABox() const;

    // AD101_InitDevice with the port; waits for the twelve opening events and forgets them.
    void open();
    const std::vector<Message>& received() const { return m_received; }
    void forget() { m_received.clear(); }
    // Called on the GUI thread for each message as it is delivered, to read the box then.
    void onMessage(std::function<void(const Message&)> handler)
    {
        m_onMessage = std::move(handler);
    }

    // Runs the event loop until `done` holds; false when a generous deadline passes first.
    bool waitUntil(const std::function<bool()>& done);
    bool waitForMessages(size_t count);
    bool waitForMessage(const Message& message);
    // Runs the event loop for a while, so that anything wrongly still on its way arrives.
    void settle(std::chrono::milliseconds duration);
    // Posts a marker through the tool and waits for it: everything posted before it by the
    // box's worker has then arrived too.
    void drain();

    // `input`, when given, is the tool's standard input.
    ToolRun tool(const QStringList& arguments, const QByteArray& input = {});
    // `tavix-sim status`, parsed.
    nlohmann::json status();
    // `tavix-sim trace`, one entry per line.
    std::vector<std::string> trace();

    static Message event(int32_t line, int32_t kind, int32_t lParam = 0);

  private:
    static int32_t record(AD101WindowHandle window, uint32_t message, int32_t wParam,
                          int32_t lParam);

    TempDir m_runtimeDir;
    ScopedEnv m_runtimeEnv;
    DeviceLibrary m_device;
    std::unique_ptr<DeviceWindow> m_window;
    std::vector<Message> m_received;
    std::function<void(const Message&)> m_onMessage;
    bool m_opened = false;
};

// Fails the test with the tool's output when it did not succeed.
#define EXPECT_TOOL_OK(run)                                                                        \
    do {                                                                                           \
        const auto& toolRun_ = (run);                                                              \
        EXPECT_EQ(toolRun_.exitCode, 0) << toolRun_.err;                                           \
    } while (false)
