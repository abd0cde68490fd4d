// Tavix CallerID tests: the core on its own, with no application object and no window: the
// device's opening and closing, the lamps and the reports the windows show.
#include "RecordingDevice.h"
#include "TempDir.h"
#include "log/ActivityLog.h"
#include "monitor/CallerIdCore.h"
#include "monitor/DeviceEvents.h"
#include "monitor/DeviceWindow.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <limits>

namespace {

using Calls = std::vector<std::string>;

class CallerIdCoreTest : public ::testing::Test
{
  protected:
    void deliver(int32_t line, int32_t kind, int32_t lParam = 0)
    {
        core.deviceWindow()->post(WM_DEVICE_EVENT, line * 65536 + kind, lParam);
        core.deviceWindow()->deliverPosted();
    }

    RecordingDevice recorder;
    DeviceLibrary device{recorder.resolver()};
    TempDir dir;
    ActivityLog log{dir / "tavix.log", [] { return TimeOfDay{8, 0, 0}; }};
    CallerIdCore core{device, log};
};

TEST_F(CallerIdCoreTest, HandlesDeviceEventsFromOpeningToClosing)
{
    core.buildLineTable();
    core.openDevice(0);
    EXPECT_EQ(recorder.calls(), (Calls{"AD101_InitDevice handle", "AD101_GetDevice"}));
    EXPECT_EQ(recorder.initHandle(), core.deviceWindowHandle());
    QSignalSpy lamps(&core, &CallerIdCore::lampSwitched);

    deliver(2, EV_BACK_ENABLE);
    EXPECT_EQ(core.lineStatus().cellText(2, COL_DEVICE_STATE), "Enable");
    EXPECT_TRUE(core.lampLit(2));
    EXPECT_EQ(core.CurrentLine(), 2);
    ASSERT_EQ(lamps.count(), 1);
    EXPECT_EQ(lamps[0], (QVariantList{2, true}));

    recorder.clearCalls();
    EXPECT_EQ(core.closeDevice(), "");
    EXPECT_EQ(recorder.calls(), Calls{"AD101_FreeDevice"});
    EXPECT_EQ(core.deviceWindow(), nullptr);
    EXPECT_EQ(core.closeDevice(), ""); // once only
    EXPECT_EQ(recorder.calls(), Calls{"AD101_FreeDevice"});
}

TEST_F(CallerIdCoreTest, AFailedFreeIsReturnedAndTheDeviceWindowStillGoes)
{
    recorder.removeEntry("AD101_FreeDevice");
    core.buildLineTable();
    core.openDevice(0);
    EXPECT_NE(core.closeDevice().find("AD101_FreeDevice"), std::string::npos);
    EXPECT_EQ(core.deviceWindow(), nullptr);
}

TEST_F(CallerIdCoreTest, ADeviceThatDoesNotOpenLeavesNoWindow)
{
    recorder.removeEntry("AD101_GetDevice");
    core.buildLineTable();
    EXPECT_THROW(core.openDevice(0), DeviceError);
    EXPECT_EQ(core.deviceWindow(), nullptr);
    EXPECT_EQ(core.deviceWindowHandle(), nullptr);
}

TEST_F(CallerIdCoreTest, TimingReportsReachTheWindowsOnlyForTheFourLines)
{
    QSignalSpy reports(&core, &CallerIdCore::timingParametersReported);
    for (int32_t line : {-1, 4, std::numeric_limits<int32_t>::max()})
        EXPECT_THROW(core.showTimingParameters(line, {}), std::out_of_range) << line;
    core.showTimingParameters(3, {1, 2, 3, 4, 5, 6});
    ASSERT_EQ(reports.count(), 1);
    EXPECT_EQ(reports[0][0].toInt(), 3);
}

TEST_F(CallerIdCoreTest, ACallerBeforeTheSettingsAreReadIsAFaultNotACrash)
{
    EXPECT_THROW(core.SendCall("0123456789", "0"), std::logic_error);
}

} // namespace
