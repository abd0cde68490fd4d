// Tavix CallerID tests: DeviceWindowProc, the dispatch of device events and the fault trap.
#include "DeviceEventFixture.h"
#include "TestPlatform.h"

#include <QCoreApplication>

#include <algorithm>
#include <climits>
#include <iterator>
#include <set>

namespace {

const std::string kLine4Fault = "Line index 4 is out of range (0 to 3)";
#if defined(_WIN32)
constexpr bool kWindowsPosting = true;
#else
constexpr bool kWindowsPosting = false;
#endif

} // namespace

TEST_F(DeviceEventTest, EveryMessageGoesOnToThePreviousProcedureOnceAndUnchanged)
{
    const AD101WindowHandle handle = window.handle();
    const std::vector<PassedMessage> messages = {
        {handle, WM_DEVICE_EVENT, 65536 + EV_BACK_ENABLE, 0},
        {handle, WM_DEVICE_EVENT, -65529, 7},
        {handle, WM_DEVICE_EVENT, 4 * 65536 + EV_DISABLE, -1},
        {handle, 0, 1, 2},
        {handle, WM_DEVICE_EVENT - 1, EV_BACK_ENABLE, 0},
        {handle, WM_DEVICE_EVENT + 1, EV_BACK_ENABLE, 0},
        {handle, UINT32_MAX, INT32_MIN, INT32_MAX},
    };
    int32_t result = -7;
    for (const PassedMessage& m : messages) {
        SCOPED_TRACE(m.message);
        g_passedOn.clear();
        g_previousResult = result += 1000;
        EXPECT_EQ(window.send(m.message, m.wParam, m.lParam), result);
        EXPECT_EQ(g_passedOn, std::vector{m});
    }
    // Only message 1204 was handled.
    EXPECT_EQ(mainWindow.calls, std::vector<std::string>{"LightOn 1"});
    EXPECT_EQ(logBytes(), entries({"MCU_BACKENABLE", kLine4Fault}));

    // Posted, as the library posts; Windows posts no message numbers above 0xFFFF, which it
    // keeps for itself.
    std::vector<PassedMessage> posted;
    std::copy_if(messages.begin(), messages.end(), std::back_inserter(posted),
                 [](const PassedMessage& m) { return m.message <= 0xFFFF || !kWindowsPosting; });
    g_passedOn.clear();
    for (const PassedMessage& m : posted)
        window.post(m.message, m.wParam, m.lParam);
    window.deliverPosted();
    EXPECT_EQ(g_passedOn, posted);
}

TEST_F(DeviceEventTest, UnknownKindsSubCodesAndNegativeParametersDoNothing)
{
    const Rows before = fillCells();
    const std::set<int32_t> handled = {7, 8, 9, 10, 11, 12, 13, 14, 170, 187, 238, 255};
    size_t sent = 0;
    auto post = [&](int32_t wParam, int32_t lParam) {
        window.post(WM_DEVICE_EVENT, wParam, lParam);
        ++sent;
    };
    for (int32_t kind = 0; kind < 65536; ++kind)
        if (!handled.count(kind))
            post(2 * 65536 + kind, 7);
    for (int32_t wParam : {-65529, -1, -65536, -65536 + 9, -3 * 65536 - 9, -65536 - 238, INT32_MIN})
        post(wParam, 1);
    for (int32_t lParam : {0, 12, -1, 65536 + 1, INT32_MIN, INT32_MAX})
        post(EV_LINE_STATE, lParam);
    window.deliverPosted();

    EXPECT_EQ(g_passedOn.size(), sent);
    EXPECT_EQ(rows(), before);
    EXPECT_TRUE(device.calls().empty());
    EXPECT_TRUE(mainWindow.calls.empty());
    EXPECT_TRUE(diagnostics.calls.empty());
    EXPECT_FALSE(std::filesystem::exists(logPath));
}

