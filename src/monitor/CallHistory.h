// Tavix CallerID: the calls list, kept in an SQLite file.
#pragma once

#include "monitor/CallRecord.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

class QSqlDatabase;
class QSqlQuery;

// One file, calls.sqlite in the program's folder, through Qt's SQLite driver: WAL, a schema
// version with migrations, at most kMaxCalls calls of the last kKeptDays days. Writes are
// committed before add() or update() returns (WAL with synchronous=NORMAL: a committed row
// survives the program being killed). Everything runs on the thread that made it.
class CallHistory : public QObject
{
    Q_OBJECT

  public:
    static constexpr int kKeptDays = 90;
    static constexpr int kMaxCalls = 100000;
    enum class Filter { All, Missed, NotDelivered };

    // Nothing is opened or read until open().
    explicit CallHistory(QString file, QObject* parent = nullptr);
    ~CallHistory() override;

    // Opens or creates the file (mode 0600 on Linux) and brings its schema up to date. A file
    // that cannot be opened or is not a calls list is moved aside with the date and time in its
    // name and a new one started. Returns the text to tell the user once (what was wrong, where
    // the old file went), empty when all was well. When not even a new file can be made, the
    // history stays closed: every other step does nothing, and the program runs as without it.
    QString open();
    bool isOpen() const;
    QString file() const;

    // Stores a new call (its id is ignored) and returns its id, 0 when closed. Emits added().
    CallRecord::Id add(CallRecord record);
    // Stores the call's new state, found by its id. Emits changed().
    void update(const CallRecord& record);
    // The call as stored, or one with id 0.
    CallRecord find(CallRecord::Id id) const;

    // Missed calls not yet seen.
    int unseenMissedCount() const;
    // Marks every missed call seen. Emits allSeen().
    void markAllSeen();
    // Calls left Pending by a program that ended without saying (a crash) become Abandoned.
    void abandonPending();

    // Drops calls older than kKeptDays before `now`, then the oldest beyond kMaxCalls.
    void prune(const QDateTime& now = QDateTime::currentDateTime());

    // For the Calls window, newest first. `search`: part of the number or the name, any case;
    // empty for all. `before`: only calls with a smaller id, 0 for the newest.
    QList<CallRecord> fetch(Filter filter, const QString& search, CallRecord::Id before,
                            int limit) const;
    int count(Filter filter, const QString& search) const;
    // Whether the call belongs in the list under these filter and search.
    static bool matches(const CallRecord& record, Filter filter, const QString& search);

  signals:
    void added(const CallRecord& record);
    void changed(const CallRecord& record);
    void allSeen();
    // prune() dropped what was too old or too many.
    void pruned();
    // A write failed (a full disk, a file gone bad): the text for the user, once per open().
    void failing(const QString& text);

  private:
    struct Statements;

    QString tryOpen();
    void closeDatabase();
    // The new name of the file, empty when it could not be moved.
    QString moveAside();
    QSqlDatabase database() const;
    bool succeeded(bool ok, const QSqlQuery& query);

    QString m_file;
    QString m_connection;
    // Prepared once: a caller's row costs no parsing. Null while closed.
    std::unique_ptr<Statements> m_statements;
    bool m_reportedFailure = false;
};
