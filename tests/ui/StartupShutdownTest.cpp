// Tavix CallerID tests: start-up (Form1's load step) and shutdown of the two windows.
#include "UiTestFixture.h"

#include "monitor/DeviceEvents.h"
#include "monitor/LineStatusModel.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <string_view>

namespace {

const Calls kStartupCalls = {
    "AD101_InitDevice handle", "AD101_GetDevice",  "AD101_SetDialOutStartTalkingTime 3",
    "AD101_SetRingOffTime 7",  "AD101_SetLED 0 1", "AD101_ShowCollateralPhoneDialed 1",
    "AD101_SetLED 0 3",
};

int32_t wParamOf(int32_t line, int32_t kind)
{
    return line * 65536 + kind;
}

bool anyWindowVisible()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible())
            return true;
    }
    return false;
}

using StartupTest = UiTest;

TEST_F(StartupTest, OpensTheDeviceSetsTheDefaultsAndLogsTheGreenLed)
{
    makeApp().start();

    EXPECT_EQ(recorder.calls(), kStartupCalls);
    EXPECT_EQ(recorder.initHandle(), form().deviceWindowHandle());
    EXPECT_NE(recorder.initHandle(), nullptr);
    EXPECT_EQ(logTexts(), std::vector<std::string>{"Turn line 0's light to green"});
    EXPECT_TRUE(boxes.empty());
}

TEST_F(StartupTest, ShowsBothWindowsWithFormInFront)
{
    makeApp().start();

    EXPECT_TRUE(mainWindow().isVisible());
    EXPECT_TRUE(form().isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form()));
    EXPECT_EQ(QApplication::activeWindow(), &form());
}

TEST_F(StartupTest, LeavesTheControlsInTheirStartState)
{
    makeApp().start();
    DiagnosticsWindow& f = form();

    auto& selector = control<QComboBox>(f, "Combo1");
    ASSERT_EQ(selector.count(), 4);
    EXPECT_EQ(selector.itemText(0), "Line01");
    EXPECT_EQ(selector.itemText(3), "Line04");
    EXPECT_EQ(selector.currentIndex(), 0);
    EXPECT_EQ(control<QLineEdit>(f, "Text2").text(), "3");
    EXPECT_EQ(control<QLineEdit>(f, "Text3").text(), "7");
    EXPECT_TRUE(control<QRadioButton>(f, "OpbLedoff").isChecked());
    EXPECT_TRUE(control<QCheckBox>(f, "CheckSHOWNUMBER").isChecked());
    EXPECT_TRUE(control<QCheckBox>(f, "CheckSHOWPHONENUMBER").isChecked());
    EXPECT_TRUE(core->showPhoneNumberTicked());
    for (const char* box :
         {"TxtRINGON", "TxtRINGOFF", "TxtHOOKON", "TxtHOOKOFF", "TxtCALLIDSTOP", "TxtNoLine"})
        EXPECT_TRUE(control<QLineEdit>(f, box).text().isEmpty()) << box;

    auto& table = lineTable(f);
    for (int line = 0; line < kLineCount; ++line) {
        EXPECT_EQ(table.cellText(line, COL_DEVICE_STATE), "Disable");
        EXPECT_EQ(table.cellText(line, COL_CALLER_ID), "");
    }
    EXPECT_EQ(core->CurrentLine(), 0);
}

TEST_F(StartupTest, GreensAndLogsTheLineLastSwitched)
{
    // A second start-up, after a lamp was switched, lights that line.
    makeApp();
    core->LightOff(3);
    app->start();

    EXPECT_EQ(recorder.calls().back(), "AD101_SetLED 3 3");
    EXPECT_EQ(logTexts(), std::vector<std::string>{"Turn line 3's light to green"});
}

TEST_F(StartupTest, AMissingDeviceEntryStopsStartUpAtThatStep)
{
    recorder.removeEntry("AD101_InitDevice");
    makeApp();

    EXPECT_THROW(app->start(), DeviceError);
    EXPECT_TRUE(recorder.calls().empty());
    EXPECT_TRUE(logTexts().empty());
    EXPECT_EQ(app->mainWindow(), nullptr);
    EXPECT_EQ(app->diagnosticsWindow(), nullptr);
}

