// Tavix CallerID tests: Form1's layout and its LED, busy/free and display commands.
#include "UiTestFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

using DiagnosticsWindowTest = UiTest;

TEST_F(DiagnosticsWindowTest, HasItsTitleFixedSizeAndFont)
{
    startProgram();
    DiagnosticsWindow& f = form();

    EXPECT_EQ(f.objectName(), "Form1");
    EXPECT_EQ(f.windowTitle(), "AD101Demo Version1.0.2.04 (20100325 Built)");
    EXPECT_EQ(f.size(), QSize(789, 523));
    EXPECT_EQ(f.minimumSize(), f.maximumSize());
    EXPECT_EQ(f.font().family(), "Arial");
    EXPECT_EQ(f.font().pointSize(), 9);
    EXPECT_EQ(control<QLabel>(f, "Label4").font().family(), "Arial");
}

TEST_F(DiagnosticsWindowTest, ListView1ShowsTheLineTableInTheDesignedColumns)
{
    startProgram();
    auto& list = control<QTreeView>(form(), "ListView1");

    EXPECT_EQ(list.model(), &core->lineStatus());
    EXPECT_FALSE(list.rootIsDecorated());
    EXPECT_FALSE(list.isSortingEnabled());
    EXPECT_FALSE(list.header()->stretchLastSection());
    EXPECT_EQ(list.header()->defaultAlignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    // Twips / 15, to the nearest pixel.
    const int widths[] = {40, 89, 103, 109, 123, 103, 76, 103, 103};
    for (int column = 0; column < kColumnCount; ++column)
        EXPECT_EQ(list.columnWidth(column), widths[column]) << column;
    EXPECT_EQ(list.model()->rowCount(), kLineCount);
}

struct Placement
{
    const char* name;
    QRect geometry; // pixels, inside the frame for controls in a frame
    const char* caption;
};

class DiagnosticsLayoutTest : public UiTest, public ::testing::WithParamInterface<Placement>
{
};

TEST_P(DiagnosticsLayoutTest, PlacesTheControl)
{
    startProgram();
    const Placement& expected = GetParam();
    auto& widget = control<QWidget>(form(), expected.name);

    EXPECT_EQ(widget.geometry(), expected.geometry);
    QString caption;
    if (auto* button = qobject_cast<QAbstractButton*>(&widget))
        caption = button->text();
    else if (auto* label = qobject_cast<QLabel*>(&widget))
        caption = label->text();
    else if (auto* frame = qobject_cast<QGroupBox*>(&widget))
        caption = frame->title();
    EXPECT_EQ(caption, QString::fromLatin1(expected.caption));
}

INSTANTIATE_TEST_SUITE_P(
    SpotChecks, DiagnosticsLayoutTest,
    ::testing::Values(
        Placement{"ListView1", {0, 0, 777, 161}, ""}, Placement{"Combo1", {96, 168, 81, 23}, ""},
        Placement{"cmdLINEBUSY", {176, 168, 73, 25}, "Line Busy"},
        Placement{"CheckSHOWNUMBER", {536, 176, 233, 17}, "Show Collateral Phone Dialed Number"},
        Placement{"Frame3", {0, 200, 777, 137}, "LED Control"},
        Placement{"Frame1",
                  {0, 336, 777, 113},
                  "System Parameter Setting(Time Unit: 10ms) (Set Range: 10-255) "},
        Placement{"OpbYellowLedQuick", {592, 96, 169, 33}, "Yellow LED Flash Quickly"},
        Placement{"CmdRead", {664, 32, 65, 25}, "&Read"},
        Placement{"TxtNoLine", {456, 72, 57, 25}, ""}, Placement{"Text2", {176, 464, 49, 22}, ""},
        Placement{"CmdCONFIG", {376, 480, 137, 25}, "Set"},
        Placement{"CmdOK", {608, 488, 153, 25}, "&Exit"},
        Placement{"Label7", {8, 496, 145, 17}, "Missed Call Wait Time:"}),
    [](const ::testing::TestParamInfo<Placement>& info) { return std::string(info.param.name); });

TEST_F(DiagnosticsWindowTest, PutsTheOptionsAndTimingBoxesInTheirFrames)
{
    startProgram();
    auto& leds = control<QGroupBox>(form(), "Frame3");
    auto& timing = control<QGroupBox>(form(), "Frame1");

    EXPECT_EQ(leds.findChildren<QRadioButton*>().size(), 10);
    EXPECT_EQ(control<QLineEdit>(form(), "TxtHOOKOFF").parentWidget(), &timing);
    EXPECT_EQ(control<QLineEdit>(form(), "Text3").parentWidget(), &form());
    EXPECT_FALSE(control<QComboBox>(form(), "Combo1").isEditable());
}

struct LedCase
{
    const char* option;
    int32_t code;
};

class LedOptionTest : public UiTest, public ::testing::WithParamInterface<LedCase>
{
};

TEST_P(LedOptionTest, SendsItsCodeForTheSelectedLineOnly)
{
    startProgram();
    auto& option = control<QRadioButton>(form(), GetParam().option);
    auto& ledOff = control<QRadioButton>(form(), "OpbLedoff");
    QTest::keyClick(&control<QComboBox>(form(), "Combo1"), Qt::Key_Down); // Line02

    QTest::mouseClick(&option, Qt::LeftButton);

    EXPECT_EQ(recorder.calls(), Calls{"AD101_SetLED 1 " + std::to_string(GetParam().code)});
    EXPECT_TRUE(option.isChecked());
    EXPECT_EQ(ledOff.isChecked(), &option == &ledOff);
    EXPECT_EQ(logTexts().size(), 1u); // start-up's only
}

INSTANTIATE_TEST_SUITE_P(
    AllTen, LedOptionTest,
    ::testing::Values(LedCase{"OpbLedoff", 1}, LedCase{"OpbRedLedOn", 2},
                      LedCase{"OpbGreenLedOn", 3}, LedCase{"OpbYellowLedOn", 4},
                      LedCase{"OpbRedLedSlow", 5}, LedCase{"OpbGreenLedSlow", 6},
                      LedCase{"OpbYellowLedSlow", 7}, LedCase{"OpbRedLedQuick", 8},
                      LedCase{"OpbGreenLedQuick", 9}, LedCase{"OpbYellowLedQuick", 10}),
    [](const ::testing::TestParamInfo<LedCase>& info) { return std::string(info.param.option); });

TEST_F(DiagnosticsWindowTest, SwitchesTheLedOfLineThreeThenOff)
{
    startProgram();
    auto& selector = control<QComboBox>(form(), "Combo1");
    QTest::keyClick(&selector, Qt::Key_Down);
    QTest::keyClick(&selector, Qt::Key_Down);
    ASSERT_EQ(selector.currentText(), "Line03");

    QTest::mouseClick(&control<QRadioButton>(form(), "OpbRedLedQuick"), Qt::LeftButton);
    QTest::mouseClick(&control<QRadioButton>(form(), "OpbLedoff"), Qt::LeftButton);

    EXPECT_EQ(recorder.calls(), (Calls{"AD101_SetLED 2 8", "AD101_SetLED 2 1"}));
    EXPECT_FALSE(control<QRadioButton>(form(), "OpbRedLedQuick").isChecked());
}

TEST_F(DiagnosticsWindowTest, PickingALineSendsNothingAndKeepsTheOption)
{
    startProgram();
    QTest::mouseClick(&control<QRadioButton>(form(), "OpbGreenLedSlow"), Qt::LeftButton);
    recorder.clearCalls();
    auto& selector = control<QComboBox>(form(), "Combo1");

    for (int i = 0; i < 3; ++i)
        QTest::keyClick(&selector, Qt::Key_Down);

    EXPECT_EQ(selector.currentText(), "Line04");
    EXPECT_TRUE(recorder.calls().empty());
    EXPECT_TRUE(control<QRadioButton>(form(), "OpbGreenLedSlow").isChecked());
}

TEST_F(DiagnosticsWindowTest, BusySendsZeroAndFreeSendsOne)
{
    startProgram();

    QTest::mouseClick(&control<QPushButton>(form(), "cmdLINEBUSY"), Qt::LeftButton);
    QTest::mouseClick(&control<QPushButton>(form(), "CmdLINEFREE"), Qt::LeftButton);
    QTest::keyClick(&control<QComboBox>(form(), "Combo1"), Qt::Key_End); // Line04
    QTest::mouseClick(&control<QPushButton>(form(), "cmdLINEBUSY"), Qt::LeftButton);

    EXPECT_EQ(recorder.calls(),
              (Calls{"AD101_SetBusy 0 0", "AD101_SetBusy 0 1", "AD101_SetBusy 3 0"}));
    EXPECT_EQ(logTexts().size(), 1u);
}

TEST_F(DiagnosticsWindowTest, EnterPressesAFocusedButtonAsSpaceDoes)
{
    startProgram();
    auto& lineBusy = control<QPushButton>(form(), "cmdLINEBUSY");
    QTest::keyClick(&lineBusy, Qt::Key_Return);
    QTest::keyClick(&lineBusy, Qt::Key_Enter);
    QTest::keyClick(&lineBusy, Qt::Key_Space);
    EXPECT_EQ(recorder.calls(), Calls(3, "AD101_SetBusy 0 0"));
}

TEST_F(DiagnosticsWindowTest, EveryCaptionFitsItsControl)
{
    startProgram();
    for (QWidget* control : form().findChildren<QWidget*>()) {
        if (qobject_cast<QLabel*>(control) || qobject_cast<QCheckBox*>(control) ||
            qobject_cast<QRadioButton*>(control)) {
            EXPECT_LE(control->sizeHint().width(), control->width())
                << control->objectName().toStdString();
        }
    }
    // Where a caption needed it, only its font got smaller: the place and size are the design's.
    EXPECT_EQ(control<QLabel>(form(), "Label6").geometry(), QRect(8, 464, 145, 17));
}

TEST_F(DiagnosticsWindowTest, CollateralDisplayFollowsItsCheckBoxWithoutALine)
{
    startProgram();
    auto& collateral = control<QCheckBox>(form(), "CheckSHOWNUMBER");

    QTest::mouseClick(&collateral, Qt::LeftButton);
    EXPECT_FALSE(collateral.isChecked());
    QTest::keyClick(&collateral, Qt::Key_Space);

    EXPECT_TRUE(collateral.isChecked());
    EXPECT_EQ(recorder.calls(),
              (Calls{"AD101_ShowCollateralPhoneDialed 0", "AD101_ShowCollateralPhoneDialed 1"}));
    EXPECT_EQ(logTexts().size(), 1u);
}

TEST_F(DiagnosticsWindowTest, ThePhoneNumberCheckBoxOnlyRecordsItsState)
{
    startProgram();
    auto& phoneNumber = control<QCheckBox>(form(), "CheckSHOWPHONENUMBER");

    QTest::mouseClick(&phoneNumber, Qt::LeftButton);
    EXPECT_FALSE(core->showPhoneNumberTicked());
    QTest::mouseClick(&phoneNumber, Qt::LeftButton);

    EXPECT_TRUE(core->showPhoneNumberTicked());
    EXPECT_TRUE(recorder.calls().empty());
}

TEST_F(DiagnosticsWindowTest, AmpersandsGiveTheButtonsTheirAccessKeys)
{
    startProgram();

    EXPECT_EQ(control<QPushButton>(form(), "CmdOK").shortcut(), QKeySequence("Alt+E"));
    EXPECT_EQ(control<QPushButton>(form(), "CmdRead").shortcut(), QKeySequence("Alt+R"));
    EXPECT_EQ(control<QPushButton>(form(), "CmdWrite").shortcut(), QKeySequence("Alt+S"));
    EXPECT_TRUE(control<QPushButton>(form(), "CmdCONFIG").shortcut().isEmpty());
}

TEST_F(DiagnosticsWindowTest, AFailingDeviceCallIsReportedNotThrown)
{
    recorder.removeEntry("AD101_SetBusy");
    startProgram();

    QTest::mouseClick(&control<QPushButton>(form(), "cmdLINEBUSY"), Qt::LeftButton);

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, ShownBox::Warning);
    EXPECT_TRUE(boxes[0].text.contains("AD101_SetBusy"));
    EXPECT_TRUE(form().isVisible());
}

} // namespace
