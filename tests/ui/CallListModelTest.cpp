// Tavix CallerID tests: the Calls window's table over a real history file.
#include "TempDir.h"

#include "monitor/CallHistory.h"
#include "ui/CallListModel.h"

#include <QFont>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

using Progress = CallRecord::Progress;
using State = CallDelivery::State;
using Ids = QList<CallRecord::Id>;

CallRecord call(const QString& number, Progress progress = Progress::Answered,
                State delivery = State::Sent, const QString& name = QStringLiteral("Caller"))
{
    CallRecord record;
    record.time = QDateTime(QDate(2026, 12, 9), QTime(15, 30));
    record.line = 2;
    record.number = number;
    record.name = name;
    record.progress = progress;
    record.delivery = delivery;
    record.deliveryDetail = QStringLiteral("Timed out");
    record.seen = progress != Progress::Missed;
    return record;
}

class CallListModelTest : public ::testing::Test
{
  protected:
    CallListModelTest() { EXPECT_EQ(history.open(), QString()); }
    static Ids ids(const CallListModel& model)
    {
        Ids shown;
        for (int row = 0; row < model.rowCount(); ++row)
            shown.append(model.record(row).id);
        return shown;
    }

    TempDir dir;
    CallHistory history{QString::fromStdString((dir / "calls.sqlite").string())};
};

TEST_F(CallListModelTest, ReadsAPageAtATimeNewestFirstWithoutRepeatsOrGaps)
{
    Ids newestFirst;
    for (int i = 0; i < CallListModel::kPageSize * 2 + 7; ++i)
        newestFirst.prepend(history.add(call(QString::number(i))));
    CallListModel model(history);
    EXPECT_EQ(model.rowCount(), CallListModel::kPageSize);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    while (model.canFetchMore())
        model.fetchMore();
    EXPECT_EQ(inserted.count(), 2);
    EXPECT_EQ(ids(model), newestFirst);
    EXPECT_EQ(model.rowOf(newestFirst.last()), model.rowCount() - 1);
}

TEST_F(CallListModelTest, FollowsTheListLiveUnderItsFilterAndSearch)
{
    history.add(call("0111", Progress::Answered, State::Sent, "Jane Doe"));
    const CallRecord::Id missed = history.add(call("0222", Progress::Missed));
    CallRecord failed = call("0333", Progress::Answered, State::Failed);
    failed.id = history.add(failed);
    CallListModel model(history);
    EXPECT_TRUE(model.data(model.index(1, 0), Qt::FontRole).value<QFont>().bold());
    history.markAllSeen();
    EXPECT_FALSE(model.data(model.index(1, 0), Qt::FontRole).isValid());

    model.setFilter(CallHistory::Filter::Missed, {});
    EXPECT_EQ(ids(model), Ids{missed});
    model.setFilter(CallHistory::Filter::All, QStringLiteral("JANE"));
    EXPECT_EQ(model.rowCount(), 1);
    model.setFilter(CallHistory::Filter::NotDelivered, {});
    EXPECT_EQ(ids(model), Ids{failed.id});

    // A new call goes in at the top; delivered at last, a call leaves this list, and comes
    // back when it fails again; a call that does not belong stays out.
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    const CallRecord::Id live = history.add(call("0444", Progress::Ringing, State::Failed));
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted.first().at(1).toInt(), 0);
    failed.delivery = State::Sent;
    history.update(failed);
    EXPECT_EQ(ids(model), Ids{live});
    failed.delivery = State::Failed;
    history.update(failed);
    EXPECT_EQ(ids(model), (Ids{live, failed.id}));
    history.add(call("0555"));
    EXPECT_EQ(model.rowCount(), 2);

    // A change in place.
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    CallRecord answered = history.find(live);
    answered.progress = Progress::Ended;
    answered.talkSeconds = 135;
    history.update(answered);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(model.data(model.index(0, CallListModel::Happened)).toString(), "answered 2:15");
}

TEST(CallListModelTexts, SayWhatHappenedAndWhatTheWebApplicationDid)
{
    const struct
    {
        Progress progress;
        int talkSeconds;
        State delivery;
        QString detail, happened, web;
    } cases[] = {
        {Progress::Ringing, -1, State::Pending, {}, "ringing", "pending"},
        {Progress::Answered, -1, State::Sent, "OK", "answered", "\u2713 sent"},
        {Progress::Answered, 5, State::Sent, {}, "answered 0:05", "\u2713 sent"},
        {Progress::Ended, 135, State::Sent, {}, "answered 2:15", "\u2713 sent"},
        {Progress::Missed, -1, State::Failed, "Timed out", "missed", "\u2717 failed: timed out"},
        {Progress::Missed, -1, State::Failed, "TLS handshake failed", "missed",
         "\u2717 failed: TLS handshake failed"},
        {Progress::Ended, -1, State::NotSent, "No web application host is set", "ended",
         "not sent: no web application host is set"},
        {Progress::Missed, -1, State::Abandoned, "The program closed", "missed", "abandoned"},
    };
    for (const auto& c : cases) {
        CallRecord record = call("0123", c.progress, c.delivery);
        record.talkSeconds = c.talkSeconds;
        record.deliveryDetail = c.detail;
        EXPECT_EQ(CallListModel::happenedText(record), c.happened) << c.happened.toStdString();
        EXPECT_EQ(CallListModel::webApplicationText(record), c.web) << c.web.toStdString();
    }
}

} // namespace
