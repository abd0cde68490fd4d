// Tavix CallerID simulator: answers the requests that arrive on the control socket.
#include "simulator/BoxController.h"

#include "simulator/ControlServer.h"
#include "simulator/SimulatedBox.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <limits>
#include <map>

using nlohmann::json;

namespace {

// The request is wrong; the text says how.
class RequestError : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

std::string dump(const json& reply)
{
    // Texts set by hand may be any bytes; the reply stays valid JSON.
    return reply.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string errorReply(const std::string& message)
{
    return dump({{"ok", false}, {"error", message}});
}

const json& member(const json& request, const char* key)
{
    const auto it = request.find(key);
    if (it == request.end())
        throw RequestError(std::string("the request lacks \"") + key + "\"");
    return *it;
}

int64_t integer(const json& value, const char* key, int64_t low, int64_t high)
{
    bool inRange = false;
    int64_t number = 0;
    if (value.is_number_unsigned()) {
        // JSON gives every number without a sign as unsigned, up to 2^64 - 1.
        const auto unsignedNumber = value.get<uint64_t>();
        inRange = unsignedNumber <= static_cast<uint64_t>(high) &&
                  static_cast<int64_t>(unsignedNumber) >= low;
        number = static_cast<int64_t>(unsignedNumber);
    } else if (value.is_number_integer()) {
        number = value.get<int64_t>();
        inRange = number >= low && number <= high;
    } else {
        throw RequestError(std::string("\"") + key + "\" must be an integer");
    }
    if (!inRange)
        throw RequestError(std::string("\"") + key + "\" must be between " + std::to_string(low) +
                           " and " + std::to_string(high));
    return number;
}

int32_t int32Member(const json& request, const char* key)
{
    return static_cast<int32_t>(integer(member(request, key), key,
                                        std::numeric_limits<int32_t>::min(),
                                        std::numeric_limits<int32_t>::max()));
}

std::string textMember(const json& request, const char* key, const std::string& fallback = {},
                       bool required = true)
{
    const auto it = request.find(key);
    if (it == request.end()) {
        if (required)
            throw RequestError(std::string("the request lacks \"") + key + "\"");
        return fallback;
    }
    if (!it->is_string())
        throw RequestError(std::string("\"") + key + "\" must be a text");
    return it->get<std::string>();
}

std::chrono::milliseconds intervalMember(const json& request, int64_t fallback)
{
    const auto it = request.find("intervalMs");
    const int64_t ms = it == request.end() ? fallback : integer(*it, "intervalMs", 1, 3600000);
    return std::chrono::milliseconds(ms);
}

const char* hookName(Hook hook)
{
    switch (hook) {
    case Hook::On:
        return "on";
    case Hook::Off:
        return "off";
    case Hook::NoLine:
        return "noline";
    }
    return "unknown";
}

json parametersJson(const AD101TimingParameters& p)
{
    return {{"RingOn", p.RingOn},   {"RingOff", p.RingOff},           {"HookOn", p.HookOn},
            {"HookOff", p.HookOff}, {"CallerIdStop", p.CallerIdStop}, {"NoLine", p.NoLine}};
}

json statusJson(const BoxSnapshot& box)
{
    json lines = json::array();
    for (size_t index = 0; index < box.lines.size(); ++index) {
        const LineState& line = box.lines[index];
        lines.push_back({{"line", index},
                         {"enabled", line.enabled},
                         {"hook", hookName(line.hook)},
                         {"led", line.led},
                         {"busy", line.busy},
                         {"parameters", parametersJson(line.parameters)},
                         {"callerid", line.callerId},
                         {"name", line.name},
                         {"time", line.time},
                         {"digits", line.digits},
                         {"collateral", line.collateral},
                         {"cpuversion", line.cpuVersion},
                         {"cpuid", line.cpuId},
                         {"rings", line.rings}});
    }
    return {{"open", box.open},
            {"showCollateralPhoneDialed", box.settings.showCollateralPhoneDialed},
            {"dialOutStartTalkingTime", box.settings.dialOutStartTalkingTime},
            {"ringOffTime", box.settings.ringOffTime},
            {"lines", lines}};
}

// The settable texts of a line, by their names in the protocol and in tavix-sim.
const std::map<std::string, std::string LineState::*>& textFields()
{
    static const std::map<std::string, std::string LineState::*> fields = {
        {"callerid", &LineState::callerId},
        {"name", &LineState::name},
        {"time", &LineState::time},
        {"digits", &LineState::digits},
        {"collateral", &LineState::collateral},
        {"cpuversion", &LineState::cpuVersion},
        {"cpuid", &LineState::cpuId},
    };
    return fields;
}

void setField(SimulatedBox& box, const json& request)
{
    const int32_t line = int32Member(request, "line");
    const std::string field = textMember(request, "field");
    const json& value = member(request, "value");

    if (const auto text = textFields().find(field); text != textFields().end()) {
        if (!value.is_string())
            throw RequestError("\"" + field + "\" takes a text");
        const std::string newText = value.get<std::string>();
        box.changeLine(line, [&](LineState& state) { state.*(text->second) = newText; });
    } else if (field == "rings") {
        const auto rings = static_cast<int32_t>(integer(value, "value", INT32_MIN, INT32_MAX));
        box.changeLine(line, [rings](LineState& state) { state.rings = rings; });
    } else if (field == "parameters") {
        if (!value.is_array() || value.size() != 6)
            throw RequestError("\"parameters\" takes six integers");
        int32_t v[6];
        for (size_t i = 0; i < 6; ++i)
            v[i] = static_cast<int32_t>(integer(value[i], "value", INT32_MIN, INT32_MAX));
        box.changeLine(line, [&v](LineState& state) {
            state.parameters = {v[0], v[1], v[2], v[3], v[4], v[5]};
        });
    } else {
        throw RequestError("unknown field \"" + field +
                           "\" (callerid, name, time, digits, collateral, cpuversion, cpuid, "
                           "rings, parameters)");
    }
}

json answer(SimulatedBox& box, const json& request)
{
    const json ok = {{"ok", true}};
    const std::string command = textMember(request, "command");
    if (command == "status")
        return {{"ok", true}, {"status", statusJson(box.snapshot())}};
    if (command == "trace") {
        const auto clear = request.find("clear");
        if (clear != request.end() && !clear->is_boolean())
            throw RequestError("\"clear\" must be true or false");
        const bool take = clear != request.end() && clear->get<bool>();
        return {{"ok", true}, {"trace", take ? box.trace().take() : box.trace().lines()}};
    }
    if (command == "post") {
        box.post(int32Member(request, "wParam"), int32Member(request, "lParam"));
        return ok;
    }
    if (command == "set") {
        setField(box, request);
        return ok;
    }
    if (command == "call") {
        IncomingCall call;
        call.number = textMember(request, "number");
        call.name = textMember(request, "name", {}, false);
        call.time = textMember(request, "time", {}, false);
        call.interval = intervalMember(request, 1000);
        box.play(int32Member(request, "line"), LineScenarios::call(call, box.settings()));
        return ok;
    }
    if (command == "dial") {
        const std::string digits = textMember(request, "digits");
        box.play(int32Member(request, "line"),
                 LineScenarios::dial(digits, intervalMember(request, 300), box.settings()));
        return ok;
    }
    if (command == "extension") {
        box.play(int32Member(request, "line"),
                 LineScenarios::extension(textMember(request, "digits")));
        return ok;
    }
    static const std::map<std::string, Scenario (*)()> lineCommands = {
        {"answer", &LineScenarios::answer},
        {"hangup", &LineScenarios::hangup},
        {"unplug", &LineScenarios::unplug},
        {"plug", &LineScenarios::plug},
    };
    if (const auto it = lineCommands.find(command); it != lineCommands.end()) {
        box.play(int32Member(request, "line"), it->second());
        return ok;
    }
    throw RequestError("unknown command \"" + command + "\"");
}

} // namespace

std::string BoxController::handle(const std::string& request)
{
    try {
        const json parsed = json::parse(request);
        if (!parsed.is_object())
            return errorReply("a request is a JSON object");
        return dump(answer(m_box, parsed));
    } catch (const json::parse_error& error) {
        return errorReply(std::string("malformed request: ") + error.what());
    } catch (const RequestError& error) {
        return errorReply(error.what());
    } catch (const BoxError& error) {
        return errorReply(error.what());
    } catch (const std::exception& error) {
        return errorReply(std::string("the box could not do that: ") + error.what());
    }
}

std::string BoxController::tooLongReply()
{
    return errorReply("request longer than " + std::to_string(ControlServer::kMaxRequestBytes) +
                      " bytes");
}
