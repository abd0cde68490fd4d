// Tavix CallerID simulator: the timed event sequences of a shop's day on one line.
#pragma once

#include "simulator/BoxState.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// One moment of a scenario: changes line `index` and returns the events to post, in order.
struct ScenarioStep
{
    std::chrono::milliseconds at; // after the scenario started
    std::function<std::vector<DeviceEvent>(int32_t index, LineState& line)> apply;
};

struct Scenario
{
    std::vector<ScenarioStep> steps;
    // The scenario takes the line over: what another scenario still had pending is dropped.
    bool takesOverLine = true;
};

struct IncomingCall
{
    std::string number;
    std::string name;
    std::string time; // empty: the box's clock at the caller ID, as MMDDhhmm
    std::chrono::milliseconds interval{1000};
};

namespace LineScenarios {

// Rings, the caller ID after the first ring, further rings, and a missed call when nobody
// answers within the ring-off time.
Scenario call(const IncomingCall& call, const BoxSettings& settings);
// Off hook: stops the ringing and starts the talk timer.
Scenario answer();
// The talk time when the line was off hook, then on hook; the call's texts are cleared.
Scenario hangup();
// Off hook (unless already), then one event per digit; talking starts the dial-out wait
// after the last digit.
Scenario dial(const std::string& digits, std::chrono::milliseconds interval,
              const BoxSettings& settings);
// The digits dialled on an extension telephone of the line.
Scenario extension(const std::string& digits);
// The line's cable is pulled: no line, then the channel disabled.
Scenario unplug();
// The line's cable is back: the channel reports itself, is enabled and on hook.
Scenario plug();

} // namespace LineScenarios
