// Tavix CallerID tests: caller ID, dialled and collateral digits, missed call and talk duration.
#include "DeviceEventFixture.h"

#include <climits>

TEST_F(DeviceEventTest, CallerIdLogsFiveEntriesFillsTheRowThenSendsTheCall)
{
    device.line(0).callerId = "0123456789";
    device.line(0).name = "JANE DOE";
    device.line(0).time = "03251430";
    device.line(0).callerIdCount = 1;
    const std::string number = field("0123456789", 128);
    const std::string expectedLog =
        entries({"MCU_BACKCID", "Incoming nLine: 0", "Incoming szCallerID: " + number,
                 "Incoming szName: " + field("JANE DOE", 128),
                 "Incoming szTime: " + field("03251430", 128)});
    Rows expected = fillCells();
    expected[0][COL_CALLER_ID] = number;
    expected[0][COL_TALK_DURATION] = expected[0][COL_DIAL_NUMBER] = "";
    expected[0][COL_COLLATERAL_DIALED] = "";
    Rows atSend;
    std::string logAtSend;
    mainWindow.during = [&] {
        atSend = rows();
        logAtSend = logBytes();
    };

    send(0, EV_BACK_CID);

    EXPECT_EQ(device.calls(), std::vector<std::string>{"AD101_GetCallerID 0 buf buf buf"});
    EXPECT_EQ(logBytes(), expectedLog);
    EXPECT_EQ(rows(), expected);
    EXPECT_EQ(table.shownText(0, COL_CALLER_ID), "0123456789");
    EXPECT_EQ(mainWindow.calls, std::vector<std::string>{"SendCall 0"});
    EXPECT_EQ(mainWindow.sentCallerId, number);
    EXPECT_EQ(atSend, expected);
    EXPECT_EQ(logAtSend, expectedLog);
}

TEST_F(DeviceEventTest, CallerIdFromASilentDeviceCarriesTheNulFill)
{
    const std::string nothing(128, '\0');
    send(2, EV_BACK_CID);

    EXPECT_EQ(logBytes(),
              entries({"MCU_BACKCID", "Incoming nLine: 2", "Incoming szCallerID: " + nothing,
                       "Incoming szName: " + nothing, "Incoming szTime: " + nothing}));
    EXPECT_EQ(table.cellText(2, COL_CALLER_ID), nothing);
    EXPECT_EQ(table.shownText(2, COL_CALLER_ID), "");
    EXPECT_EQ(mainWindow.calls, std::vector<std::string>{"SendCall 2"});
    EXPECT_EQ(mainWindow.sentCallerId, nothing);
}

TEST_F(DeviceEventTest, ANewCallerIdReplacesTheLastCallOfTheLine)
{
    auto& line = device.line(1);
    line.callerId = "111";
    send(1, EV_BACK_CID);
    line.digits = "42";
    send(1, EV_DIAL_DIGIT);
    line.collateral = "7";
    send(1, EV_BACK_COLLATERAL);
    send(1, EV_TALK_TIME, 30);
    ASSERT_EQ(table.shownText(1, COL_DIAL_NUMBER), "42");

    line.callerId = "222222";
    send(1, EV_BACK_CID);

    EXPECT_EQ(table.cellText(1, COL_CALLER_ID), field("222222", 128));
    for (int column : {COL_DIAL_NUMBER, COL_COLLATERAL_DIALED, COL_TALK_DURATION})
        EXPECT_EQ(table.cellText(1, column), "") << column;
    EXPECT_EQ(mainWindow.calls, (std::vector<std::string>{"SendCall 1", "SendCall 1"}));
}

TEST_F(DeviceEventTest, AFailedSendCallKeepsTheCellsAndIsLogged)
{
    device.line(3).callerId = "5550100";
    mainWindow.during = [] { throw std::runtime_error("Transfer failed: timed out"); };
    send(3, EV_BACK_CID);

    EXPECT_EQ(table.shownText(3, COL_CALLER_ID), "5550100");
    const std::string log = logBytes();
    const std::string last = entries({"Transfer failed: timed out"});
    ASSERT_GE(log.size(), last.size());
    EXPECT_EQ(log.substr(log.size() - last.size()), last);
}