TEST_F(DeviceEventTest, LineStatesWithoutFollowUpWriteCell3)
{
    struct Case
    {
        int32_t code;
        std::string log; // empty: no entry
        std::string cell;
    };
    const Case cases[] = {
        {LS_HOOK_ON_PRA, "HK ON STATE PRA", "HOOK ON PR+"},
        {LS_HOOK_ON_PRB, "HK ON STATE PRB", "HOOK ON PR-"},
        {LS_HOOK_ON_NOPR, "HK ON STATE NOPR", "HOOK ON NOPR"},
        {LS_RING_OFF, "", "Ring Off"},
        {LS_NO_HOOK_PRA, "NOHKPRA", "NO HOOK PR+"},
        {LS_NO_HOOK_PRB, "NOHKPRB", "NO HOOK PR-"},
        {LS_NO_HOOK_NOPR, "NOHKNOPR", "NO HOOK NOPR"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        std::filesystem::remove(logPath);
        Rows expected = fillCells();
        expected[3][COL_LINE_STATE] = c.cell;

        send(3, EV_LINE_STATE, c.code);

        EXPECT_EQ(rows(), expected);
        EXPECT_EQ(logBytes(), c.log.empty() ? "" : entries({c.log}));
        EXPECT_TRUE(device.calls().empty());
    }
}

TEST_F(DeviceEventTest, OffHookAndNoLineEmptyTheCallerIdOnlyWithoutNumberAndRing)
{
    struct Case
    {
        int32_t code;
        std::string log, cell;
        int32_t callerIds, rings;
        bool keepsNumber;
    };
    const Case cases[] = {
        {LS_HOOK_OFF_PRA, "HK OFF STATE PRA", "HOOK OFF PR+", 0, 0, false},
        {LS_HOOK_OFF_PRA, "HK OFF STATE PRA", "HOOK OFF PR+", 1, 0, true},
        {LS_HOOK_OFF_PRB, "HK OFF STATE PRB", "HOOK OFF PR-", 0, 1, true},
        {LS_HOOK_OFF_PRB, "HK OFF STATE PRB", "HOOK OFF PR-", -1, 0, false},
        {LS_NO_LINE, "NO_LINE", "No Line", 0, -3, false},
        {LS_NO_LINE, "NO_LINE", "No Line", 2, 5, true},
    };
    device.line(1).callerId = "5551234"; // read, but never shown by this rule
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cell + " n=" + std::to_string(c.callerIds) +
                     " r=" + std::to_string(c.rings));
        std::filesystem::remove(logPath);
        device.clearCalls();
        device.line(1).callerIdCount = c.callerIds;
        device.line(1).rings = c.rings;
        Rows expected = fillCells();
        expected[1][COL_LINE_STATE] = c.cell;
        if (!c.keepsNumber)
            expected[1][COL_CALLER_ID] = "";
        expected[1][COL_TALK_DURATION] = expected[1][COL_DIAL_NUMBER] = "";
        expected[1][COL_COLLATERAL_DIALED] = "";

        send(1, EV_LINE_STATE, c.code);

        EXPECT_EQ(rows(), expected);
        EXPECT_EQ(logBytes(), entries({c.log}));
        EXPECT_EQ(device.calls(), (std::vector<std::string>{"AD101_GetCallerID 1 buf null null",
                                                            "AD101_GetRingIndex 1"}));
    }
}

TEST_F(DeviceEventTest, RingShowsTheCountWithoutPaddingAndEmptiesTheCallCells)
{
    for (int32_t rings : {3, 0, 12, 100, -2}) {
        SCOPED_TRACE(rings);
        device.clearCalls();
        device.line(2).rings = rings;
        Rows expected = fillCells();
        expected[2][COL_LINE_STATE] = std::to_string(rings);
        expected[2][COL_TALK_DURATION] = expected[2][COL_DIAL_NUMBER] = "";
        expected[2][COL_COLLATERAL_DIALED] = "";

        send(2, EV_LINE_STATE, LS_RING);

        EXPECT_EQ(rows(), expected);
        EXPECT_EQ(device.calls(), std::vector<std::string>{"AD101_GetRingIndex 2"});
    }
    EXPECT_FALSE(std::filesystem::exists(logPath));
}