TEST_F(StartupTest, ALogThatCannotBeWrittenDoesNotStopStartUpAndIsReportedOnce)
{
    ActivityLog unwritable(dir.path()); // a folder, not a file
    device = std::make_unique<DeviceLibrary>(resolve);
    core = std::make_unique<CallerIdCore>(*device, unwritable);
    unwritable.setObserver(core.get());
    app = std::make_unique<CallerIdApp>(*core, std::make_unique<RecordingMessageBoxes>(boxes));

    app->start();
    EXPECT_EQ(recorder.calls(), kStartupCalls);
    ASSERT_NE(app->mainWindow(), nullptr);
    EXPECT_TRUE(app->mainWindow()->isVisible());
    // Told after start-up, not in the middle of it, and once while the log stays unwritable.
    EXPECT_TRUE(boxes.empty());
    QCoreApplication::sendPostedEvents();
    unwritable.WriteLog("Missed Call");
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, ShownBox::Notice);
    EXPECT_TRUE(boxes[0].text.contains(QString::fromStdString(dir.path().string())))
        << boxes[0].text.toStdString();
    app.reset();
}

// A notification from a device that posts as soon as it is opened.
int32_t AD101_CALL getDevicePostingEnable()
{
    RecordingDevice& recording = RecordingDevice::current();
    recording.record("AD101_GetDevice");
    recording.postToProgram(WM_DEVICE_EVENT, wParamOf(1, EV_BACK_ENABLE), 0);
    return 1;
}

TEST_F(StartupTest, HandlesANotificationPostedDuringStartUpOnlyAfterIt)
{
    resolve = [inner = recorder.resolver()](const char* entry) -> void* {
        if (std::string_view(entry) == "AD101_GetDevice")
            return reinterpret_cast<void*>(&getDevicePostingEnable);
        return inner(entry);
    };
    makeApp().start();

    // Start-up ran to its end without it: line 0 went green, and nothing is on the table yet.
    EXPECT_EQ(recorder.calls().back(), "AD101_SetLED 0 3");
    EXPECT_EQ(logTexts(), std::vector<std::string>{"Turn line 0's light to green"});
    auto& table = lineTable(form());
    EXPECT_EQ(table.cellText(1, COL_DEVICE_STATE), "Disable");

    QCoreApplication::processEvents();

    EXPECT_EQ(table.cellText(1, COL_DEVICE_STATE), "Enable");
    EXPECT_EQ(logTexts(),
              (std::vector<std::string>{"Turn line 0's light to green", "MCU_BACKENABLE"}));
    EXPECT_FALSE(control<QLabel>(mainWindow(), "OnLights1").isHidden());
    EXPECT_EQ(core->CurrentLine(), 1);
}

using ShutdownTest = UiTest;

TEST_F(ShutdownTest, ClosingMainSwitchesTheCurrentLineOffAndFreesTheDeviceOnce)
{
    startProgram();
    core->LightOn(2);
    QPointer<QWidget> formWindow = &form();
    QPointer<QWidget> mainWidget = &mainWindow();

    EXPECT_TRUE(mainWindow().close());

    EXPECT_EQ(recorder.calls(), (Calls{"AD101_SetLED 2 1", "AD101_FreeDevice"}));
    EXPECT_EQ(app->mainWindow(), nullptr);
    EXPECT_EQ(app->diagnosticsWindow(), nullptr);
    EXPECT_FALSE(anyWindowVisible());
    deleteClosedWindows();
    EXPECT_TRUE(formWindow.isNull());
    EXPECT_TRUE(mainWidget.isNull());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ShutdownTest, ATerminationInsideABoxsLoopReleasesTheDeviceNowAndClosesAfterIt)
{
    startProgram();
    core->LightOn(2);
    QPointer<QWidget> mainWidget = &mainWindow();
    // The program's own loop, and a box's loop inside it.
    QEventLoop programLoop;
    QEventLoop boxLoop;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [&] {
            app->requestShutdown();
            EXPECT_EQ(recorder.calls(), (Calls{"AD101_SetLED 2 1", "AD101_FreeDevice"}));
            EXPECT_FALSE(mainWidget.isNull());
            EXPECT_TRUE(mainWidget->isVisible());
            boxLoop.quit();
        });
        boxLoop.exec();
        // Back in the program's loop: the windows go, the device is not released twice.
        QTimer::singleShot(100, &programLoop, &QEventLoop::quit);
    });
    programLoop.exec();
    EXPECT_EQ(recorder.calls(), (Calls{"AD101_SetLED 2 1", "AD101_FreeDevice"}));
    EXPECT_FALSE(anyWindowVisible());
}

