// Tavix CallerID tests: the calls list in its SQLite file.
#include "monitor/CallHistory.h"

#include "TempDir.h"

#include <QDir>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <random>

namespace {

namespace fs = std::filesystem;
using Progress = CallRecord::Progress;
using State = CallDelivery::State;
using Filter = CallHistory::Filter;

CallRecord call(const QString& number, const QString& name, Progress progress, State delivery,
                int line = 1)
{
    CallRecord record;
    record.time = QDateTime::currentDateTime();
    record.line = line;
    record.number = number;
    record.name = name;
    record.progress = progress;
    record.delivery = delivery;
    record.seen = progress != Progress::Missed;
    return record;
}

// Runs statements on the file through a connection of the test's own.
QVariant sql(const fs::path& file, const QStringList& statements)
{
    QVariant last;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "test");
        db.setDatabaseName(QString::fromStdString(file.string()));
        EXPECT_TRUE(db.open());
        QSqlQuery query(db);
        for (const QString& statement : statements) {
            EXPECT_TRUE(query.exec(statement)) << statement.toStdString();
            if (query.next())
                last = query.value(0);
        }
    }
    QSqlDatabase::removeDatabase("test");
    return last;
}

class CallHistoryTest : public ::testing::Test
{
  protected:
    fs::path file() const { return dir / "calls.sqlite"; }
    QString qfile() const { return QString::fromStdString(file().string()); }
    // The files beside calls.sqlite other than its own -wal and -shm.
    QStringList asideFiles() const
    {
        QStringList names = QDir(QString::fromStdString(dir.path().string()))
                                .entryList({"calls-*.sqlite"}, QDir::Files);
        return names;
    }

    TempDir dir;
};

TEST_F(CallHistoryTest, StoresUpdatesFiltersSearchesAndPages)
{
    CallHistory history(qfile());
    ASSERT_EQ(history.open(), "");
    QSignalSpy added(&history, &CallHistory::added);
    QSignalSpy changed(&history, &CallHistory::changed);
    const QList<CallRecord> calls = {
        call("0123456789", QString::fromLatin1("Jos\xe9 Rivera"), Progress::Ended, State::Sent, 1),
        call("0222", "Anna", Progress::Missed, State::Failed, 2),
        call("", "", Progress::Missed, State::NotSent, 3),
        call("0333", "ROSE", Progress::Answered, State::Abandoned, 4),
        call("0444", "rose", Progress::Ringing, State::Pending, 1),
    };
    QList<CallRecord::Id> ids;
    for (const CallRecord& record : calls)
        ids << history.add(record);
    EXPECT_EQ(added.count(), 5);
    ASSERT_TRUE(std::is_sorted(ids.begin(), ids.end()));

    CallRecord stored = history.find(ids[0]);
    EXPECT_EQ(stored.number, calls[0].number);
    EXPECT_EQ(stored.name, calls[0].name);
    EXPECT_EQ(stored.line, 1);
    EXPECT_EQ(stored.time.toMSecsSinceEpoch(), calls[0].time.toMSecsSinceEpoch());
    stored.progress = Progress::Answered;
    stored.talkSeconds = 42;
    stored.delivery = State::Failed;
    stored.deliveryDetail = "HTTP 500: oops";
    history.update(stored);
    EXPECT_EQ(changed.count(), 1);
    const CallRecord again = history.find(ids[0]);
    EXPECT_EQ(again.talkSeconds, 42);
    EXPECT_EQ(again.progress, Progress::Answered);
    EXPECT_EQ(again.deliveryDetail, "HTTP 500: oops");
    EXPECT_EQ(history.find(9999).id, 0);

    // Each filter and search as the list shows it, and matches() agreeing with the file.
    const struct
    {
        Filter filter;
        QString search;
        QList<int> expected; // indexes into calls, newest first
    } cases[] = {
        {Filter::All, "", {4, 3, 2, 1, 0}},    {Filter::Missed, "", {2, 1}},
        {Filter::NotDelivered, "", {3, 1, 0}}, {Filter::All, QString::fromLatin1("JOS\xc9"), {0}},
        {Filter::All, " rose ", {4, 3}},       {Filter::All, "22", {1}},
        {Filter::Missed, "rose", {}},          {Filter::All, "%", {}},
    };
    for (const auto& test : cases) {
        QList<int> got;
        for (const CallRecord& record : history.fetch(test.filter, test.search, 0, 100)) {
            got << int(ids.indexOf(record.id));
        }
        EXPECT_EQ(got, test.expected) << test.search.toStdString();
        EXPECT_EQ(history.count(test.filter, test.search), test.expected.size());
        for (int i = 0; i < ids.size(); ++i)
            EXPECT_EQ(CallHistory::matches(history.find(ids[i]), test.filter, test.search),
                      test.expected.contains(i));
    }

    // Keyset paging: two at a time from the newest.
    QList<CallRecord::Id> paged;
    for (CallRecord::Id before = 0;;) {
        const QList<CallRecord> page = history.fetch(Filter::All, "", before, 2);
        if (page.isEmpty())
            break;
        for (const CallRecord& record : page)
            paged.prepend(record.id);
        before = page.last().id;
    }
    EXPECT_EQ(paged, ids);

    EXPECT_EQ(history.unseenMissedCount(), 2);
    QSignalSpy seen(&history, &CallHistory::allSeen);
    history.markAllSeen();
    EXPECT_EQ(seen.count(), 1);
    EXPECT_EQ(history.unseenMissedCount(), 0);
}

