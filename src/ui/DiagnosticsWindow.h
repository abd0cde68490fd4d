// Tavix CallerID: Form1, the diagnostics window, whose load step is the program's start-up.
#pragma once

#include "device/ad101_api.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>

class CallerIdCore;
class DeviceWindow;
class MessageBoxes;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QTreeView;

// The device's test window: the line status table, the line selector, LED, busy/free and
// display commands, timing parameters and wait times. Every command is one direct device
// call. Its native window is the one whose handle the device posts its notifications to.
// It deletes itself when closed; loading again takes a new instance.
class DiagnosticsWindow : public QWidget
{
    Q_OBJECT

  public:
    static constexpr const char* kTitle = "AD101Demo Version1.0.2.04 (20100325 Built)";

    DiagnosticsWindow(CallerIdCore& core, MessageBoxes& boxes);
    ~DiagnosticsWindow() override;

    // The load step: the whole start-up, in order; at its end mainWindowWanted() asks for main
    // to be shown. Catches nothing.
    void load();
    // From the start of the load step until the unload step.
    bool isLoaded() const { return m_loaded; }
    // The window handle given to the device; null once unloaded.
    AD101WindowHandle deviceWindowHandle() const;
    // Null once unloaded.
    DeviceWindow* deviceWindow() const;

    // The unload step: frees the device. Runs once; closing the window runs it if it has not.
    void unload();

  signals:
    void mainWindowWanted();

  protected:
    // Never refuses to close.
    void closeEvent(QCloseEvent* event) override;

  private:
    void createControls();
    void createLineTable();
    void createLedControls();
    void createTimingControls();
    QLineEdit* addTextBox(QWidget* parent, const char* name, const QString& accessibleName,
                          const QRect& geometry);

    // Selects the line's entry without sending anything and shows the six values.
    void showTimingParameters(int32_t line, const AD101TimingParameters& record);

    // What the program's own selections share with the user's clicks.
    void selectLedOption(int32_t ledCode);
    void setCollateralDisplay(bool ticked);
    int32_t selectedLine() const;

    // User actions; a refused or failed one is reported in a message box.
    void userAction(const std::function<void()>& action);
    void warn(const QString& text);
    void readParameters();
    void writeParameters();
    void setWaitTimes();
    int32_t numberIn(const QLineEdit* box) const;

    CallerIdCore& m_core;
    MessageBoxes& m_boxes;
    bool m_loaded = false;

    QTreeView* m_table = nullptr;
    QComboBox* m_lineSelector = nullptr;
    QCheckBox* m_showPhoneNumber = nullptr;
    QCheckBox* m_showCollateral = nullptr;
    QButtonGroup* m_ledOptions = nullptr;
    QLineEdit* m_talkingWait = nullptr;
    QLineEdit* m_missedCallWait = nullptr;
    // RingOn, RingOff, HookOn, HookOff, CallerIdStop, NoLine: the record's order.
    std::array<QLineEdit*, 6> m_timingBoxes{};
};
