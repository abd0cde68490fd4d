// Tavix CallerID: Form1, the diagnostics window, whose load step is the program's start-up.
#include "ui/DiagnosticsWindow.h"

#include "device/DeviceLibrary.h"
#include "device/LedCode.h"
#include "monitor/CallerIdCore.h"
#include "monitor/DeviceWindow.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"
#include "ui/TextToNumber.h"
#include "ui/Twips.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeView>

#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

namespace {

// The smallest size a caption's font is taken down to so that the caption fits.
constexpr qreal kSmallestCaptionPoints = 7;

// The captions were laid out for another system's font: where this one's is wider, a label,
// check box or option button keeps its place and size, and its font is made a little smaller
// until the caption fits, as the main window's help text is.
void fitCaptions(QWidget& window)
{
    for (QWidget* control : window.findChildren<QWidget*>()) {
        if (!qobject_cast<QLabel*>(control) && !qobject_cast<QCheckBox*>(control) &&
            !qobject_cast<QRadioButton*>(control))
            continue;
        QFont font = control->font();
        while (control->sizeHint().width() > control->width() &&
               font.pointSizeF() > kSmallestCaptionPoints) {
            font.setPointSizeF(font.pointSizeF() - 0.25);
            control->setFont(font);
        }
    }
}

constexpr int32_t kDefaultTalkingWait = 3;
constexpr int32_t kDefaultMissedCallWait = 7;

struct LedOption
{
    const char* name;
    const char* caption;
    LedCode code;
    QRect geometry; // inside Frame3
};

// "LED Off", then the grid of colours (rows) and modes (columns).
constexpr std::array<LedOption, 10> kLedOptions = {{
    {"OpbLedoff", "LED Off", LED_OFF, twipsRect(120, 240, 1455, 375)},
    {"OpbRedLedOn", "Red LED On", LED_RED_ON, twipsRect(120, 720, 1455, 255)},
    {"OpbGreenLedOn", "Green LED On", LED_GREEN_ON, twipsRect(120, 1080, 1695, 375)},
    {"OpbYellowLedOn", "YELLOW LED ON", LED_YELLOW_ON, twipsRect(120, 1440, 1815, 375)},
    {"OpbRedLedSlow", "Red LED Flash Slowly", LED_RED_SLOW, twipsRect(4080, 720, 2175, 255)},
    {"OpbGreenLedSlow", "Green LED Flash Slowly", LED_GREEN_SLOW, twipsRect(4080, 1080, 2295, 375)},
    {"OpbYellowLedSlow", "Yellow LED Flash Slowly", LED_YELLOW_SLOW,
     twipsRect(4080, 1440, 2415, 495)},
    {"OpbRedLedQuick", "Red LED Flash Quickly", LED_RED_QUICK, twipsRect(8880, 720, 2295, 255)},
    {"OpbGreenLedQuick", "Green LED Flash Quickly", LED_GREEN_QUICK,
     twipsRect(8880, 1080, 2415, 375)},
    {"OpbYellowLedQuick", "Yellow LED Flash Quickly", LED_YELLOW_QUICK,
     twipsRect(8880, 1440, 2535, 495)},
}};

// Indexes of the timing boxes, in the record's order.
enum TimingBox : size_t { RING_ON, RING_OFF, HOOK_ON, HOOK_OFF, CALLER_ID_STOP, NO_LINE };

std::array<int32_t*, 6> fieldsOf(AD101TimingParameters& record)
{
    return {&record.RingOn,  &record.RingOff,      &record.HookOn,
            &record.HookOff, &record.CallerIdStop, &record.NoLine};
}

} // namespace

DiagnosticsWindow::DiagnosticsWindow(CallerIdCore& core, MessageBoxes& boxes)
    : m_core(core), m_boxes(boxes)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromLatin1(kTitle));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    setFixedSize(twipsToPixels(11835), twipsToPixels(7845));
    setFont(QFont(QStringLiteral("Arial"), 9));
    createControls();
    connect(&m_core, &CallerIdCore::timingParametersReported, this,
            &DiagnosticsWindow::showTimingParameters);
}

DiagnosticsWindow::~DiagnosticsWindow() = default;

