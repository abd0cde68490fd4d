// Tavix CallerID tests: the tavix-sim tool and the scenarios it plays on the box.
#include "SimulatorHarness.h"

#include "monitor/DeviceEvents.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using Message = SimulatorHarness::Message;
using std::chrono::milliseconds;

Message event(int32_t line, int32_t kind, int32_t lParam = 0)
{
    return SimulatorHarness::event(line, kind, lParam);
}

std::string fieldText(const DeviceTextField& field)
{
    const std::string text = field.text();
    return text.substr(0, text.find('\0'));
}

class TavixSimToolTest : public ::testing::Test
{
  protected:
    SimulatorHarness box;
};

TEST_F(TavixSimToolTest, PostAndEventDeliverExactlyTheirValues)
{
    box.open();
    struct Case
    {
        QStringList arguments;
        int32_t wParam;
        int32_t lParam;
    };
    const std::vector<Case> cases = {
        {{"post", "0", "0"}, 0, 0},
        {{"post", "-1", "-2147483648"}, -1, INT32_MIN},
        {{"post", "2147483647", "2147483647"}, INT32_MAX, INT32_MAX},
        {{"post", "-65529", "7"}, -65529, 7},
        {{"event", "1", "9"}, 65545, 0},
        {{"event", "3", "8", "7"}, 3 * 65536 + 8, 7},
        {{"event", "2", "255", "-5"}, 2 * 65536 + 255, -5},
        {{"event", "0", "-1"}, -1, 0},
        {{"event", "-1", "5"}, -65531, 0},
        {{"event", "0", "65536"}, 65536, 0},
        {{"event", "32767", "65535"}, INT32_MAX, 0},
        {{"event", "32768", "0"}, INT32_MIN, 0},        // wraps
        {{"event", "40000", "1"}, -1673527295, 0},      // 40000 * 65536 + 1 - 2^32
        {{"event", "65536", "3"}, 3, 0},                // the line wraps away entirely
        {{"event", "-9000000000", "0"}, -436207616, 0}, // far outside 32 bits
    };
    for (const Case& c : cases) {
        box.forget();
        EXPECT_TOOL_OK(box.tool(c.arguments));
        ASSERT_TRUE(box.waitForMessages(1)) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(box.received().front(), (Message{WM_DEVICE_EVENT, c.wParam, c.lParam}))
            << c.arguments.join(' ').toStdString();
    }
}

TEST_F(TavixSimToolTest, WrongArgumentsFailClearlyAndChangeNothing)
{
    box.open();
    const nlohmann::json before = box.status();
    const std::vector<QStringList> cases = {
        {},
        {"fly"},
        {"post", "1"},
        {"post", "x", "0"},
        {"post", "1", "0x10"},
        {"post", "2147483648", "0"},
        {"post", "1", "-2147483649"},
        {"post", "1", "2", "3"},
        {"event"},
        {"event", "1", "x"},
        {"event", "1", "2", "99999999999"},
        {"set", "1", "color", "red"},
        {"set", "4", "name", "x"},
        {"set", "-1", "name", "x"},
        {"set", "1", "name"},
        {"set", "1", "name", "a", "b"},
        {"set", "1", "parameters", "1", "2", "3"},
        {"set", "1", "parameters", "1", "2", "3", "4", "5", "x"},
        {"set", "1", "rings", "many"},
        {"call", "7", "123"},
        {"call", "1"},
        {"call", "1", "5", "--interval-ms", "0"},
        {"answer"},
        {"dial", "1"},
        {"extension", "x", "12"},
        {"trace", "--clear", "now"},
    };
    for (const QStringList& arguments : cases) {
        const SimulatorHarness::ToolRun run = box.tool(arguments);
        EXPECT_NE(run.exitCode, 0) << arguments.join(' ').toStdString();
        EXPECT_FALSE(run.err.empty()) << arguments.join(' ').toStdString();
    }
    box.drain();
    EXPECT_TRUE(box.received().empty());
    EXPECT_EQ(box.status(), before);
}