TEST_F(CallHistoryTest, PendingCallsOfAnEarlierRunBecomeAbandoned)
{
    {
        CallHistory history(qfile());
        ASSERT_EQ(history.open(), "");
        history.add(call("1", "", Progress::Ended, State::Pending));
        history.add(call("2", "", Progress::Ended, State::Sent));
    }
    CallHistory history(qfile());
    ASSERT_EQ(history.open(), "");
    QSignalSpy changed(&history, &CallHistory::changed);
    history.abandonPending();
    ASSERT_EQ(changed.count(), 1);
    const QList<CallRecord> calls = history.fetch(Filter::All, "", 0, 10);
    ASSERT_EQ(calls.size(), 2);
    EXPECT_EQ(calls[1].delivery, State::Abandoned);
    EXPECT_FALSE(calls[1].deliveryDetail.isEmpty());
    EXPECT_EQ(calls[0].delivery, State::Sent);
}

TEST_F(CallHistoryTest, PrunesByAgeThenByCount)
{
    const QDateTime now = QDateTime::currentDateTime();
    {
        CallHistory history(qfile());
        ASSERT_EQ(history.open(), "");
        CallRecord old = call("old", "", Progress::Ended, State::Sent);
        old.time = now.addDays(-CallHistory::kKeptDays).addSecs(-60);
        history.add(old);
        CallRecord recent = old;
        recent.time = now.addDays(-CallHistory::kKeptDays).addSecs(60);
        recent.number = "recent";
        history.add(recent);
    }
    // Enough to go over the limit, written in one transaction of the test's own.
    QStringList fill = {"BEGIN"};
    fill << QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE "
                           "i < %1) INSERT INTO calls (time, line, number, name, progress,"
                           " talk_seconds, delivery, delivery_detail, seen, search_key)"
                           " SELECT %2, 1, 'n' || i, '', 3, -1, 1, '', 1, 'n' || i FROM n")
                .arg(CallHistory::kMaxCalls)
                .arg(now.toMSecsSinceEpoch());
    fill << "COMMIT";
    sql(file(), fill);

    CallHistory history(qfile());
    ASSERT_EQ(history.open(), "");
    EXPECT_EQ(history.count(Filter::All, ""), CallHistory::kMaxCalls + 2);
    history.prune(now);
    EXPECT_EQ(history.count(Filter::All, ""), CallHistory::kMaxCalls);
    EXPECT_EQ(history.count(Filter::All, "old"), 0);
    // Then the oldest beyond the count: the recent one, and no filler (n1, n10..n19, ...).
    EXPECT_EQ(history.count(Filter::All, "recent"), 0);
    EXPECT_EQ(history.count(Filter::All, "n1"), 11112);
    EXPECT_EQ(history.fetch(Filter::All, "", 0, 1).value(0).number,
              QString("n%1").arg(CallHistory::kMaxCalls));
}

