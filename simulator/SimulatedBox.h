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
    int32_t AD101_InitDevice(AD101WindowHandle window);
    int32_t AD101_GetDevice();
    int32_t AD101_FreeDevice();
    int32_t AD101_SetLED(int32_t line, int32_t code);
    int32_t AD101_SetBusy(int32_t line, int32_t flag);
    int32_t AD101_ShowCollateralPhoneDialed(int32_t show);
    int32_t AD101_SetDialOutStartTalkingTime(int32_t seconds);
    int32_t AD101_SetRingOffTime(int32_t seconds);
    int32_t AD101_ReadParameter(int32_t line);
    int32_t AD101_GetParameter(int32_t line, AD101TimingParameters* record);
    int32_t AD101_SetParameter(int32_t line, const AD101TimingParameters* record);
    int32_t AD101_GetCallerID(int32_t line, char* callerId, char* name, char* time);
    int32_t AD101_GetRingIndex(int32_t line);
    int32_t AD101_GetDialDigit(int32_t line, char* digits);
    int32_t AD101_GetCollateralDialDigit(int32_t line, char* digits);
    int32_t AD101_GetCPUVersion(int32_t line, char* version);
    int32_t AD101_GetCPUID(int32_t line, char* id);

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