TEST_F(TavixSimToolTest, WithoutABoxEveryCommandFailsClearly)
{
    const QString nobody = QString::fromStdString(box.addressWithoutABox());
    for (QStringList arguments : std::vector<QStringList>{{"status"},
                                                          {"trace"},
                                                          {"post", "1", "2"},
                                                          {"event", "0", "7"},
                                                          {"set", "0", "name", "x"},
                                                          {"call", "0", "123"},
                                                          {"hangup", "0"}}) {
        arguments.prepend(nobody);
        arguments.prepend(QStringLiteral("--socket"));
        const SimulatorHarness::ToolRun run = box.tool(arguments);
        EXPECT_EQ(run.exitCode, 1) << arguments.join(' ').toStdString();
        EXPECT_NE(run.err.find("no simulated AD101 box is running at " + nobody.toStdString()),
                  std::string::npos)
            << run.err;
        EXPECT_TRUE(run.out.empty());
    }
}

TEST_F(TavixSimToolTest, StatusShowsTheWholeBox)
{
    box.open();
    EXPECT_TOOL_OK(box.tool({"set", "2", "name", "Jane Doe"}));
    EXPECT_TOOL_OK(box.tool({"set", "2", "rings", "4"}));
    EXPECT_TOOL_OK(box.tool({"set", "2", "parameters", "1", "2", "3", "4", "5", "-6"}));
    const nlohmann::json status = box.status();
    EXPECT_EQ(status["open"], true);
    EXPECT_EQ(status["showCollateralPhoneDialed"], 0);
    EXPECT_EQ(status["dialOutStartTalkingTime"], 3);
    EXPECT_EQ(status["ringOffTime"], 7);
    ASSERT_EQ(status["lines"].size(), 4u);
    const nlohmann::json first = {{"line", 0},
                                  {"enabled", true},
                                  {"hook", "on"},
                                  {"led", 1},
                                  {"busy", 1},
                                  {"callerid", ""},
                                  {"name", ""},
                                  {"time", ""},
                                  {"digits", ""},
                                  {"collateral", ""},
                                  {"cpuversion", "AD101 V2.3"},
                                  {"cpuid", "A1B0"},
                                  {"rings", 0},
                                  {"parameters",
                                   {{"RingOn", 30},
                                    {"RingOff", 40},
                                    {"HookOn", 20},
                                    {"HookOff", 50},
                                    {"CallerIdStop", 60},
                                    {"NoLine", 255}}}};
    EXPECT_EQ(status["lines"][0], first);
    EXPECT_EQ(status["lines"][2]["name"], "Jane Doe");
    EXPECT_EQ(status["lines"][2]["rings"], 4);
    EXPECT_EQ(status["lines"][2]["parameters"]["NoLine"], -6);
    EXPECT_EQ(status["lines"][3]["cpuid"], "A1B3");
}

TEST_F(TavixSimToolTest, TracePrintsCallsOldestFirstAndClearForgetsThem)
{
    box.device().AD101_GetDevice(); // before the box is opened: traced all the same
    box.open();
    box.device().AD101_SetLED(0, 3);
    const std::vector<std::string> trace = box.trace();
    ASSERT_GE(trace.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(trace.end() - 3, trace.end()),
              (std::vector<std::string>{"AD101_GetDevice", "AD101_InitDevice handle",
                                        "AD101_SetLED 0 3"}));
    const SimulatorHarness::ToolRun cleared = box.tool({"trace", "--clear"});
    EXPECT_TOOL_OK(cleared);
    EXPECT_TRUE(cleared.out.ends_with("AD101_SetLED 0 3\n")) << cleared.out;
    EXPECT_TRUE(box.trace().empty());
    box.device().AD101_GetRingIndex(2);
    EXPECT_EQ(box.trace(), std::vector<std::string>{"AD101_GetRingIndex 2"});
}