TEST_F(CallHistoryTest, AFileItCannotUseIsMovedAsideOnceAndANewOneKeepsTheCalls)
{
    const auto writeBytes = [](const fs::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    };
    std::mt19937 random(7);
    std::string noise(8192, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    const struct
    {
        const char* what;
        std::function<void(const fs::path&)> make;
        const char* reason;
    } cases[] = {
        {"random bytes", [&](const fs::path& f) { writeBytes(f, noise); }, "not a database"},
        {"a newer version",
         [](const fs::path& f) {
             sql(f, {"CREATE TABLE calls (x)", "PRAGMA user_version=99"});
         },
         "newer version"},
        {"another program's database", [](const fs::path& f) { sql(f, {"CREATE TABLE t (x)"}); },
         "not a calls list"},
        {"a calls list of the wrong shape",
         [](const fs::path& f) {
             sql(f, {"CREATE TABLE calls (x)", "PRAGMA user_version=1"});
         },
         "not a calls list"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        fs::remove_all(dir.path());
        fs::create_directory(dir.path());
        test.make(file());
        CallHistory history(qfile());
        const QString told = history.open();
        ASSERT_TRUE(told.contains(test.reason)) << told.toStdString();
        const QStringList aside = asideFiles();
        ASSERT_EQ(aside.size(), 1);
        // calls-2026-12-09-203015.sqlite: the date and time it was moved.
        EXPECT_TRUE(aside[0].startsWith("calls-" + QDate::currentDate().toString("yyyy-MM-dd")))
            << aside[0].toStdString();
        EXPECT_TRUE(told.contains(aside[0]));
        ASSERT_TRUE(history.isOpen());
        const CallRecord::Id id = history.add(call("0123", "", Progress::Ended, State::Sent));
        EXPECT_EQ(history.find(id).number, "0123");
        // Told once: the new file is fine from now on.
        CallHistory reopened(qfile());
        EXPECT_EQ(reopened.open(), "");
        EXPECT_EQ(reopened.count(Filter::All, ""), 1);
        EXPECT_EQ(asideFiles().size(), 1);
    }
}

TEST_F(CallHistoryTest, AnEmptyFileIsUpgradedToTheCurrentSchemaInWriteAheadMode)
{
    std::ofstream(file()).close();
    {
        CallHistory history(qfile());
        ASSERT_EQ(history.open(), "");
        EXPECT_NE(history.add(call("1", "", Progress::Ended, State::Sent)), 0);
    }
    EXPECT_EQ(sql(file(), {"PRAGMA user_version"}).toInt(), 1);
    EXPECT_EQ(sql(file(), {"PRAGMA journal_mode"}).toString(), "wal");
    EXPECT_TRUE(asideFiles().isEmpty());
}

TEST_F(CallHistoryTest, WithoutAFolderTheHistoryStaysClosedAndDoesNothing)
{
    CallHistory history(QString::fromStdString((dir / "missing" / "calls.sqlite").string()));
    EXPECT_FALSE(history.open().isEmpty());
    EXPECT_FALSE(history.isOpen());
    EXPECT_EQ(history.add(call("1", "", Progress::Ended, State::Sent)), 0);
    EXPECT_TRUE(history.fetch(Filter::All, "", 0, 10).isEmpty());
    history.prune();
    history.abandonPending();
}

TEST_F(CallHistoryTest, AWriteThatFailsIsSaidOnce)
{
    CallHistory history(qfile());
    ASSERT_EQ(history.open(), "");
    QSignalSpy failing(&history, &CallHistory::failing);
    QSignalSpy added(&history, &CallHistory::added);
    // Another program broke the file under it.
    sql(file(), {"DROP TABLE calls"});
    EXPECT_EQ(history.add(call("1", "", Progress::Ended, State::Sent)), 0);
    EXPECT_EQ(history.add(call("2", "", Progress::Ended, State::Sent)), 0);
    ASSERT_EQ(failing.count(), 1);
    EXPECT_TRUE(failing[0][0].toString().contains("calls.sqlite"));
    EXPECT_EQ(added.count(), 0);
}

#ifndef _WIN32
TEST_F(CallHistoryTest, TheFileAndItsLogAreTheUsersOnly)
{
    std::ofstream(file()).close();
    fs::permissions(file(), fs::perms::all);
    CallHistory history(qfile());
    ASSERT_EQ(history.open(), "");
    ASSERT_NE(history.add(call("1", "", Progress::Ended, State::Sent)), 0);
    for (const char* name : {"calls.sqlite", "calls.sqlite-wal"})
        EXPECT_EQ(fs::status(dir / name).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write)
            << name;
}
#endif

} // namespace
