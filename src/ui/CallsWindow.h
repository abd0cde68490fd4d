// Tavix CallerID: the Calls window: the recent calls, what became of each, and Send again.
#pragma once

#include "monitor/CallHistory.h"
#include "monitor/CallRecord.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class CallListModel;
class MessageBoxes;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTableView;

// The table reads the history a page at a time and follows it live. Send again asks first, then
// hands the call to `sendAgain` (the core's), which sends it once more with the current login.
class CallsWindow : public QWidget
{
    Q_OBJECT

  public:
    static constexpr const char* kTitle = "Tavix CallerID \u2014 Calls";
    // Sends the call once more; false when it cannot.
    using SendAgain = std::function<bool(CallRecord::Id)>;
    // Asks where to save the CSV file, offering `suggested`; empty for Cancel.
    using SaveFileChooser = std::function<QString(QWidget* parent, const QString& suggested)>;

    CallsWindow(CallHistory& history, SendAgain sendAgain, MessageBoxes& boxes,
                QWidget* parent = nullptr);

    CallListModel& model() const { return *m_model; }
    // The file dialog unless changed (for tests).
    void setSaveFileChooser(SaveFileChooser chooser) { m_chooseFile = std::move(chooser); }

    // The calls the filter and the search show, all of them, with the table's header, as CSV.
    bool exportTo(const QString& file);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void applyFilter();
    std::optional<CallRecord> selectedCall() const;
    void updateButtons();
    void copyNumber();
    void sendAgain();
    void exportShown();

    CallHistory& m_history;
    SendAgain m_sendAgain;
    MessageBoxes& m_boxes;
    SaveFileChooser m_chooseFile;
    CallListModel* m_model = nullptr;
    QComboBox* m_filter = nullptr;
    QLineEdit* m_search = nullptr;
    QTableView* m_table = nullptr;
    QPushButton* m_copyNumber = nullptr;
    QPushButton* m_sendAgainButton = nullptr;
    QPushButton* m_export = nullptr;
    QPushButton* m_markSeen = nullptr;
};