TEST_F(TavixSimToolTest, UnansweredCallRingsShowsTheCallerAndIsMissed)
{
    box.open();
    DeviceLibrary& device = box.device();
    device.AD101_SetRingOffTime(1);
    // What the program would read while handling each event.
    std::vector<int32_t> ringIndexes;
    std::vector<std::string> callerIds;
    box.onMessage([&](const Message& message) {
        if (message == event(1, EV_LINE_STATE, LS_RING))
            ringIndexes.push_back(device.AD101_GetRingIndex(1));
        if (message == event(1, EV_BACK_CID)) {
            DeviceTextField id(128), name(128), time(128);
            EXPECT_EQ(device.AD101_GetCallerID(1, id, &name, &time), 1);
            callerIds = {fieldText(id), fieldText(name), fieldText(time)};
        }
    });
    EXPECT_TOOL_OK(box.tool({"call", "1", "5551234", "--name", "Jane Doe", "--time", "06151432",
                             "--interval-ms", "100"}));
    ASSERT_TRUE(box.waitForMessage(event(1, EV_MISSED_CALL)));
    box.onMessage({});

    // A ring every 100 ms until the ring-off time of 1 s: 10 rings, the caller ID after the first.
    std::vector<Message> expected = {event(1, EV_LINE_STATE, LS_RING), event(1, EV_BACK_CID)};
    expected.insert(expected.end(), 9, event(1, EV_LINE_STATE, LS_RING));
    expected.push_back(event(1, EV_LINE_STATE, LS_RING_OFF));
    expected.push_back(event(1, EV_MISSED_CALL));
    EXPECT_EQ(box.received(), expected);

    ASSERT_EQ(ringIndexes.size(), 10u);
    EXPECT_GE(ringIndexes.front(), 1);
    EXPECT_TRUE(std::is_sorted(ringIndexes.begin(), ringIndexes.end()));
    EXPECT_EQ(callerIds, (std::vector<std::string>{"5551234", "Jane Doe", "06151432"}));

    // The missed caller's number stays to be called back; the ringing is over.
    EXPECT_EQ(device.AD101_GetRingIndex(1), 0);
    DeviceTextField id(128);
    EXPECT_EQ(device.AD101_GetCallerID(1, id, nullptr, nullptr), 1);
    EXPECT_EQ(fieldText(id), "5551234");
}

TEST_F(TavixSimToolTest, CallWithoutTimeGetsTheBoxClock)
{
    box.open();
    EXPECT_TOOL_OK(box.tool({"call", "0", "200", "--interval-ms", "20"}));
    ASSERT_TRUE(box.waitForMessage(event(0, EV_BACK_CID)));
    const std::string time = box.status()["lines"][0]["time"];
    EXPECT_EQ(time.size(), 8u) << time;
    EXPECT_EQ(time.find_first_not_of("0123456789"), std::string::npos) << time;
}

