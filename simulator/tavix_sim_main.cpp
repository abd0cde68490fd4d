// Tavix CallerID simulator: tavix-sim, the command-line remote of the simulated AD101 box.
#include "simulator/ControlChannel.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <charconv>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

using nlohmann::json;

namespace {

const std::vector<std::string> kTextFields = {"callerid",   "name",       "time", "digits",
                                              "collateral", "cpuversion", "cpuid"};

int32_t toInt32(const std::string& text, const std::string& what)
{
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        throw CLI::ValidationError(what, "\"" + text + "\" is not a signed 32-bit integer");
    return value;
}

// wParam = line * 65536 + kind, wrapped into 32 bits the way the hardware's register would:
// out-of-range halves are allowed on purpose, to send malformed events.
int32_t composeWParam(int64_t line, int64_t kind)
{
    const uint64_t wrapped = static_cast<uint64_t>(line) * 65536u + static_cast<uint64_t>(kind);
    return static_cast<int32_t>(static_cast<uint32_t>(wrapped));
}

json setRequest(int32_t line, const std::string& field, const std::vector<std::string>& values)
{
    json value;
    if (field == "parameters") {
        if (values.size() != 6)
            throw CLI::ValidationError("VALUE", "parameters takes six integers: RingOn RingOff "
                                                "HookOn HookOff CallerIdStop NoLine");
        value = json::array();
        for (const std::string& text : values)
            value.push_back(toInt32(text, "VALUE"));
    } else if (values.size() != 1) {
        throw CLI::ValidationError("VALUE", field + " takes one value (quote a text with blanks)");
    } else if (field == "rings") {
        value = toInt32(values.front(), "VALUE");
    } else {
        value = values.front();
    }
    return {{"command", "set"}, {"line", line}, {"field", field}, {"value", value}};
}

int printReply(const std::string& command, const json& reply)
{
    if (!reply.is_object() || !reply.value("ok", false)) {
        const std::string error =
            reply.is_object() && reply.contains("error") && reply["error"].is_string()
                ? reply["error"].get<std::string>()
                : "the box refused the request";
        std::cerr << "tavix-sim: " << error << '\n';
        return 1;
    }
    if (command == "status")
        std::cout << reply.at("status").dump(2) << '\n';
    if (command == "trace") {
        for (const json& line : reply.at("trace"))
            std::cout << line.get<std::string>() << '\n';
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Drives the simulated AD101 caller-ID box inside a running program.", "tavix-sim"};
    app.require_subcommand(1);
    // Without a default address --socket still works; the reason is told only if it is missing.
    std::string socketPath, noDefaultAddress;
    try {
        socketPath = defaultControlAddress();
    } catch (const std::runtime_error& error) {
        noDefaultAddress = error.what();
    }
    app.add_option("--socket", socketPath, "The box's control socket")->capture_default_str();

    json request;
    auto line = std::make_shared<int32_t>(0);
    const auto addLine = [line](CLI::App* command) {
        command->add_option("LINE", *line, "Line index, 0 to 3")
            ->required()
            ->check(CLI::Range(0, 3));
    };
    const auto onLine = [&request, line](CLI::App* command, const std::string& name) {
        command->callback([&request, line, name] {
            request = {{"command", name}, {"line", *line}};
        });
    };

    // post WPARAM LPARAM
    std::string wParamText, lParamText;
    auto* post = app.add_subcommand("post", "Post message 1204 with exactly these values");
    post->add_option("WPARAM", wParamText, "Signed 32-bit wParam")->required();
    post->add_option("LPARAM", lParamText, "Signed 32-bit lParam")->required();
    post->callback([&] {
        request = {{"command", "post"},
                   {"wParam", toInt32(wParamText, "WPARAM")},
                   {"lParam", toInt32(lParamText, "LPARAM")}};
    });

    // event LINE KIND [LPARAM]
    int64_t eventLine = 0, eventKind = 0;
    std::string eventLParam = "0";
    auto* event = app.add_subcommand("event", "Post an event: wParam = LINE * 65536 + KIND");
    event->add_option("LINE", eventLine, "Line index (any integer)")->required();
    event->add_option("KIND", eventKind, "Event kind (any integer)")->required();
    event->add_option("LPARAM", eventLParam, "Signed 32-bit lParam")->capture_default_str();
    event->callback([&] {
        request = {{"command", "post"},
                   {"wParam", composeWParam(eventLine, eventKind)},
                   {"lParam", toInt32(eventLParam, "LPARAM")}};
    });

    // set LINE FIELD VALUE...
    std::string field;
    std::vector<std::string> values;
    auto* set = app.add_subcommand("set", "Set what the library reports for a line");
    addLine(set);
    std::vector<std::string> fields = kTextFields;
    fields.insert(fields.end(), {"rings", "parameters"});
    set->add_option("FIELD", field, "What to set")->required()->check(CLI::IsMember(fields));
    set->add_option("VALUE", values, "A text, the ring index, or six timing parameters")
        ->required()
        ->allow_extra_args();
    set->callback([&] { request = setRequest(*line, field, values); });

    // call LINE NUMBER
    std::string number, name, time;
    int64_t callInterval = 1000;
    auto* call = app.add_subcommand("call", "An incoming call: rings, caller ID, missed call");
    addLine(call);
    call->add_option("NUMBER", number, "The caller's number")->required();
    call->add_option("--name", name, "The caller's name");
    call->add_option("--time", time, "The caller-ID time text (default: now, as MMDDhhmm)");
    call->add_option("--interval-ms", callInterval, "Time between two rings")
        ->check(CLI::Range(1, 3600000))
        ->capture_default_str();
    call->callback([&] {
        request = {{"command", "call"},
                   {"line", *line},
                   {"number", number},
                   {"name", name},
                   {"intervalMs", callInterval}};
        if (!time.empty())
            request["time"] = time;
    });

    // dial LINE DIGITS
    std::string digits;
    int64_t dialInterval = 300;
    auto* dial = app.add_subcommand("dial", "Off hook, then dial digits on the line's telephone");
    addLine(dial);
    dial->add_option("DIGITS", digits, "The digits")->required();
    dial->add_option("--interval-ms", dialInterval, "Time between two digits")
        ->check(CLI::Range(1, 3600000))
        ->capture_default_str();
    dial->callback([&] {
        request = {
            {"command", "dial"}, {"line", *line}, {"digits", digits}, {"intervalMs", dialInterval}};
    });

    // extension LINE DIGITS
    auto* extension = app.add_subcommand("extension", "Digits dialled on an extension telephone");
    addLine(extension);
    extension->add_option("DIGITS", digits, "The digits")->required();
    extension->callback([&] {
        request = {{"command", "extension"}, {"line", *line}, {"digits", digits}};
    });

    for (const auto& [command, help] : std::vector<std::pair<std::string, std::string>>{
             {"answer", "Pick up: off hook, the ringing stops, the talk timer starts"},
             {"hangup", "Hang up: the talk time, then on hook"},
             {"unplug", "Pull the line's cable: no line, channel disabled"},
             {"plug", "Plug the line's cable back in"}}) {
        auto* sub = app.add_subcommand(command, help);
        addLine(sub);
        onLine(sub, command);
    }

    app.add_subcommand("status", "Print the box's state as JSON")->callback([&] {
        request = {{"command", "status"}};
    });

    bool clear = false;
    auto* trace = app.add_subcommand("trace", "Print every library call the box received");
    trace->add_flag("--clear", clear, "Forget the printed calls");
    trace->callback([&] { request = {{"command", "trace"}, {"clear", clear}}; });

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    }

    try {
        if (socketPath.empty() && !noDefaultAddress.empty())
            throw ControlError(noDefaultAddress);
        const ControlClient client(socketPath);
        const std::string reply =
            client.request(request.dump(-1, ' ', false, json::error_handler_t::replace));
        return printReply(request.at("command").get<std::string>(), json::parse(reply));
    } catch (const ControlError& error) {
        std::cerr << "tavix-sim: " << error.what() << '\n';
    } catch (const json::exception& error) {
        std::cerr << "tavix-sim: the box sent a reply that is not understood: " << error.what()
                  << '\n';
    }
    return 1;
}