void DiagnosticsWindow::createControls()
{
    createLineTable();
    place(new QLabel(QStringLiteral("Current Line:"), this), "Label1",
          twipsRect(120, 2520, 1335, 375));
    m_lineSelector = place(new QComboBox(this), "Combo1", twipsRect(1440, 2520, 1215, 345));

    auto* lineBusy = place(new QPushButton(QStringLiteral("Line Busy"), this), "cmdLINEBUSY",
                           twipsRect(2640, 2520, 1095, 375));
    auto* lineFree = place(new QPushButton(QStringLiteral("Line Free"), this), "CmdLINEFREE",
                           twipsRect(3720, 2520, 1095, 375));
    // Busy is 0 and free is 1, as the device wants them.
    connect(lineBusy, &QPushButton::clicked, this,
            [this] { userAction([this] { m_core.device().AD101_SetBusy(selectedLine(), 0); }); });
    connect(lineFree, &QPushButton::clicked, this,
            [this] { userAction([this] { m_core.device().AD101_SetBusy(selectedLine(), 1); }); });

    m_showPhoneNumber = place(new QCheckBox(QStringLiteral("Show Phone Dialed Number"), this),
                              "CheckSHOWPHONENUMBER", twipsRect(5040, 2640, 2895, 255));
    // The event handler reads the tick when digits arrive.
    connect(m_showPhoneNumber, &QCheckBox::toggled, &m_core, &CallerIdCore::setShowPhoneNumber);
    m_showCollateral =
        place(new QCheckBox(QStringLiteral("Show Collateral Phone Dialed Number"), this),
              "CheckSHOWNUMBER", twipsRect(8040, 2640, 3495, 255));
    // clicked, not toggled: the program's own ticks send through setCollateralDisplay, once.
    connect(m_showCollateral, &QCheckBox::clicked, this,
            [this](bool ticked) { userAction([this, ticked] { setCollateralDisplay(ticked); }); });

    createLedControls();
    createTimingControls();

    place(new QLabel(QStringLiteral("Outgoing Talking Wait Time:"), this), "Label6",
          twipsRect(120, 6960, 2175, 255));
    m_talkingWait = addTextBox(this, "Text2", QStringLiteral("Outgoing talking wait time"),
                               twipsRect(2640, 6960, 735, 330));
    place(new QLabel(QStringLiteral("(Time Unit: Second)"), this), "Label5",
          twipsRect(3600, 7200, 1815, 375));
    auto* setWaits = place(new QPushButton(QStringLiteral("Set"), this), "CmdCONFIG",
                           twipsRect(5640, 7200, 2055, 375));
    connect(setWaits, &QPushButton::clicked, this,
            [this] { userAction([this] { setWaitTimes(); }); });
    auto* exitButton = place(new QPushButton(QStringLiteral("&Exit"), this), "CmdOK",
                             twipsRect(9120, 7320, 2295, 375));
    connect(exitButton, &QPushButton::clicked, this, &QWidget::close);
    place(new QLabel(QStringLiteral("Missed Call Wait Time:"), this), "Label7",
          twipsRect(120, 7440, 2175, 255));
    m_missedCallWait = addTextBox(this, "Text3", QStringLiteral("Missed call wait time"),
                                  twipsRect(2640, 7440, 735, 330));
    fitCaptions(*this);
}

// ListView1: a report view of the core's line status table, with the design's column widths,
// which do not grow with the control.
void DiagnosticsWindow::createLineTable()
{
    m_table = place(new QTreeView(this), "ListView1", twipsRect(0, 0, 11655, 2415));
    m_table->setRootIsDecorated(false);
    m_table->setItemsExpandable(false);
    m_table->setUniformRowHeights(true);
    m_table->setSortingEnabled(false);
    m_table->setAllColumnsShowFocus(true);
    m_table->setModel(&m_core.lineStatus());
    QHeaderView* header = m_table->header();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    for (int column = 0; column < kColumnCount; ++column)
        m_table->setColumnWidth(column, twipsToPixels(LineStatusModel::columnWidthTwips(column)));
}

