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

CallRecord call(const QString& number, const QString& name, Progress progress = Progress::Answered,
                State delivery = State::Sent)
{
    CallRecord record;
    record.time = QDateTime(QDate(2026, 12, 9), QTime(15, 30));
    record.line = 2;
    record.number = number;
    record.name = name;
    record.progress = progress;
    record.delivery = delivery;
    record.deliveryDetail =
        delivery == State::Sent ? QStringLiteral("OK") : QStringLiteral("Refused");
    record.seen = progress != Progress::Missed;
    return record;
}

class CallListModelTest : public ::testing::Test
{
  protected:
    CallListModelTest() { EXPECT_EQ(history.open(), QString()); }

    // Ids of the calls added, in order: call i has number "0<i>".
    QList<CallRecord::Id> addCalls(int count)
    {
        QList<CallRecord::Id> ids;
        for (int i = 0; i < count; ++i)
            ids.append(history.add(call(QStringLiteral("0%1").arg(i), QStringLiteral("Caller"))));
        return ids;
    }
    static QList<CallRecord::Id> ids(const CallListModel& model)
    {
        QList<CallRecord::Id> shown;
        for (int row = 0; row < model.rowCount(); ++row)
            shown.append(model.record(row).id);
        return shown;
    }

    TempDir dir;
    CallHistory history{QString::fromStdString((dir / "calls.sqlite").string())};
};

TEST_F(CallListModelTest, ReadsAPageAtATimeNewestFirstWithoutRepeatsOrGaps)
{
    const QList<CallRecord::Id> added = addCalls(CallListModel::kPageSize * 2 + 7);
    CallListModel model(history);
    EXPECT_EQ(model.rowCount(), CallListModel::kPageSize);
    EXPECT_EQ(model.record(0).id, added.last());

    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    while (model.canFetchMore())
        model.fetchMore();
    EXPECT_EQ(inserted.count(), 2);
    QList<CallRecord::Id> newestFirst(added.crbegin(), added.crend());
    EXPECT_EQ(ids(model), newestFirst);
    EXPECT_EQ(model.rowOf(added.first()), model.rowCount() - 1);
    EXPECT_EQ(model.rowOf(9999999), -1);
}

TEST_F(CallListModelTest, NewCallsGoInAtTheTopAndChangesAreMadeInPlace)
{
    addCalls(3);
    CallListModel model(history);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    CallRecord live =
        call(QStringLiteral("0777"), QStringLiteral("Live"), Progress::Ringing, State::Pending);
    live.id = history.add(live);
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted.first().at(1).toInt(), 0);
    EXPECT_EQ(model.record(0).id, live.id);

    live.progress = Progress::Answered;
    live.talkSeconds = 135;
    live.delivery = State::Sent;
    history.update(live);
    EXPECT_EQ(model.rowCount(), 4);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.first().at(0).toModelIndex().row(), 0);
    EXPECT_EQ(model.data(model.index(0, CallListModel::Happened)).toString(), "answered 2:15");
}

TEST_F(CallListModelTest, FiltersAndSearchFollowTheCallsAsTheyChange)
{
    history.add(call(QStringLiteral("0111"), QStringLiteral("Jane Doe")));
    const CallRecord::Id missed = history.add(
        call(QStringLiteral("0222"), QStringLiteral("Bob"), Progress::Missed, State::Sent));
    CallRecord failed =
        call(QStringLiteral("0333"), QStringLiteral("Ann"), Progress::Answered, State::Failed);
    failed.id = history.add(failed);

    CallListModel model(history);
    model.setFilter(CallHistory::Filter::Missed, {});
    EXPECT_EQ(ids(model), QList<CallRecord::Id>{missed});
    model.setFilter(CallHistory::Filter::NotDelivered, {});
    EXPECT_EQ(ids(model), QList<CallRecord::Id>{failed.id});
    model.setFilter(CallHistory::Filter::All, QStringLiteral("jane"));
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.record(0).name, "Jane Doe");
    model.setFilter(CallHistory::Filter::All, QStringLiteral("0222"));
    EXPECT_EQ(ids(model), QList<CallRecord::Id>{missed});

    // Delivered at last, it leaves the "not delivered" list; failing again, it comes back.
    model.setFilter(CallHistory::Filter::NotDelivered, {});
    failed.delivery = State::Sent;
    history.update(failed);
    EXPECT_EQ(model.rowCount(), 0);
    failed.delivery = State::Failed;
    history.update(failed);
    EXPECT_EQ(ids(model), QList<CallRecord::Id>{failed.id});
    // A new call that does not match stays out.
    history.add(call(QStringLiteral("0444"), QStringLiteral("Sent")));
    EXPECT_EQ(model.rowCount(), 1);
}

TEST_F(CallListModelTest, MissedCallsStandOutUntilSeen)
{
    history.add(call(QStringLiteral("0222"), QStringLiteral("Bob"), Progress::Missed));
    CallListModel model(history);
    EXPECT_TRUE(model.data(model.index(0, 0), Qt::FontRole).value<QFont>().bold());
    history.markAllSeen();
    EXPECT_FALSE(model.data(model.index(0, 0), Qt::FontRole).isValid());
}

TEST(CallListModelTexts, SayWhatHappenedAndWhatTheWebApplicationDid)
{
    struct Case
    {
        Progress progress;
        int talkSeconds;
        State delivery;
        QString detail;
        QString happened;
        QString web;
    };
    const Case cases[] = {
        {Progress::Ringing, -1, State::Pending, {}, "ringing", "pending"},
        {Progress::Answered, 135, State::Sent, "OK", "answered 2:15", "\u2713 sent"},
        {Progress::Answered, 5, State::Sent, {}, "answered 0:05", "\u2713 sent"},
        {Progress::Answered, -1, State::Sent, {}, "answered", "\u2713 sent"},
        {Progress::Missed, -1, State::Failed, "Timed out", "missed", "\u2717 failed: timed out"},
        {Progress::Missed, -1, State::Failed, "TLS handshake failed", "missed",
         "\u2717 failed: TLS handshake failed"},
        {Progress::Ended, 62, State::NotSent, "No web application host is set", "answered 1:02",
         "not sent: no web application host is set"},
        {Progress::Ended, -1, State::NotSent, "No caller ID", "ended", "not sent: no caller ID"},
        {Progress::Missed, -1, State::Abandoned, "The program closed", "missed", "abandoned"},
    };
    for (const Case& c : cases) {
        CallRecord record = call(QStringLiteral("0123"), {}, c.progress, c.delivery);
        record.talkSeconds = c.talkSeconds;
        record.deliveryDetail = c.detail;
        EXPECT_EQ(CallListModel::happenedText(record), c.happened) << c.happened.toStdString();
        EXPECT_EQ(CallListModel::webApplicationText(record), c.web) << c.web.toStdString();
    }
}

} // namespace