TEST_F(DeviceEventTest, DeviceVersionAndBackDeviceEnableTheRowWithTheFullCpuVersion)
{
    for (auto [line, kind, log] :
         {std::tuple{0, EV_DEVICE_VERSION, ""}, std::tuple{2, EV_BACK_DEVICE, "MCU_BACKDEVICE"}}) {
        SCOPED_TRACE(kind);
        std::filesystem::remove(logPath);
        device.clearCalls();
        device.line(line).cpuVersion = "AD101 V2.1";
        Rows expected = rows();
        expected[line][COL_DEVICE_STATE] = "Enable";
        expected[line][COL_CPU_VERSION] = field("AD101 V2.1", 32);

        send(line, kind);

        EXPECT_EQ(rows(), expected);
        EXPECT_EQ(table.shownText(line, COL_CPU_VERSION), "AD101 V2.1");
        EXPECT_EQ(device.calls(),
                  std::vector<std::string>{"AD101_GetCPUVersion " + std::to_string(line) + " buf"});
        EXPECT_EQ(logBytes(), *log ? entries({log}) : "");
    }
    EXPECT_TRUE(mainWindow.calls.empty());
}

TEST_F(DeviceEventTest, CpuIdGoesToCell8AtItsFullFourCharacters)
{
    device.line(3).cpuId = "7F3";
    send(3, EV_BACK_CPU_ID);
    device.line(3).cpuId = "ABCD";
    send(0, EV_BACK_CPU_ID); // line 0 answers with nothing: four NULs
    send(3, EV_BACK_CPU_ID, 99);

    EXPECT_EQ(table.cellText(3, COL_DEVICE_ID), "ABCD");
    EXPECT_EQ(table.cellText(0, COL_DEVICE_ID), std::string(4, '\0'));
    EXPECT_EQ(logBytes(), entries({"MCU_BACK CPU ID", "MCU_BACK CPU ID", "MCU_BACK CPU ID"}));
    EXPECT_EQ(device.calls(),
              (std::vector<std::string>{"AD101_GetCPUID 3 buf", "AD101_GetCPUID 0 buf",
                                        "AD101_GetCPUID 3 buf"}));
}

TEST_F(DeviceEventTest, EnableLogsThenWritesTheRowThenSwitchesTheLampOn)
{
    std::string cellAtLamp, logAtLamp;
    mainWindow.during = [&] {
        cellAtLamp = table.cellText(1, COL_DEVICE_STATE);
        logAtLamp = logBytes();
    };
    Rows expected = fillCells();
    expected[1][COL_DEVICE_STATE] = "Enable";

    send(1, EV_BACK_ENABLE);

    EXPECT_EQ(rows(), expected);
    EXPECT_EQ(mainWindow.calls, std::vector<std::string>{"LightOn 1"});
    EXPECT_EQ(cellAtLamp, "Enable");
    EXPECT_EQ(logAtLamp, entries({"MCU_BACKENABLE"}));
    EXPECT_EQ(logBytes(), entries({"MCU_BACKENABLE"}));
}

TEST_F(DeviceEventTest, DisableResetsTheRowThenSwitchesTheLampOff)
{
    Rows expected = fillCells();
    table.setCell(2, COL_DEVICE_STATE, "Enable");
    expected[2] = {"03", "Disable", "", "", "", "", "", "", ""};
    Rows atLamp;
    mainWindow.during = [&] { atLamp = rows(); };

    send(2, EV_DISABLE);

    EXPECT_EQ(rows(), expected);
    EXPECT_EQ(atLamp, expected);
    EXPECT_EQ(mainWindow.calls, std::vector<std::string>{"LightOff 2"});
    EXPECT_FALSE(std::filesystem::exists(logPath));
}