TEST_F(DeviceEventTest, DialDigitsOnlyWhileTheCheckBoxIsTicked)
{
    device.line(2).digits = "0800123";
    const Rows before = fillCells();
    diagnostics.ticked = false;
    send(2, EV_DIAL_DIGIT);
    EXPECT_EQ(rows(), before);
    EXPECT_TRUE(device.calls().empty());

    diagnostics.ticked = true;
    send(2, EV_DIAL_DIGIT);
    Rows expected = before;
    expected[2][COL_DIAL_NUMBER] = field("0800123", 128);
    EXPECT_EQ(rows(), expected);
    EXPECT_EQ(device.calls(), std::vector<std::string>{"AD101_GetDialDigit 2 buf"});
    EXPECT_EQ(diagnostics.calls,
              (std::vector<std::string>{"showPhoneNumberTicked", "showPhoneNumberTicked"}));
    EXPECT_FALSE(std::filesystem::exists(logPath));
}

TEST_F(DeviceEventTest, CollateralDigitsDoNotDependOnTheDiagnosticsWindow)
{
    diagnostics.during = [] { throw std::runtime_error("the diagnostics window was asked"); };
    device.line(0).collateral = "123#";
    send(0, EV_BACK_COLLATERAL);

    EXPECT_EQ(logBytes(), entries({"MCU_BACKCOLLATERAL"}));
    EXPECT_EQ(device.calls(), std::vector<std::string>{"AD101_GetCollateralDialDigit 0 buf"});
    EXPECT_EQ(table.cellText(0, COL_COLLATERAL_DIALED), field("123#", 128));
    EXPECT_TRUE(diagnostics.calls.empty());
}

TEST_F(DeviceEventTest, MissedCallMarksTheLineStateAndKeepsTheNumber)
{
    Rows expected = fillCells();
    expected[3][COL_LINE_STATE] = "Missed Call";
    send(3, EV_MISSED_CALL);

    EXPECT_EQ(rows(), expected);
    EXPECT_EQ(logBytes(), entries({"Missed Call"}));
    EXPECT_TRUE(device.calls().empty());
}

TEST_F(DeviceEventTest, TalkTimeIsAtLeastTwoDigitsPaddedWithSpacesTo32)
{
    const std::pair<int32_t, std::string> cases[] = {
        {5, "05"},
        {0, "00"},
        {125, "125"},
        {-5, "-05"},
        {9, "09"},
        {10, "10"},
        {-10, "-10"},
        {99, "99"},
        {INT32_MAX, "2147483647"},
        {INT32_MIN, "-2147483648"},
    };
    for (const auto& [duration, digits] : cases) {
        SCOPED_TRACE(duration);
        send(1, EV_TALK_TIME, duration);
        const std::string expected = digits + std::string(32 - digits.size(), ' ');
        EXPECT_EQ(table.cellText(1, COL_TALK_DURATION), expected);
        EXPECT_EQ(table.shownText(1, COL_TALK_DURATION).toStdString(), expected);
    }
    EXPECT_TRUE(device.calls().empty());
    EXPECT_FALSE(std::filesystem::exists(logPath));
}

TEST_F(DeviceEventTest, CallEventsAreReportedLastWithWhatTheirStepsRead)
{
    device.line(1).callerId = "0123456789";
    device.line(1).name = "A Caller";
    device.line(1).callerIdCount = 1;
    device.line(1).rings = 2;
    struct Case
    {
        int32_t kind;
        int32_t lParam;
        int32_t rings;
        int32_t callerIds;
    };
    const Case cases[] = {
        {EV_LINE_STATE, LS_RING, 2, -1},         {EV_BACK_CID, 0, -1, -1},
        {EV_LINE_STATE, LS_HOOK_OFF_PRA, 2, 1},  {EV_TALK_TIME, 75, -1, -1},
        {EV_LINE_STATE, LS_HOOK_ON_PRB, -1, -1}, {EV_MISSED_CALL, 0, -1, -1},
        {EV_LINE_STATE, LS_NO_LINE, 2, 1},       {EV_DISABLE, 0, -1, -1},
    };
    for (const Case& c : cases)
        send(1, c.kind, c.lParam);
    // None for what is no call event, an unknown state or a line outside 0..3.
    send(1, EV_BACK_ENABLE);
    send(1, EV_LINE_STATE, 0);
    send(4, EV_MISSED_CALL);

    ASSERT_EQ(windows.events.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const LineEvent& event = windows.events[i];
        EXPECT_EQ(event.line, 1);
        EXPECT_EQ(event.kind, cases[i].kind);
        EXPECT_EQ(event.lParam, cases[i].lParam);
        EXPECT_EQ(event.rings, cases[i].rings);
        EXPECT_EQ(event.callerIds, cases[i].callerIds);
    }
    EXPECT_EQ(windows.events[1].number, "0123456789");
    EXPECT_EQ(windows.events[1].name, "A Caller");
    // Told after the web notification.
    EXPECT_EQ(mainWindow.calls[0], "SendCall 1");
}
