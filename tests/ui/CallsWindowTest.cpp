// Tavix CallerID tests: the Calls window, driven through its controls as a user would.
#include "UiTestFixture.h"

#include "monitor/CallHistory.h"
#include "ui/CallListModel.h"
#include "ui/CallsWindow.h"
#include "ui/LinkLabel.h"
#include "ui/TrayIcon.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

namespace {

using Progress = CallRecord::Progress;
using State = CallDelivery::State;

CallRecord call(const QString& number, const QString& name, Progress progress, State delivery,
                const QString& detail = {})
{
    CallRecord record;
    record.time = QDateTime(QDate(2026, 12, 9), QTime(15, 30, 5));
    record.line = 3;
    record.number = number;
    record.name = name;
    record.progress = progress;
    record.talkSeconds = progress == Progress::Answered ? 135 : -1;
    record.delivery = delivery;
    record.deliveryDetail = detail;
    record.seen = progress != Progress::Missed;
    return record;
}

class CallsWindowTest : public UiTest
{
  protected:
    CallsWindowTest()
    {
        EXPECT_EQ(history.open(), QString());
        history.add(call("0111", "Jane, \"JD\" Doe", Progress::Answered, State::Sent, "OK"));
        history.add(call("0222", "Bob", Progress::Missed, State::Sent, "OK"));
        failed = history.add(call("0333", "Ann", Progress::Answered, State::Failed, "Timed out"));
        const auto sendAgain = [this](CallRecord::Id id) { return sentAgain.append(id), true; };
        window = std::make_unique<CallsWindow>(history, sendAgain, answers);
        window->show();
    }
    template <typename Widget> Widget& control(const char* name)
    {
        return UiTest::control<Widget>(*window, name);
    }
    QTableView& table() { return control<QTableView>("tblCalls"); }
    QStringList numbers()
    {
        QStringList shown;
        for (int row = 0; row < table().model()->rowCount(); ++row)
            shown.append(table().model()->index(row, CallListModel::Number).data().toString());
        return shown;
    }

    CallHistory history{QString::fromStdString((dir / "calls.sqlite").string())};
    CallRecord::Id failed = 0;
    RecordingMessageBoxes answers{boxes};
    QList<CallRecord::Id> sentAgain;
    std::unique_ptr<CallsWindow> window;
};

TEST_F(CallsWindowTest, FilterAndSearchNarrowTheTable)
{
    EXPECT_EQ(window->windowTitle(), "Tavix CallerID \u2014 Calls");
    EXPECT_EQ(numbers(), (QStringList{"0333", "0222", "0111"}));
    QComboBox& filter = control<QComboBox>("cboFilter");
    filter.setCurrentIndex(int(CallHistory::Filter::Missed));
    EXPECT_EQ(numbers(), QStringList{"0222"});
    filter.setCurrentIndex(int(CallHistory::Filter::NotDelivered));
    EXPECT_EQ(numbers(), QStringList{"0333"});
    filter.setCurrentIndex(int(CallHistory::Filter::All));

    // Ctrl+F from the table goes to the search box.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    table().setFocus();
    QTest::keyClick(&table(), Qt::Key_F, Qt::ControlModifier);
    QLineEdit& search = control<QLineEdit>("txtSearch");
    EXPECT_TRUE(search.hasFocus());
    QTest::keyClicks(&search, "jane");
    EXPECT_EQ(numbers(), QStringList{"0111"});
}

TEST_F(CallsWindowTest, SendAgainOnlyForAnUndeliveredCallAndOnlyWhenConfirmed)
{
    QPushButton& button = control<QPushButton>("btnSendAgain");
    table().selectRow(2); // 0111, delivered
    EXPECT_FALSE(button.isEnabled());
    QTest::keyClick(&table(), Qt::Key_Return);
    EXPECT_TRUE(boxes.empty());

    for (const bool yes : {false, true}) {
        for (const bool byEnter : {false, true}) {
            boxes.clear();
            sentAgain.clear();
            answers.yes = yes;
            table().selectRow(0); // 0333, failed
            ASSERT_TRUE(button.isEnabled());
            if (byEnter)
                QTest::keyClick(&table(), Qt::Key_Enter);
            else
                QTest::mouseClick(&button, Qt::LeftButton);
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].kind, ShownBox::Question);
            EXPECT_TRUE(boxes[0].text.contains("0333 \u2014 Ann on line 3"));
            EXPECT_EQ(sentAgain, yes ? QList<CallRecord::Id>{failed} : QList<CallRecord::Id>{})
                << yes << byEnter;
        }
    }

    // The outcome the core records shows in the row, which keeps its place.
    CallRecord outcome = history.find(failed);
    outcome.delivery = State::Sent;
    history.update(outcome);
    EXPECT_EQ(numbers(), (QStringList{"0333", "0222", "0111"}));
    EXPECT_EQ(table().model()->index(0, CallListModel::WebApplication).data(), "\u2713 sent");
    EXPECT_FALSE(button.isEnabled());
}