void DiagnosticsWindow::createLedControls()
{
    auto* frame = place(new QGroupBox(QStringLiteral("LED Control"), this), "Frame3",
                        twipsRect(0, 3000, 11655, 2055));
    m_ledOptions = new QButtonGroup(frame);
    m_ledOptions->setExclusive(true);
    for (const LedOption& option : kLedOptions) {
        auto* button = place(new QRadioButton(QLatin1String(option.caption), frame), option.name,
                             option.geometry);
        m_ledOptions->addButton(button, option.code);
    }
    // A click on the option already selected sends its command again: after another line was
    // picked, that is the way to give that line the same LED state.
    connect(m_ledOptions, &QButtonGroup::idClicked, this, [this](int code) {
        userAction([this, code] { m_core.device().AD101_SetLED(selectedLine(), code); });
    });
}

void DiagnosticsWindow::createTimingControls()
{
    auto* frame = place(new QGroupBox(QStringLiteral("System Parameter Setting(Time Unit: 10ms) "
                                                     "(Set Range: 10-255) "),
                                      this),
                        "Frame1", twipsRect(0, 5040, 11655, 1695));

    auto* read = place(new QPushButton(QStringLiteral("&Read"), frame), "CmdRead",
                       twipsRect(9960, 480, 975, 375));
    connect(read, &QPushButton::clicked, this,
            [this] { userAction([this] { readParameters(); }); });
    place(new QLabel(QStringLiteral("Ring On/Off"), frame), "Label2",
          twipsRect(120, 720, 1455, 255));
    m_timingBoxes[RING_ON] = addTextBox(frame, "TxtRINGON", QStringLiteral("Ring on time"),
                                        twipsRect(1920, 600, 735, 330));
    m_timingBoxes[RING_OFF] = addTextBox(frame, "TxtRINGOFF", QStringLiteral("Ring off time"),
                                         twipsRect(2760, 600, 735, 375));
    place(new QLabel(QStringLiteral("Caller ID Over Regconized Time:"), frame), "Label4",
          twipsRect(3600, 600, 3135, 375));
    m_timingBoxes[CALLER_ID_STOP] =
        addTextBox(frame, "TxtCALLIDSTOP", QStringLiteral("Caller ID over recognised time"),
                   twipsRect(6840, 600, 855, 375));
    auto* write = place(new QPushButton(QStringLiteral("&Set"), frame), "CmdWrite",
                        twipsRect(9960, 960, 975, 375));
    connect(write, &QPushButton::clicked, this,
            [this] { userAction([this] { writeParameters(); }); });
    place(new QLabel(QStringLiteral("Hook time (on / off)"), frame), "Label3",
          twipsRect(120, 1080, 1575, 255));
    m_timingBoxes[HOOK_ON] = addTextBox(frame, "TxtHOOKON", QStringLiteral("Hook on time"),
                                        twipsRect(1920, 1080, 735, 330));
    m_timingBoxes[HOOK_OFF] = addTextBox(frame, "TxtHOOKOFF", QStringLiteral("Hook off time"),
                                         twipsRect(2760, 1080, 735, 330));
    place(new QLabel(QStringLiteral("No Line Regconized Time:"), frame), "Label8",
          twipsRect(3600, 1080, 3135, 375));
    m_timingBoxes[NO_LINE] =
        addTextBox(frame, "TxtNoLine", QStringLiteral("No line recognised time"),
                   twipsRect(6840, 1080, 855, 375));
}

QLineEdit* DiagnosticsWindow::addTextBox(QWidget* parent, const char* name,
                                         const QString& accessibleName, const QRect& geometry)
{
    auto* box = place(new QLineEdit(parent), name, geometry);
    box->setAccessibleName(accessibleName);
    // No length limit; QLineEdit's default would cut at 32767 characters.
    box->setMaxLength(std::numeric_limits<int>::max());
    return box;
}

