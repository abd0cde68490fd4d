// Tavix CallerID tests: events from the real simulated box, driven with tavix-sim, reach the
// line status table and the activity log.
#include "SimulatorHarness.h"
#include "TempDir.h"
#include "log/ActivityLog.h"
#include "monitor/DeviceEventHandler.h"
#include "monitor/DeviceEvents.h"
#include "monitor/LineStatusModel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Lamps : DeviceEventListener
{
    std::vector<std::string> calls;
    void LightOn(int32_t line) override { calls.push_back("LightOn " + std::to_string(line)); }
    void LightOff(int32_t line) override { calls.push_back("LightOff " + std::to_string(line)); }
    void SendCall(const std::string&, const std::string& line) override
    {
        calls.push_back("SendCall " + line);
    }
    bool showPhoneNumberTicked() const override { return true; }
    void showTimingParameters(int32_t line, const AD101TimingParameters&) override
    {
        calls.push_back("showTimingParameters " + std::to_string(line));
    }
};

class SimulatedBoxEvents : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        table.build();
        box.open();
        box.window().installDeviceWindowProc(&handler);
    }

    // Runs tavix-sim and waits until the event it posts has been handled.
    void event(int32_t line, int32_t kind, int32_t lParam = 0)
    {
        EXPECT_TOOL_OK(box.tool(
            {"event", QString::number(line), QString::number(kind), QString::number(lParam)}));
        ASSERT_TRUE(box.waitForMessage(SimulatorHarness::event(line, kind, lParam)));
    }
    void set(int line, const char* field, const char* value)
    {
        EXPECT_TOOL_OK(box.tool({"set", QString::number(line), field, value}));
    }
    std::string log() const { return readFile(dir / "tavix.log"); }

    TempDir dir;
    ActivityLog activityLog{dir / "tavix.log", [] { return TimeOfDay{9, 30, 5}; }};
    SimulatorHarness box;
    LineStatusModel table;
    Lamps lamps;
    DeviceEventHandler handler{box.device(), table, activityLog, lamps};
};

TEST_F(SimulatedBoxEvents, DeviceReportsFillTheirRowAtFullWidth)
{
    set(2, "cpuversion", "AD101 V9.1");
    set(2, "cpuid", "Z9Y8");
    event(2, EV_BACK_DEVICE);
    event(2, EV_BACK_CPU_ID);
    event(2, EV_BACK_ENABLE);

    EXPECT_EQ(table.cellText(2, COL_DEVICE_STATE), "Enable");
    EXPECT_EQ(table.cellText(2, COL_CPU_VERSION), "AD101 V9.1" + std::string(22, '\0'));
    EXPECT_EQ(table.cellText(2, COL_DEVICE_ID), "Z9Y8");
    EXPECT_EQ(table.shownText(2, COL_CPU_VERSION), "AD101 V9.1");
    EXPECT_EQ(lamps.calls, std::vector<std::string>{"LightOn 2"});
    EXPECT_EQ(log(), "> 093005: MCU_BACKDEVICE\r\n...\r\n"
                     "> 093005: MCU_BACK CPU ID\r\n...\r\n"
                     "> 093005: MCU_BACKENABLE\r\n...\r\n");
}

TEST_F(SimulatedBoxEvents, RingsAndHookChangesFollowTheBox)
{
    set(1, "callerid", "0123456789");
    set(1, "rings", "3");
    event(1, EV_LINE_STATE, LS_RING);
    EXPECT_EQ(table.cellText(1, COL_LINE_STATE), "3");

    event(1, EV_BACK_CID);
    EXPECT_EQ(table.shownText(1, COL_CALLER_ID), "0123456789");
    EXPECT_EQ(lamps.calls, std::vector<std::string>{"SendCall 1"});

    // Off hook during the call: the number stays.
    event(1, EV_LINE_STATE, LS_HOOK_OFF_PRA);
    EXPECT_EQ(table.cellText(1, COL_LINE_STATE), "HOOK OFF PR+");
    EXPECT_EQ(table.shownText(1, COL_CALLER_ID), "0123456789");

    // After the call the box holds neither number nor ring: off hook empties the cell.
    set(1, "callerid", "");
    set(1, "rings", "0");
    event(1, EV_LINE_STATE, LS_HOOK_OFF_PRB);
    EXPECT_EQ(table.cellText(1, COL_CALLER_ID), "");

    const std::string bytes = log();
    EXPECT_NE(bytes.find("> 093005: Incoming szCallerID: 0123456789" + std::string(118, '\0') +
                         "\r\n...\r\n"),
              std::string::npos);
    EXPECT_NE(bytes.find("HK OFF STATE PRB"), std::string::npos);
}

TEST_F(SimulatedBoxEvents, EventForAMissingLineIsTrappedAndPassedOn)
{
    event(4, EV_DISABLE);
    EXPECT_EQ(log(), "> 093005: Line index 4 is out of range (0 to 3)\r\n...\r\n");
    for (int line = 0; line < 4; ++line)
        EXPECT_EQ(table.cellText(line, COL_DEVICE_STATE), "Disable");
    EXPECT_TRUE(lamps.calls.empty());
}

} // namespace