TEST_F(CallsWindowTest, ExportsTheShownCallsAsQuotedUtf8Csv)
{
    const QString file = QString::fromStdString((dir / "calls.csv").string());
    QString offered;
    window->setSaveFileChooser([&](QWidget*, const QString& suggested) {
        offered = suggested;
        return file;
    });
    history.add(call("+44 20 7946 0000", "=HYPERLINK(\"x\")", Progress::Missed, State::NotSent,
                     "No web application host is set"));
    control<QComboBox>("cboFilter").setCurrentIndex(int(CallHistory::Filter::All));
    // "e", any case: the two with one in the name.
    control<QLineEdit>("txtSearch").setText("e");
    QTest::mouseClick(&control<QPushButton>("btnExport"), Qt::LeftButton);

    EXPECT_TRUE(offered.endsWith(".csv"));
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll().toStdString(),
              "\xEF\xBB\xBFTime,Line,Number,Name,What happened,Web application\r\n"
              "2026-12-09 15:30:05,3,+44 20 7946 0000,\"'=HYPERLINK(\"\"x\"\")\",missed,"
              "not sent: no web application host is set\r\n"
              "2026-12-09 15:30:05,3,0111,\"Jane, \"\"JD\"\" Doe\",answered 2:15,\u2713 sent\r\n");
    EXPECT_TRUE(boxes.empty());
}

class CallsFromTheAppTest : public UiTest
{
  protected:
    void addMissed()
    {
        core->callHistory()->add(call("0222", "Bob", Progress::Missed, State::Sent, "OK"));
    }
};

TEST_F(CallsFromTheAppTest, TheLinkCountsUnseenMissedCallsUntilTheWindowOrMarkAllSeen)
{
    makeApp();
    ASSERT_EQ(core->openCallHistory(QString::fromStdString((dir / "calls.sqlite").string())),
              QString());
    addMissed();
    addMissed();
    app->start();
    auto& link = control<LinkLabel>(mainWindow(), "lblCalls");
    EXPECT_EQ(link.linkText(), "2 missed calls \u2014 Calls\u2026");
    addMissed();
    EXPECT_EQ(link.linkText(), "3 missed calls \u2014 Calls\u2026");
    EXPECT_EQ(app->callsWindow(), nullptr) << "made before it was asked for";

    emit link.activated();
    CallsWindow* window = app->callsWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(link.linkText(), "Calls\u2026");
    addMissed();
    EXPECT_EQ(link.linkText(), "1 missed call \u2014 Calls\u2026");
    QTest::mouseClick(&control<QPushButton>(*window, "btnMarkSeen"), Qt::LeftButton);
    EXPECT_EQ(link.linkText(), "Calls\u2026");

    // The tray's entry is there, and asking again brings the same window back.
    app->showTrayIcon();
    EXPECT_TRUE(app->trayIcon()->menu().findChild<QAction*>("actCalls")->isVisible());
    window->showMinimized();
    emit app->callsWanted();
    EXPECT_EQ(app->callsWindow(), window);
    EXPECT_FALSE(window->isMinimized());
}

} // namespace
