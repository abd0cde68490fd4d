// Tavix CallerID simulator: the simulated AD101 box behind the exported library entries.
#pragma once

#include "simulator/BoxState.h"
#include "simulator/CallTrace.h"
#include "simulator/EventScheduler.h"
#include "simulator/EventTarget.h"
#include "simulator/LineScenarios.h"

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

class ControlServer;

// A control request the box refuses: closed box, no such line.
class BoxError : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

// Four lines of state, a worker thread that posts the box's events, and the control socket.
// The library functions run on the program's thread and never post themselves: every event
// goes through the worker, so it reaches the program asynchronously, as from real hardware.
// Each opening starts from the factory defaults. While the box is closed (before
// AD101_InitDevice, after AD101_FreeDevice) the library functions do nothing and return 0,
// and nothing is posted; the control socket keeps answering reports.
class SimulatedBox
{
  public:
    // Made at the first library call. Platform-specific: whether it is destroyed at exit.
    static SimulatedBox& instance();
    ~SimulatedBox();
    SimulatedBox(const SimulatedBox&) = delete;
    SimulatedBox& operator=(const SimulatedBox&) = delete;

    CallTrace& trace() { return m_trace; }

    // The library functions, as their AD101_ namesakes.
    int32_t initDevice(AD101WindowHandle window);
    int32_t getDevice();
    int32_t freeDevice();
    int32_t setLed(int32_t line, int32_t code);
    int32_t setBusy(int32_t line, int32_t flag);
    int32_t showCollateralPhoneDialed(int32_t show);
    int32_t setDialOutStartTalkingTime(int32_t seconds);
    int32_t setRingOffTime(int32_t seconds);
    int32_t readParameter(int32_t line);
    int32_t getParameter(int32_t line, AD101TimingParameters* record);
    int32_t setParameter(int32_t line, const AD101TimingParameters* record);
    int32_t getCallerId(int32_t line, char* callerId, char* name, char* time);
    int32_t getRingIndex(int32_t line);
    int32_t getDialDigit(int32_t line, char* digits);
    int32_t getCollateralDialDigit(int32_t line, char* digits);
    int32_t getCpuVersion(int32_t line, char* version);
    int32_t getCpuId(int32_t line, char* id);

    // Control requests, from the control socket's thread. They throw BoxError.
    BoxSnapshot snapshot() const;
    BoxSettings settings() const;
    void post(int32_t wParam, int32_t lParam);
    void changeLine(int32_t line, const std::function<void(LineState&)>& change);
    void play(int32_t line, const Scenario& scenario);

  private:
    SimulatedBox();

    void closeSession();
    void startControlSocket();
    // Runs `query` on an open box's line; a closed box or another line gives 0.
    template <typename Query> int32_t query(int32_t line, Query query);
    // Writes one of the line's texts, cut to the buffer's width.
    int32_t getText(int32_t line, char* buffer, std::string LineState::*text, int width);
    template <typename Command> int32_t command(Command command);
    // These three expect m_mutex held.
    void requireOpen() const;
    LineState& openLine(int32_t line);
    void postSoon(std::vector<DeviceEvent> events);
    void runStep(int32_t line, uint64_t epoch, const ScenarioStep& step);

    mutable std::mutex m_mutex;
    bool m_open = false;
    EventTarget m_target;
    BoxSettings m_settings;
    std::array<LineState, kBoxLineCount> m_lines;

    CallTrace m_trace;
    EventScheduler m_worker;
    std::unique_ptr<ControlServer> m_server;
};