void DiagnosticsWindow::load()
{
    m_loaded = true;
    DeviceLibrary& device = m_core.device();

    m_core.buildLineTable();
    m_lineSelector->addItems({QStringLiteral("Line01"), QStringLiteral("Line02"),
                              QStringLiteral("Line03"), QStringLiteral("Line04")});
    m_lineSelector->setCurrentIndex(0);

    // winId() makes the native window now, after every window flag is set.
    m_core.openDevice(static_cast<std::uintptr_t>(winId()));

    m_talkingWait->setText(QString::number(kDefaultTalkingWait));
    m_missedCallWait->setText(QString::number(kDefaultMissedCallWait));
    device.AD101_SetDialOutStartTalkingTime(kDefaultTalkingWait);
    device.AD101_SetRingOffTime(kDefaultMissedCallWait);

    selectLedOption(LED_OFF);
    m_showCollateral->setChecked(true);
    setCollateralDisplay(true);
    m_showPhoneNumber->setChecked(true);

    m_core.lightCurrentLine();

    emit mainWindowWanted();
}

AD101WindowHandle DiagnosticsWindow::deviceWindowHandle() const
{
    return m_loaded ? m_core.deviceWindowHandle() : nullptr;
}

DeviceWindow* DiagnosticsWindow::deviceWindow() const
{
    return m_loaded ? m_core.deviceWindow() : nullptr;
}

void DiagnosticsWindow::unload()
{
    if (!std::exchange(m_loaded, false))
        return;
    const std::string failure = m_core.closeDevice();
    if (!failure.empty())
        warn(QString::fromStdString(failure));
}

void DiagnosticsWindow::closeEvent(QCloseEvent* event)
{
    unload();
    event->accept();
}

void DiagnosticsWindow::showTimingParameters(int32_t line, const AD101TimingParameters& record)
{
    // A window unloaded earlier and not yet gone shows nothing of the new one's device.
    if (!m_loaded)
        return;
    // The selector sends nothing when it changes, so selecting here is all it takes.
    m_lineSelector->setCurrentIndex(line);
    AD101TimingParameters values = record;
    const auto fields = fieldsOf(values);
    for (size_t i = 0; i < fields.size(); ++i)
        m_timingBoxes[i]->setText(QString::number(*fields[i]));
}

void DiagnosticsWindow::selectLedOption(int32_t ledCode)
{
    m_ledOptions->button(ledCode)->setChecked(true);
    m_core.device().AD101_SetLED(selectedLine(), ledCode);
}

void DiagnosticsWindow::setCollateralDisplay(bool ticked)
{
    m_core.device().AD101_ShowCollateralPhoneDialed(ticked ? 1 : 0);
}

int32_t DiagnosticsWindow::selectedLine() const
{
    return m_lineSelector->currentIndex();
}

void DiagnosticsWindow::userAction(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::exception& error) {
        warn(QString::fromStdString(error.what()));
    }
}

void DiagnosticsWindow::warn(const QString& text)
{
    m_boxes.warning(this, QString::fromLatin1(MainWindow::kTitle), text);
}

void DiagnosticsWindow::readParameters()
{
    m_core.device().AD101_ReadParameter(selectedLine());
    // NoLine keeps its text until the device's report arrives.
    for (size_t box : {RING_ON, RING_OFF, HOOK_ON, HOOK_OFF, CALLER_ID_STOP})
        m_timingBoxes[box]->clear();
}

void DiagnosticsWindow::writeParameters()
{
    AD101TimingParameters record{};
    const auto fields = fieldsOf(record);
    for (size_t i = 0; i < fields.size(); ++i)
        *fields[i] = numberIn(m_timingBoxes[i]);
    m_core.device().AD101_SetParameter(selectedLine(), &record);
}

void DiagnosticsWindow::setWaitTimes()
{
    // Both are converted before either is sent, so that a refused value sends nothing.
    const int32_t talkingWait = numberIn(m_talkingWait);
    const int32_t missedCallWait = numberIn(m_missedCallWait);
    m_core.device().AD101_SetDialOutStartTalkingTime(talkingWait);
    m_core.device().AD101_SetRingOffTime(missedCallWait);
}

int32_t DiagnosticsWindow::numberIn(const QLineEdit* box) const
{
    try {
        return TextToNumber(box->text());
    } catch (const NumberRangeError&) {
        const QString text = QStringLiteral("%1 (%2) holds \"%3\", which does not fit a 32-bit "
                                            "whole number. Nothing was sent to the device.")
                                 .arg(box->accessibleName(), box->objectName(), box->text());
        throw NumberRangeError(text.toStdString());
    }
}