TEST_F(ShutdownTest, FormClosedFirstFreesTheDeviceThenMainOnlySwitchesTheLedOff)
{
    startProgram();
    core->LightOff(1);

    QTest::mouseClick(&control<QPushButton>(form(), "CmdOK"), Qt::LeftButton);

    EXPECT_EQ(recorder.calls(), Calls{"AD101_FreeDevice"});
    EXPECT_EQ(app->diagnosticsWindow(), nullptr);
    EXPECT_TRUE(mainWindow().isVisible());
    EXPECT_TRUE(anyWindowVisible());

    recorder.clearCalls();
    mainWindow().close();

    EXPECT_EQ(recorder.calls(), Calls{"AD101_SetLED 1 1"});
    EXPECT_FALSE(anyWindowVisible());
}

TEST_F(ShutdownTest, FormClosedByItsCloseBoxFreesTheDevice)
{
    startProgram();

    form().close();

    EXPECT_EQ(recorder.calls(), Calls{"AD101_FreeDevice"});
    EXPECT_EQ(app->diagnosticsWindow(), nullptr);
}

TEST_F(ShutdownTest, ANotificationQueuedWhenFormUnloadsIsNeverHandled)
{
    startProgram();
    form().deviceWindow()->post(WM_DEVICE_EVENT, wParamOf(0, EV_BACK_ENABLE), 0);

    form().close();
    QCoreApplication::processEvents();

    EXPECT_EQ(logTexts(), std::vector<std::string>{"Turn line 0's light to green"});
    EXPECT_TRUE(control<QLabel>(mainWindow(), "OnLights0").isHidden());
}

TEST_F(ShutdownTest, LoadingFormAgainRunsTheWholeStartUpWithAFreshTable)
{
    startProgram();
    form().deviceWindow()->post(WM_DEVICE_EVENT, wParamOf(2, EV_BACK_ENABLE), 0);
    QCoreApplication::processEvents();
    ASSERT_EQ(lineTable(form()).cellText(2, COL_DEVICE_STATE), "Enable");
    form().close();
    deleteClosedWindows();
    recorder.clearCalls();

    DiagnosticsWindow& again = app->loadDiagnosticsWindow();

    Calls expected = kStartupCalls;
    expected.back() = "AD101_SetLED 2 3"; // the line last switched
    EXPECT_EQ(recorder.calls(), expected);
    EXPECT_EQ(recorder.initHandle(), again.deviceWindowHandle());
    EXPECT_EQ(logTexts(),
              (std::vector<std::string>{"Turn line 0's light to green", "MCU_BACKENABLE",
                                        "Turn line 2's light to green"}));
    EXPECT_EQ(lineTable(again).cellText(2, COL_DEVICE_STATE), "Disable");
    EXPECT_EQ(control<QComboBox>(again, "Combo1").count(), 4);

    // Its notifications are handled again.
    again.deviceWindow()->post(WM_DEVICE_EVENT, wParamOf(3, EV_BACK_ENABLE), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(lineTable(again).cellText(3, COL_DEVICE_STATE), "Enable");
}

TEST_F(ShutdownTest, TheHiddenShowDebugButtonBringsBackAClosedForm)
{
    startProgram();
    auto& showDebug = control<QPushButton>(mainWindow(), "showDebugForm");
    EXPECT_TRUE(showDebug.isHidden());
    form().close();
    recorder.clearCalls();

    showDebug.click();

    ASSERT_NE(app->diagnosticsWindow(), nullptr);
    EXPECT_TRUE(form().isVisible());
    EXPECT_EQ(recorder.calls().front(), "AD101_InitDevice handle");
    EXPECT_EQ(logTexts().size(), 2u);
}

TEST_F(ShutdownTest, AFailingFreeIsReportedAndTheWindowStillCloses)
{
    recorder.removeEntry("AD101_FreeDevice");
    startProgram();

    mainWindow().close();

    EXPECT_EQ(recorder.calls(), Calls{"AD101_SetLED 0 1"});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, ShownBox::Warning);
    EXPECT_TRUE(boxes[0].text.contains("AD101_FreeDevice"));
    EXPECT_EQ(app->diagnosticsWindow(), nullptr);
    EXPECT_FALSE(anyWindowVisible());
}

} // namespace
