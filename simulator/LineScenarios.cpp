// Tavix CallerID simulator: the timed event sequences of a shop's day on one line.
#include "simulator/LineScenarios.h"

#include "monitor/DeviceEvents.h"
#include "platform/LocalTime.h"

#include <algorithm>
#include <ctime>

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;
using Events = std::vector<DeviceEvent>;

// Caller-ID services send the date and time of the call as month, day, hour and minute.
std::string callerIdClock()
{
    const std::tm local = localTime(std::time(nullptr));
    char text[16];
    std::strftime(text, sizeof(text), "%m%d%H%M", &local);
    return text;
}

void clearCall(LineState& line)
{
    line.callerId.clear();
    line.name.clear();
    line.time.clear();
    line.digits.clear();
    line.rings = 0;
    line.talkStart.reset();
}

ScenarioStep at(milliseconds when, decltype(ScenarioStep::apply) apply)
{
    return {when, std::move(apply)};
}

} // namespace

namespace LineScenarios {

Scenario call(const IncomingCall& call, const BoxSettings& settings)
{
    const milliseconds interval = std::max(call.interval, milliseconds(1));
    const milliseconds callerIdAt = interval / 2;
    const milliseconds ringOffAt =
        std::max(milliseconds(std::chrono::seconds(std::max(settings.ringOffTime, 0))), callerIdAt);

    Scenario scenario;
    scenario.steps.push_back(at(milliseconds(0), [](int32_t index, LineState& line) {
        clearCall(line);
        line.hook = Hook::On;
        line.rings = 1;
        return Events{lineEvent(index, EV_LINE_STATE, LS_RING)};
    }));
    // The caller ID travels in the pause after the first ring.
    scenario.steps.push_back(at(callerIdAt, [call](int32_t index, LineState& line) {
        line.callerId = call.number;
        line.name = call.name;
        line.time = call.time.empty() ? callerIdClock() : call.time;
        return Events{lineEvent(index, EV_BACK_CID)};
    }));
    for (milliseconds ring = interval; ring < ringOffAt; ring += interval) {
        scenario.steps.push_back(at(ring, [](int32_t index, LineState& line) {
            ++line.rings;
            return Events{lineEvent(index, EV_LINE_STATE, LS_RING)};
        }));
    }
    // The number stays readable after a missed call, as the caller to ring back.
    scenario.steps.push_back(at(ringOffAt, [](int32_t index, LineState& line) {
        line.rings = 0;
        return Events{lineEvent(index, EV_LINE_STATE, LS_RING_OFF),
                      lineEvent(index, EV_MISSED_CALL)};
    }));
    return scenario;
}

Scenario answer()
{
    // Ring index and caller ID stay until hang-up: the program keeps the number on screen.
    return {{at(milliseconds(0), [](int32_t index, LineState& line) {
        line.hook = Hook::Off;
        line.talkStart = Clock::now();
        return Events{lineEvent(index, EV_LINE_STATE, LS_HOOK_OFF_PRA)};
    })}};
}

Scenario hangup()
{
    return {{at(milliseconds(0), [](int32_t index, LineState& line) {
        Events events;
        if (line.hook == Hook::Off) {
            const auto talked = line.talkStart ? Clock::now() - *line.talkStart : Clock::duration();
            const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(talked).count();
            events.push_back(
                lineEvent(index, EV_TALK_TIME,
                          static_cast<int32_t>(std::clamp<int64_t>(seconds, 0, INT32_MAX))));
        }
        clearCall(line);
        line.hook = Hook::On;
        events.push_back(lineEvent(index, EV_LINE_STATE, LS_HOOK_ON_PRA));
        return events;
    })}};
}

Scenario dial(const std::string& digits, milliseconds interval, const BoxSettings& settings)
{
    const milliseconds spacing = std::max(interval, milliseconds(1));
    const std::chrono::seconds talkingWait(std::max(settings.dialOutStartTalkingTime, 0));

    Scenario scenario;
    scenario.steps.push_back(at(milliseconds(0), [](int32_t index, LineState& line) {
        if (line.hook == Hook::Off)
            return Events{};
        line.hook = Hook::Off;
        line.digits.clear();
        line.talkStart.reset();
        return Events{lineEvent(index, EV_LINE_STATE, LS_HOOK_OFF_PRA)};
    }));
    for (size_t i = 0; i < digits.size(); ++i) {
        const char digit = digits[i];
        const milliseconds when = spacing * static_cast<int64_t>(i + 1);
        scenario.steps.push_back(at(when, [digit, talkingWait](int32_t index, LineState& line) {
            line.digits += digit;
            // An outgoing call counts as talking once the wait after the last digit is over.
            line.talkStart = Clock::now() + talkingWait;
            return Events{lineEvent(index, EV_DIAL_DIGIT)};
        }));
    }
    return scenario;
}

Scenario extension(const std::string& digits)
{
    Scenario scenario{{at(milliseconds(0), [digits](int32_t index, LineState& line) {
        line.collateral = digits;
        return Events{lineEvent(index, EV_BACK_COLLATERAL)};
    })}};
    scenario.takesOverLine = false;
    return scenario;
}

Scenario unplug()
{
    return {{at(milliseconds(0), [](int32_t index, LineState& line) {
        clearCall(line);
        line.hook = Hook::NoLine;
        line.enabled = false;
        return Events{lineEvent(index, EV_LINE_STATE, LS_NO_LINE), lineEvent(index, EV_DISABLE)};
    })}};
}

Scenario plug()
{
    return {{at(milliseconds(0), [](int32_t index, LineState& line) {
        line.hook = Hook::On;
        line.enabled = true;
        return Events{lineEvent(index, EV_BACK_DEVICE), lineEvent(index, EV_BACK_ENABLE),
                      lineEvent(index, EV_LINE_STATE, LS_HOOK_ON_PRA)};
    })}};
}

} // namespace LineScenarios
