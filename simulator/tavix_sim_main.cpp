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

// The box's commands, parsed into the request each sends. Made afresh for every command, so
// that a batch never carries an option over from the command before it.
class Commands
{
  public:
    explicit Commands(CLI::App& app);
    json request;

  private:
    void onLine(CLI::App* command, const std::string& name);

    int32_t m_line = 0;
    std::string m_wParam, m_lParam;
    int64_t m_eventLine = 0, m_eventKind = 0;
    std::string m_eventLParam = "0";
    std::string m_field;
    std::vector<std::string> m_values;
    std::string m_number, m_name, m_time, m_digits;
    int64_t m_callInterval = 1000, m_dialInterval = 300;
    bool m_clear = false;
};

Commands::Commands(CLI::App& app)
{
    const auto addLine = [this](CLI::App* command) {
        command->add_option("LINE", m_line, "Line index, 0 to 3")
            ->required()
            ->check(CLI::Range(0, 3));
    };

    // post WPARAM LPARAM
    auto* post = app.add_subcommand("post", "Post message 1204 with exactly these values");
    post->add_option("WPARAM", m_wParam, "Signed 32-bit wParam")->required();
    post->add_option("LPARAM", m_lParam, "Signed 32-bit lParam")->required();
    post->callback([this] {
        request = {{"command", "post"},
                   {"wParam", toInt32(m_wParam, "WPARAM")},
                   {"lParam", toInt32(m_lParam, "LPARAM")}};
    });

    // event LINE KIND [LPARAM]
    auto* event = app.add_subcommand("event", "Post an event: wParam = LINE * 65536 + KIND");
    event->add_option("LINE", m_eventLine, "Line index (any integer)")->required();
    event->add_option("KIND", m_eventKind, "Event kind (any integer)")->required();
    event->add_option("LPARAM", m_eventLParam, "Signed 32-bit lParam")->capture_default_str();
    event->callback([this] {
        request = {{"command", "post"},
                   {"wParam", composeWParam(m_eventLine, m_eventKind)},
                   {"lParam", toInt32(m_eventLParam, "LPARAM")}};
    });

    // set LINE FIELD VALUE...
    auto* set = app.add_subcommand("set", "Set what the library reports for a line");
    addLine(set);
    std::vector<std::string> fields = kTextFields;
    fields.insert(fields.end(), {"rings", "parameters"});
    set->add_option("FIELD", m_field, "What to set")->required()->check(CLI::IsMember(fields));
    set->add_option("VALUE", m_values, "A text, the ring index, or six timing parameters")
        ->required()
        ->allow_extra_args();
    set->callback([this] { request = setRequest(m_line, m_field, m_values); });

    // call LINE NUMBER
    auto* call = app.add_subcommand("call", "An incoming call: rings, caller ID, missed call");
    addLine(call);
    call->add_option("NUMBER", m_number, "The caller's number")->required();
    call->add_option("--name", m_name, "The caller's name");
    call->add_option("--time", m_time, "The caller-ID time text (default: now, as MMDDhhmm)");
    call->add_option("--interval-ms", m_callInterval, "Time between two rings")
        ->check(CLI::Range(1, 3600000))
        ->capture_default_str();
    call->callback([this] {
        request = {{"command", "call"},
                   {"line", m_line},
                   {"number", m_number},
                   {"name", m_name},
                   {"intervalMs", m_callInterval}};
        if (!m_time.empty())
            request["time"] = m_time;
    });

    // dial LINE DIGITS
    auto* dial = app.add_subcommand("dial", "Off hook, then dial digits on the line's telephone");
    addLine(dial);
    dial->add_option("DIGITS", m_digits, "The digits")->required();
    dial->add_option("--interval-ms", m_dialInterval, "Time between two digits")
        ->check(CLI::Range(1, 3600000))
        ->capture_default_str();
    dial->callback([this] {
        request = {{"command", "dial"},
                   {"line", m_line},
                   {"digits", m_digits},
                   {"intervalMs", m_dialInterval}};
    });

    // extension LINE DIGITS
    auto* extension = app.add_subcommand("extension", "Digits dialled on an extension telephone");
    addLine(extension);
    extension->add_option("DIGITS", m_digits, "The digits")->required();
    extension->callback([this] {
        request = {{"command", "extension"}, {"line", m_line}, {"digits", m_digits}};
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

    app.add_subcommand("status", "Print the box's state as JSON")->callback([this] {
        request = {{"command", "status"}};
    });

    auto* trace = app.add_subcommand("trace", "Print every library call the box received");
    trace->add_flag("--clear", m_clear, "Forget the printed calls");
    trace->callback([this] { request = {{"command", "trace"}, {"clear", m_clear}}; });
}

void Commands::onLine(CLI::App* command, const std::string& name)
{
    command->callback([this, name] { request = {{"command", name}, {"line", m_line}}; });
}

// Sends the request to the box and prints its answer; the command's exit status.
int send(const std::string& socketPath, const std::string& noDefaultAddress, const json& request)
{
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

// batch: one command per line of the input, quoted as on a command line; each is answered
// "exit N" with its status once done, so that a driver can pace itself on the answers.
// Programs that start slowly (under Wine) play a whole scenario this way in one start.
int runBatch(const std::string& socketPath, const std::string& noDefaultAddress)
{
    std::string text;
    while (std::getline(std::cin, text)) {
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        if (text.find_first_not_of(" \t") == std::string::npos)
            continue;
        CLI::App app{"One command of a batch.", "tavix-sim"};
        app.require_subcommand(1);
        Commands commands(app);
        int status = 0;
        try {
            app.parse(text, false);
            status = send(socketPath, noDefaultAddress, commands.request);
        } catch (const CLI::ParseError& error) {
            std::cerr << "tavix-sim: " << text << ":\n";
            status = app.exit(error);
        }
        std::cerr.flush();
        std::cout << "exit " << status << std::endl;
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
    Commands commands(app);
    auto* batch = app.add_subcommand(
        "batch", "Run commands read from the input, one per line, each answered \"exit N\"");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    }
    if (batch->parsed())
        return runBatch(socketPath, noDefaultAddress);
    return send(socketPath, noDefaultAddress, commands.request);
}
