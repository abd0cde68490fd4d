// Tavix CallerID tests: reading and writing the timing parameters and setting the wait times.
#include "UiTestFixture.h"

#include "monitor/DeviceEvents.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <array>

namespace {

constexpr std::array<const char*, 6> kTimingBoxes = {"TxtRINGON",  "TxtRINGOFF",    "TxtHOOKON",
                                                     "TxtHOOKOFF", "TxtCALLIDSTOP", "TxtNoLine"};

class TimingParametersTest : public UiTest
{
  protected:
    QLineEdit& box(const char* name) { return control<QLineEdit>(form(), name); }
    QComboBox& selector() { return control<QComboBox>(form(), "Combo1"); }
    void press(const char* button)
    {
        QTest::mouseClick(&control<QPushButton>(form(), button), Qt::LeftButton);
    }
    void selectLine(int line)
    {
        QTest::keyClick(&selector(), Qt::Key_Home);
        for (int i = 0; i < line; ++i)
            QTest::keyClick(&selector(), Qt::Key_Down);
    }
    void type(const char* name, const QString& text)
    {
        box(name).clear();
        QTest::keyClicks(&box(name), text);
    }
    void fill(const std::array<QString, 6>& texts)
    {
        for (size_t i = 0; i < texts.size(); ++i)
            type(kTimingBoxes[i], texts[i]);
    }
    // The device reports line `line`'s parameters, as a notification through Form1's window.
    void report(int32_t line)
    {
        form().deviceWindow()->post(WM_DEVICE_EVENT, line * 65536 + EV_PARAMETER, 0);
        QCoreApplication::processEvents();
    }
    std::array<QString, 6> shown()
    {
        std::array<QString, 6> texts;
        for (size_t i = 0; i < texts.size(); ++i)
            texts[i] = box(kTimingBoxes[i]).text();
        return texts;
    }
};

TEST_F(TimingParametersTest, ReadAsksForTheSelectedLineAndEmptiesFiveBoxes)
{
    startProgram();
    fill({"1", "2", "3", "4", "5", "6"});
    selectLine(1);

    press("CmdRead");

    EXPECT_EQ(recorder.calls(), Calls{"AD101_ReadParameter 1"});
    EXPECT_EQ(shown(), (std::array<QString, 6>{"", "", "", "", "", "6"}));
}

TEST_F(TimingParametersTest, TheReportFillsTheBoxesInRecordOrder)
{
    startProgram();
    selectLine(1);
    press("CmdRead");
    recorder.line(1).parameters = {30, 40, 50, 60, 70, 80};

    report(1);

    EXPECT_EQ(selector().currentText(), "Line02");
    EXPECT_EQ(shown(), (std::array<QString, 6>{"30", "40", "50", "60", "70", "80"}));
    EXPECT_EQ(recorder.calls(), (Calls{"AD101_ReadParameter 1", "AD101_GetParameter 1 buf"}));
    EXPECT_EQ(logTexts().size(), 1u);
}

TEST_F(TimingParametersTest, AReportForAnotherLineTakesOverTheSelectorWithoutAnLedCommand)
{
    startProgram();
    recorder.line(3).parameters = {-1, 0, 255, 256, 2147483647, -2147483647 - 1};

    report(3);

    EXPECT_EQ(selector().currentText(), "Line04");
    EXPECT_EQ(shown(),
              (std::array<QString, 6>{"-1", "0", "255", "256", "2147483647", "-2147483648"}));
    EXPECT_EQ(recorder.calls(), Calls{"AD101_GetParameter 3 buf"});
    EXPECT_TRUE(control<QRadioButton>(form(), "OpbLedoff").isChecked());
}

TEST_F(TimingParametersTest, ShowingALineWithNoEntryThrowsAndChangesNothing)
{
    startProgram();
    fill({"1", "2", "3", "4", "5", "6"});

    EXPECT_THROW(core->showTimingParameters(4, AD101TimingParameters{}), std::out_of_range);
    EXPECT_THROW(core->showTimingParameters(-1, AD101TimingParameters{}), std::out_of_range);

    EXPECT_EQ(selector().currentIndex(), 0);
    EXPECT_EQ(shown(), (std::array<QString, 6>{"1", "2", "3", "4", "5", "6"}));
    EXPECT_TRUE(recorder.calls().empty());
}

struct SetCase
{
    const char* name;
    std::array<QString, 6> texts;
    const char* sent;
};

class SetParametersTest : public TimingParametersTest, public ::testing::WithParamInterface<SetCase>
{
};

TEST_P(SetParametersTest, SendsTheBoxesAsNumbersForTheSelectedLine)
{
    startProgram();
    selectLine(2);
    fill(GetParam().texts);

    press("CmdWrite");

    EXPECT_EQ(recorder.calls(), Calls{std::string("AD101_SetParameter 2 ") + GetParam().sent});
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(logTexts().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    TextToNumber, SetParametersTest,
    ::testing::Values(
        SetCase{"Rounding", {"20", "", "12.5", "13.5", "  25", "12abc"}, "20 0 12 14 25 12"},
        SetCase{"RangeNotEnforced", {"300", "-5", "9", "256", "0", "1e3"}, "300 -5 9 256 0 1000"},
        SetCase{"Limits",
                {"2147483647", "-2147483648", "&H10", "&O17", "x", " - 7"},
                "2147483647 -2147483648 16 15 0 -7"}),
    [](const ::testing::TestParamInfo<SetCase>& info) { return std::string(info.param.name); });

TEST_F(TimingParametersTest, SetRightAfterReadSendsZerosAndTheOldNoLine)
{
    startProgram();
    fill({"11", "12", "13", "14", "15", "16"});
    press("CmdRead");
    recorder.clearCalls();

    press("CmdWrite");

    EXPECT_EQ(recorder.calls(), Calls{"AD101_SetParameter 0 0 0 0 0 0 16"});
}

TEST_F(TimingParametersTest, SetWaitTimesSendsBothBoxesInOrder)
{
    startProgram();
    type("Text2", "5");
    type("Text3", "10");

    press("CmdCONFIG");

    EXPECT_EQ(recorder.calls(),
              (Calls{"AD101_SetDialOutStartTalkingTime 5", "AD101_SetRingOffTime 10"}));
    EXPECT_EQ(logTexts().size(), 1u);
}

struct RefusedCase
{
    const char* button;
    const char* box;
};

class RefusedValueTest : public TimingParametersTest,
                         public ::testing::WithParamInterface<RefusedCase>
{
};

TEST_P(RefusedValueTest, ANumberBeyond32BitsIsRefusedWithAMessageAndNothingSent)
{
    startProgram();
    fill({"10", "20", "30", "40", "50", "60"});
    type(GetParam().box, "2147483648");

    press(GetParam().button);

    EXPECT_TRUE(recorder.calls().empty());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, ShownBox::Warning);
    EXPECT_TRUE(boxes[0].text.contains(QLatin1String(GetParam().box)))
        << boxes[0].text.toStdString();
    EXPECT_TRUE(boxes[0].text.contains("2147483648"));
    EXPECT_EQ(box(GetParam().box).text(), "2147483648");
}

INSTANTIATE_TEST_SUITE_P(EachBox, RefusedValueTest,
                         ::testing::Values(RefusedCase{"CmdWrite", "TxtRINGON"},
                                           RefusedCase{"CmdWrite", "TxtHOOKOFF"},
                                           RefusedCase{"CmdWrite", "TxtNoLine"},
                                           RefusedCase{"CmdCONFIG", "Text2"},
                                           RefusedCase{"CmdCONFIG", "Text3"}),
                         [](const ::testing::TestParamInfo<RefusedCase>& info) {
                             return std::string(info.param.button) + "_" + info.param.box;
                         });

} // namespace