TEST_F(DeviceEventTest, ALineBeyondTheTableFaultsAtTheFirstRowAccessAndEndsTheEvent)
{
    struct Case
    {
        int32_t kind, lParam;
        std::vector<std::string> logBefore, deviceCalls;
    };
    const std::string noNumber = std::string(128, '\0');
    const Case cases[] = {
        {EV_DISABLE, 0, {}, {}},
        {EV_BACK_ENABLE, 0, {"MCU_BACKENABLE"}, {}},
        {EV_DEVICE_VERSION, 0, {}, {}},
        {EV_BACK_DEVICE, 0, {"MCU_BACKDEVICE"}, {}},
        {EV_BACK_CPU_ID, 0, {"MCU_BACK CPU ID"}, {"AD101_GetCPUID 4 buf"}},
        {EV_LINE_STATE, LS_HOOK_ON_PRA, {"HK ON STATE PRA"}, {}},
        {EV_LINE_STATE, LS_HOOK_OFF_PRA, {"HK OFF STATE PRA"}, {}},
        {EV_LINE_STATE, LS_RING, {}, {"AD101_GetRingIndex 4"}},
        {EV_LINE_STATE, LS_RING_OFF, {}, {}},
        {EV_BACK_CID,
         0,
         {"MCU_BACKCID", "Incoming nLine: 4", "Incoming szCallerID: " + noNumber,
          "Incoming szName: " + noNumber, "Incoming szTime: " + noNumber},
         {"AD101_GetCallerID 4 buf buf buf"}},
        {EV_DIAL_DIGIT, 0, {}, {"AD101_GetDialDigit 4 buf"}},
        {EV_BACK_COLLATERAL, 0, {"MCU_BACKCOLLATERAL"}, {"AD101_GetCollateralDialDigit 4 buf"}},
        {EV_MISSED_CALL, 0, {"Missed Call"}, {}},
        {EV_TALK_TIME, 5, {}, {}},
    };
    const Rows before = fillCells();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.kind) + "/" + std::to_string(c.lParam));
        std::filesystem::remove(logPath);
        device.clearCalls();
        g_passedOn.clear();

        send(4, c.kind, c.lParam);

        std::string expectedLog;
        for (const std::string& text : c.logBefore)
            expectedLog += entries({text});
        EXPECT_EQ(logBytes(), expectedLog + entries({kLine4Fault}));
        EXPECT_EQ(device.calls(), c.deviceCalls);
        EXPECT_EQ(rows(), before);
        EXPECT_EQ(g_passedOn.size(), 1u);
    }
    EXPECT_TRUE(mainWindow.calls.empty());

    std::filesystem::remove(logPath);
    send(32767, EV_DISABLE);
    EXPECT_EQ(logBytes(), entries({"Line index 32767 is out of range (0 to 3)"}));
}

TEST_F(DeviceEventTest, TheTrapLogsEachFaultAsOneLineAndEndsTheEvent)
{
    mainWindow.during = [] { throw std::runtime_error("first\r\nsecond\nthird\rfourth"); };
    send(1, EV_BACK_ENABLE);
    mainWindow.during = [] { throw 42; };
    send(2, EV_DISABLE);
    // A fault before the device call: nothing after it runs.
    diagnostics.during = [] { throw std::runtime_error("check box gone"); };
    send(0, EV_DIAL_DIGIT);

    EXPECT_EQ(logBytes(), entries({"MCU_BACKENABLE", "first  second third fourth",
                                   "An unknown fault occurred while handling a device event",
                                   "check box gone"}));
    EXPECT_TRUE(device.calls().empty());
    EXPECT_EQ(table.cellText(1, COL_DEVICE_STATE), "Enable");
    EXPECT_EQ(g_passedOn.size(), 3u);
}

TEST_F(DeviceEventTest, AMissingDeviceEntryIsLoggedAndLeavesTheLaterCellsAlone)
{
    device.removeEntry("AD101_GetCPUVersion");
    table.setCell(0, COL_CPU_VERSION, "old version");
    send(0, EV_DEVICE_VERSION);

    EXPECT_EQ(table.cellText(0, COL_DEVICE_STATE), "Enable");
    EXPECT_EQ(table.cellText(0, COL_CPU_VERSION), "old version");
    EXPECT_EQ(logBytes(), entries({"The device library has no entry \"AD101_GetCPUVersion\""}));
}

TEST_F(DeviceEventTest, ALogThatCannotBeWrittenStopsNothing)
{
    struct : LogObserver
    {
        std::vector<std::string> events;
        void logUnwritable(const std::string& reason) override { events.push_back(reason); }
        void logWritableAgain() override { events.push_back("writable again"); }
    } observer;
    activityLog.setObserver(&observer);
    std::filesystem::create_directories(logPath); // a folder where the file should be
    device.line(1).callerId = "0123456789";

    send(1, EV_BACK_CID); // five failing entries
    send(2, EV_BACK_ENABLE);
    send(4, EV_DISABLE); // the trap's own entry fails as well
    EXPECT_EQ(table.cellText(1, COL_CALLER_ID), field("0123456789", 128));
    EXPECT_EQ(table.cellText(2, COL_DEVICE_STATE), "Enable");
    EXPECT_EQ(mainWindow.calls, (std::vector<std::string>{"SendCall 1", "LightOn 2"}));
    EXPECT_EQ(mainWindow.sentCallerId, field("0123456789", 128));
    // Told once, naming the file and the system's reason.
    ASSERT_EQ(observer.events.size(), 1u);
    EXPECT_EQ(observer.events[0].rfind("Cannot write the log file " + logPath.string() + ": " +
                                           TestPlatform::kSystemTexts.openedAFolderAsAFile,
                                       0),
              0u)
        << observer.events[0];

    std::filesystem::remove(logPath);
    send(0, EV_MISSED_CALL);
    EXPECT_EQ(logBytes(), entries({"Missed Call"}));
    ASSERT_EQ(observer.events.size(), 2u);
    EXPECT_EQ(observer.events[1], "writable again");
    EXPECT_EQ(g_passedOn.size(), 4u);
}