TEST_F(TavixSimToolTest, BatchAnswersEachCommandInTurnAndCarriesNoOptionOver)
{
    box.open();
    const SimulatorHarness::ToolRun run =
        box.tool({"batch"}, "set 1 callerid 0123\n"
                            "\n"
                            "fly\n"
                            "call 2 5551234 --name \"Jane Doe\" --interval-ms 5\r\n"
                            "call 3 5559876 --interval-ms 5\n"
                            "set 0 rings 2 3\n"
                            "status");
    EXPECT_TOOL_OK(run);
    std::vector<std::string> answers;
    std::string status;
    std::istringstream out(run.out);
    for (std::string line; std::getline(out, line);)
        (line.starts_with("exit ") ? answers.push_back(line) : void(status += line));
    // Blank lines are skipped; a wrong command fails alone, as the parser would exit.
    const std::vector<bool> argumentsRight = {true, false, true, true, false, true};
    ASSERT_EQ(answers.size(), argumentsRight.size()) << run.out;
    for (size_t i = 0; i < answers.size(); ++i) {
        const int code = std::stoi(answers[i].substr(5));
        EXPECT_EQ(code == 0, argumentsRight[i]) << i << ": " << answers[i];
        EXPECT_TRUE(code == 0 || code > 100) << i << ": " << answers[i];
    }
    EXPECT_NE(run.err.find("fly"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("rings takes one value"), std::string::npos) << run.err;

    ASSERT_TRUE(box.waitForMessage(event(2, EV_BACK_CID)));
    ASSERT_TRUE(box.waitForMessage(event(3, EV_BACK_CID)));
    const nlohmann::json lines = nlohmann::json::parse(status)["lines"];
    EXPECT_EQ(lines[1]["callerid"], "0123");
    const nlohmann::json now = box.status()["lines"];
    EXPECT_EQ((std::vector<std::string>{now[2]["name"], now[3]["name"]}),
              (std::vector<std::string>{"Jane Doe", ""}));
}

TEST_F(TavixSimToolTest, AnswerStopsTheRingingAndHangupReportsTheTalkTime)
{
    box.open();
    DeviceLibrary& device = box.device();
    device.AD101_SetRingOffTime(1);
    EXPECT_TOOL_OK(box.tool({"call", "2", "0123456789", "--interval-ms", "50"}));
    ASSERT_TRUE(box.waitForMessage(event(2, EV_BACK_CID)));
    EXPECT_TOOL_OK(box.tool({"answer", "2"}));
    ASSERT_TRUE(box.waitForMessage(event(2, EV_LINE_STATE, LS_HOOK_OFF_PRA)));
    // While talking, the caller's number is still there for the program's clearing rule.
    DeviceTextField id(128);
    EXPECT_EQ(device.AD101_GetCallerID(2, id, nullptr, nullptr), 1);
    EXPECT_EQ(box.status()["lines"][2]["hook"], "off");

    box.forget();
    box.settle(milliseconds(1200)); // past the ring-off time
    EXPECT_TRUE(box.received().empty()) << "still ringing after the answer";

    EXPECT_TOOL_OK(box.tool({"hangup", "2"}));
    ASSERT_TRUE(box.waitForMessages(2));
    ASSERT_EQ(box.received().size(), 2u);
    EXPECT_EQ(box.received()[0].wParam, event(2, EV_TALK_TIME).wParam);
    EXPECT_GE(box.received()[0].lParam, 1); // talked for over a second
    EXPECT_EQ(box.received()[1], event(2, EV_LINE_STATE, LS_HOOK_ON_PRA));
    EXPECT_EQ(device.AD101_GetCallerID(2, id, nullptr, nullptr), 0);
    EXPECT_EQ(device.AD101_GetRingIndex(2), 0);
}

TEST_F(TavixSimToolTest, DialReportsEachDigitWithTheDigitsSoFar)
{
    box.open();
    DeviceLibrary& device = box.device();
    std::vector<std::string> reads;
    box.onMessage([&](const Message& message) {
        if (message == event(0, EV_DIAL_DIGIT)) {
            DeviceTextField digits(128);
            device.AD101_GetDialDigit(0, digits);
            reads.push_back(fieldText(digits));
        }
    });
    EXPECT_TOOL_OK(box.tool({"dial", "0", "5551234", "--interval-ms", "20"}));
    ASSERT_TRUE(box.waitForMessages(8));
    box.onMessage({});

    std::vector<Message> expected = {event(0, EV_LINE_STATE, LS_HOOK_OFF_PRA)};
    expected.insert(expected.end(), 7, event(0, EV_DIAL_DIGIT));
    EXPECT_EQ(box.received(), expected);
    ASSERT_EQ(reads.size(), 7u);
    for (size_t i = 0; i < reads.size(); ++i) {
        EXPECT_GE(reads[i].size(), i + 1);
        EXPECT_TRUE(std::string("5551234").starts_with(reads[i])) << reads[i];
    }
    EXPECT_EQ(reads.back(), "5551234");

    // Hanging up within the dial-out wait: nothing counted as talking yet.
    box.forget();
    EXPECT_TOOL_OK(box.tool({"hangup", "0"}));
    ASSERT_TRUE(box.waitForMessages(2));
    EXPECT_EQ(box.received(), (std::vector<Message>{event(0, EV_TALK_TIME, 0),
                                                    event(0, EV_LINE_STATE, LS_HOOK_ON_PRA)}));
}

TEST_F(TavixSimToolTest, ExtensionReportsTheCollateralDigits)
{
    box.open();
    EXPECT_TOOL_OK(box.tool({"extension", "3", "21"}));
    ASSERT_TRUE(box.waitForMessages(1));
    EXPECT_EQ(box.received().front(), event(3, EV_BACK_COLLATERAL));
    DeviceTextField digits(128);
    box.device().AD101_GetCollateralDialDigit(3, digits);
    EXPECT_EQ(digits.text(), "21" + std::string(126, '\0'));
}

TEST_F(TavixSimToolTest, UnplugAndPlugTheLine)
{
    box.open();
    EXPECT_TOOL_OK(box.tool({"unplug", "1"}));
    ASSERT_TRUE(box.waitForMessages(2));
    EXPECT_EQ(box.received(),
              (std::vector<Message>{event(1, EV_LINE_STATE, LS_NO_LINE), event(1, EV_DISABLE)}));
    nlohmann::json line = box.status()["lines"][1];
    EXPECT_EQ(line["enabled"], false);
    EXPECT_EQ(line["hook"], "noline");

    box.forget();
    EXPECT_TOOL_OK(box.tool({"plug", "1"}));
    ASSERT_TRUE(box.waitForMessages(3));
    EXPECT_EQ(box.received(),
              (std::vector<Message>{event(1, EV_BACK_DEVICE), event(1, EV_BACK_ENABLE),
                                    event(1, EV_LINE_STATE, LS_HOOK_ON_PRA)}));
    line = box.status()["lines"][1];
    EXPECT_EQ(line["enabled"], true);
    EXPECT_EQ(line["hook"], "on");
}

} // namespace