TEST_F(DeviceEventTest, ParameterReportShowsTheRecordAndLogsNothing)
{
    device.line(1).parameters = {30, 40, 50, 60, 70, 80};
    const Rows before = rows();

    send(1, EV_PARAMETER, 123);

    EXPECT_EQ(device.calls(), std::vector<std::string>{"AD101_GetParameter 1 buf"});
    EXPECT_EQ(diagnostics.calls,
              std::vector<std::string>{"showTimingParameters 1 30 40 50 60 70 80"});
    EXPECT_EQ(rows(), before);
    EXPECT_FALSE(std::filesystem::exists(logPath));

    diagnostics.during = [] { throw std::out_of_range("No line selector entry 3"); };
    send(3, EV_PARAMETER);
    EXPECT_EQ(logBytes(), entries({"No line selector entry 3"}));
}

namespace {
int32_t silentGetParameter(int32_t, AD101TimingParameters*)
{
    return 1;
}
} // namespace

TEST_F(DeviceEventTest, ParameterRecordIsZeroedBeforeTheDeviceFillsIt)
{
    DeviceLibrary silent([inner = device.resolver()](const char* name) -> void* {
        if (std::string_view(name) == "AD101_GetParameter")
            return reinterpret_cast<void*>(&silentGetParameter);
        return inner(name);
    });
    DeviceEventHandler other(silent, table, activityLog, windows);
    other.HandleDeviceEvent(2 * 65536 + EV_PARAMETER, 0);
    EXPECT_EQ(diagnostics.calls, std::vector<std::string>{"showTimingParameters 2 0 0 0 0 0 0"});
}

TEST_F(DeviceEventTest, InstallingTwiceOnOneWindowStillPassesEachMessageOnOnce)
{
    window.installDeviceWindowProc(&handler);
    send(1, EV_BACK_ENABLE);
    EXPECT_EQ(g_passedOn.size(), 1u);
    EXPECT_EQ(logBytes(), entries({"MCU_BACKENABLE"}));
}

TEST_F(DeviceEventTest, ANewHandlerTakesOverAndOneTakenOutIsNeverReached)
{
    LineStatusModel otherTable;
    otherTable.build();
    {
        DeviceEventHandler other(library, otherTable, activityLog, windows);
        window.installDeviceWindowProc(&other);
        send(1, EV_BACK_ENABLE);
        window.installDeviceWindowProc(nullptr);
    }
    send(2, EV_BACK_ENABLE); // no handler is installed now

    EXPECT_EQ(otherTable.cellText(1, COL_DEVICE_STATE), "Enable");
    EXPECT_EQ(table.cellText(1, COL_DEVICE_STATE), "Disable");
    EXPECT_EQ(table.cellText(2, COL_DEVICE_STATE), "Disable");
    EXPECT_EQ(mainWindow.calls, std::vector<std::string>{"LightOn 1"});
    EXPECT_EQ(g_passedOn.size(), 2u);
}

TEST_F(DeviceEventTest, TheEventLoopDeliversNotificationsInPostingOrder)
{
    window.post(WM_DEVICE_EVENT, EV_BACK_ENABLE, 0);
    window.post(WM_DEVICE_EVENT, 65536 + EV_MISSED_CALL, 0);
    window.post(WM_DEVICE_EVENT, 2 * 65536 + EV_LINE_STATE, LS_NO_HOOK_PRB);
    QCoreApplication::processEvents();

    EXPECT_EQ(logBytes(), entries({"MCU_BACKENABLE", "Missed Call", "NOHKPRB"}));
    EXPECT_EQ(g_passedOn.size(), 3u);
}
