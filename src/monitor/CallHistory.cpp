// Tavix CallerID: the calls list, kept in an SQLite file.
#include "monitor/CallHistory.h"

#include "monitor/PrivateFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <array>
#include <cstdio>
#include <utility>

namespace {

// Each entry brings the file from its index's version to the next; user_version says which
// ran. Never change one that shipped: add the next.
const std::array<QStringList, 1> kMigrations = {{
    {
        // AUTOINCREMENT: ids are never reused after pruning, so that the Calls window's paging
        // and the core's pending deliveries never meet another call under an old id.
        QStringLiteral("CREATE TABLE calls ("
                       " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                       " time INTEGER NOT NULL,"
                       " line INTEGER NOT NULL,"
                       " number TEXT NOT NULL,"
                       " name TEXT NOT NULL,"
                       " progress INTEGER NOT NULL,"
                       " talk_seconds INTEGER NOT NULL,"
                       " delivery INTEGER NOT NULL,"
                       " delivery_detail TEXT NOT NULL,"
                       " seen INTEGER NOT NULL,"
                       " search_key TEXT NOT NULL)"),
        QStringLiteral("CREATE INDEX calls_by_time ON calls (time)"),
        QStringLiteral("CREATE INDEX calls_unseen ON calls (progress, seen)"),
    },
}};
constexpr int kSchemaVersion = static_cast<int>(kMigrations.size());

const QString kColumns = QStringLiteral(
    "id, time, line, number, name, progress, talk_seconds, delivery, delivery_detail, seen");
const QString kAbandonedDetail =
    QStringLiteral("The program ended before the web application answered");

using State = CallDelivery::State;

// The number and the name folded, apart so that a search never matches across them.
QString searchKey(const CallRecord& record)
{
    return record.number.toCaseFolded() + QChar(0x1f) + record.name.toCaseFolded();
}

QString errorText(const QSqlError& error)
{
    const QString text = error.databaseText();
    return text.isEmpty() ? error.text() : text;
}

template <typename Enum> Enum enumOf(int value, Enum last, Enum fallback)
{
    return value >= 0 && value <= static_cast<int>(last) ? static_cast<Enum>(value) : fallback;
}

CallRecord recordOf(const QSqlQuery& row)
{
    CallRecord record;
    record.id = row.value(0).toLongLong();
    record.time = QDateTime::fromMSecsSinceEpoch(row.value(1).toLongLong());
    record.line = row.value(2).toInt();
    record.number = row.value(3).toString();
    record.name = row.value(4).toString();
    record.progress =
        enumOf(row.value(5).toInt(), CallRecord::Progress::Ended, CallRecord::Progress::Ended);
    record.talkSeconds = row.value(6).toInt();
    record.delivery = enumOf(row.value(7).toInt(), State::Abandoned, State::Failed);
    record.deliveryDetail = row.value(8).toString();
    record.seen = row.value(9).toInt() != 0;
    return record;
}

// A null QString binds as NULL; the columns hold empty texts.
QString text(const QString& value)
{
    return value.isNull() ? QStringLiteral("") : value;
}

void bindFields(QSqlQuery& query, const CallRecord& record)
{
    query.addBindValue(record.time.toMSecsSinceEpoch());
    query.addBindValue(record.line);
    query.addBindValue(text(record.number));
    query.addBindValue(text(record.name));
    query.addBindValue(static_cast<int>(record.progress));
    query.addBindValue(record.talkSeconds);
    query.addBindValue(static_cast<int>(record.delivery));
    query.addBindValue(text(record.deliveryDetail));
    query.addBindValue(record.seen ? 1 : 0);
    query.addBindValue(searchKey(record));
}

// The WHERE clause of a filter and a search, with its values in order.
std::pair<QString, QVariantList> condition(CallHistory::Filter filter, const QString& search)
{
    QStringList parts;
    QVariantList values;
    if (filter == CallHistory::Filter::Missed) {
        parts << QStringLiteral("progress = ?");
        values << static_cast<int>(CallRecord::Progress::Missed);
    } else if (filter == CallHistory::Filter::NotDelivered) {
        parts << QStringLiteral("number <> '' AND delivery IN (?, ?, ?)");
        values << static_cast<int>(State::Failed) << static_cast<int>(State::NotSent)
               << static_cast<int>(State::Abandoned);
    }
    const QString folded = search.trimmed().toCaseFolded();
    if (!folded.isEmpty()) {
        parts << QStringLiteral("instr(search_key, ?) > 0");
        values << folded;
    }
    return {parts.isEmpty() ? QString() : QStringLiteral(" WHERE ") + parts.join(" AND "), values};
}

} // namespace

struct CallHistory::Statements
{
    explicit Statements(const QSqlDatabase& db) : insert(db), update(db), find(db) {}
    QSqlQuery insert;
    QSqlQuery update;
    QSqlQuery find;
};

CallHistory::CallHistory(QString file, QObject* parent)
    : QObject(parent), m_file(std::move(file)),
      m_connection(QStringLiteral("tavix-calls-%1").arg(reinterpret_cast<quintptr>(this)))
{}

CallHistory::~CallHistory()
{
    closeDatabase();
}

QString CallHistory::open()
{
    closeDatabase();
    m_reportedFailure = false;
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        return QStringLiteral("Calls are not kept: Qt's SQLite driver (qsqlite) is missing.");
    const QString why = tryOpen();
    if (why.isEmpty())
        return {};
    closeDatabase();
    const QString aside = moveAside();
    if (aside.isEmpty())
        return QStringLiteral("The calls list %1 cannot be used (%2), nor moved aside: calls are "
                              "not kept this time.")
            .arg(m_file, why);
    const QString again = tryOpen();
    if (!again.isEmpty()) {
        closeDatabase();
        return QStringLiteral("The calls list %1 could not be used (%2). It was moved to %3, but "
                              "no new one can be made either (%4): calls are not kept this time.")
            .arg(m_file, why, aside, again);
    }
    return QStringLiteral("The calls list %1 could not be used (%2). It was moved to %3 and a "
                          "new, empty one started.")
        .arg(m_file, why, aside);
}

QString CallHistory::tryOpen()
{
    if (const QString problem = PrivateFile::prepare(m_file); !problem.isEmpty())
        return problem;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(m_file);
    if (!db.open())
        return errorText(db.lastError());
    QSqlQuery query(db);
    const auto run = [&](const QString& statement) {
        return query.exec(statement) ? QString() : errorText(query.lastError());
    };
    // A file that is not SQLite fails here, at its first read.
    if (QString error = run(QStringLiteral("PRAGMA quick_check")); !error.isEmpty())
        return error;
    if (!query.next() || query.value(0).toString() != QLatin1String("ok"))
        return QStringLiteral("it is damaged");
    if (QString error = run(QStringLiteral("PRAGMA user_version")); !error.isEmpty())
        return error;
    const int version = query.next() ? query.value(0).toInt() : -1;
    if (version < 0 || version > kSchemaVersion)
        return QStringLiteral("it was made by a newer version of Tavix CallerID");
    if (version == 0) {
        if (QString error = run(QStringLiteral("SELECT count(*) FROM sqlite_master"));
            !error.isEmpty())
            return error;
        if (query.next() && query.value(0).toInt() != 0)
            return QStringLiteral("it is not a calls list");
    }
    if (QString error = run(QStringLiteral("PRAGMA journal_mode=WAL")); !error.isEmpty())
        return error;
    if (!query.next() || query.value(0).toString().compare("wal", Qt::CaseInsensitive) != 0)
        return QStringLiteral("it cannot keep a write-ahead log");
    if (QString error = run(QStringLiteral("PRAGMA synchronous=NORMAL")); !error.isEmpty())
        return error;
    for (int step = version; step < kSchemaVersion; ++step) {
        if (!db.transaction())
            return errorText(db.lastError());
        QString error;
        for (const QString& statement : kMigrations[static_cast<size_t>(step)])
            if (error = run(statement); !error.isEmpty())
                break;
        if (error.isEmpty())
            error = run(QStringLiteral("PRAGMA user_version=%1").arg(step + 1));
        if (!error.isEmpty()) {
            db.rollback();
            return error;
        }
        if (!db.commit())
            return errorText(db.lastError());
    }
    query.finish();

    auto statements = std::make_unique<Statements>(db);
    const bool prepared =
        statements->insert.prepare(
            "INSERT INTO calls (time, line, number, name, progress, talk_seconds, delivery,"
            " delivery_detail, seen, search_key) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)") &&
        statements->update.prepare(
            "UPDATE calls SET time = ?, line = ?, number = ?, name = ?, progress = ?,"
            " talk_seconds = ?, delivery = ?, delivery_detail = ?, seen = ?, search_key = ?"
            " WHERE id = ?") &&
        statements->find.prepare("SELECT " + kColumns + " FROM calls WHERE id = ?");
    // A file whose version says calls list but whose table is not one.
    if (!prepared)
        return QStringLiteral("it is not a calls list");
    m_statements = std::move(statements);
    return {};
}

void CallHistory::closeDatabase()
{
    m_statements.reset();
    if (!QSqlDatabase::contains(m_connection))
        return;
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
}

QString CallHistory::moveAside()
{
    const QFileInfo info(m_file);
    const QString stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
    QString aside;
    for (int n = 1; n < 100; ++n) {
        const QString candidate = info.dir().filePath(
            info.completeBaseName() + "-" + stamp +
            (n > 1 ? QStringLiteral("-%1").arg(n) : QString()) + "." + info.suffix());
        if (!QFileInfo::exists(candidate) && !QFileInfo(candidate).isSymLink()) {
            aside = candidate;
            break;
        }
    }
    if (aside.isEmpty() || !QFile::rename(m_file, aside))
        return {};
    // The write-ahead log belongs to the old file; the shared-memory index is rebuilt.
    QFile::rename(m_file + "-wal", aside + "-wal");
    QFile::remove(m_file + "-shm");
    return aside;
}

bool CallHistory::isOpen() const
{
    return m_statements != nullptr;
}

QString CallHistory::file() const
{
    return m_file;
}

QSqlDatabase CallHistory::database() const
{
    return QSqlDatabase::database(m_connection, false);
}

bool CallHistory::succeeded(bool ok, const QSqlQuery& query)
{
    if (ok)
        return true;
    // Once per opening: a full disk would otherwise say it for every event.
    if (!m_reportedFailure) {
        m_reportedFailure = true;
        const QString text = QStringLiteral("A call could not be written to the calls list %1: %2")
                                 .arg(m_file, errorText(query.lastError()));
        std::fprintf(stderr, "tavix-callerid: %s\n", qPrintable(text));
        emit failing(text);
    }
    return false;
}

CallRecord::Id CallHistory::add(CallRecord record)
{
    if (!isOpen())
        return 0;
    QSqlQuery& insert = m_statements->insert;
    bindFields(insert, record);
    const bool ok = insert.exec();
    if (!succeeded(ok, insert))
        return 0;
    record.id = insert.lastInsertId().toLongLong();
    insert.finish();
    emit added(record);
    return record.id;
}

void CallHistory::update(const CallRecord& record)
{
    if (!isOpen() || record.id == 0)
        return;
    QSqlQuery& update = m_statements->update;
    bindFields(update, record);
    update.addBindValue(record.id);
    const bool ok = update.exec();
    if (!succeeded(ok, update))
        return;
    const bool found = update.numRowsAffected() > 0;
    update.finish();
    if (found)
        emit changed(record);
}

CallRecord CallHistory::find(CallRecord::Id id) const
{
    if (!isOpen() || id == 0)
        return {};
    QSqlQuery& find = m_statements->find;
    find.addBindValue(id);
    CallRecord record;
    if (find.exec() && find.next())
        record = recordOf(find);
    find.finish();
    return record;
}

int CallHistory::unseenMissedCount() const
{
    if (!isOpen())
        return 0;
    QSqlQuery query(database());
    query.prepare("SELECT count(*) FROM calls WHERE progress = ? AND seen = 0");
    query.addBindValue(static_cast<int>(CallRecord::Progress::Missed));
    return query.exec() && query.next() ? query.value(0).toInt() : 0;
}

void CallHistory::markAllSeen()
{
    if (!isOpen())
        return;
    QSqlQuery query(database());
    const bool ok = query.exec("UPDATE calls SET seen = 1 WHERE seen = 0");
    if (succeeded(ok, query))
        emit allSeen();
}

void CallHistory::abandonPending()
{
    if (!isOpen())
        return;
    QSqlQuery query(database());
    query.prepare("SELECT id FROM calls WHERE delivery = ?");
    query.addBindValue(static_cast<int>(State::Pending));
    QList<CallRecord::Id> ids;
    if (query.exec())
        while (query.next())
            ids << query.value(0).toLongLong();
    if (ids.isEmpty())
        return;
    query.prepare("UPDATE calls SET delivery = ?, delivery_detail = ? WHERE delivery = ?");
    query.addBindValue(static_cast<int>(State::Abandoned));
    query.addBindValue(kAbandonedDetail);
    query.addBindValue(static_cast<int>(State::Pending));
    const bool ok = query.exec();
    if (!succeeded(ok, query))
        return;
    for (CallRecord::Id id : ids)
        emit changed(find(id));
}

void CallHistory::prune(const QDateTime& now)
{
    if (!isOpen())
        return;
    QSqlDatabase db = database();
    db.transaction();
    QSqlQuery query(db);
    query.prepare("DELETE FROM calls WHERE time < ?");
    query.addBindValue(now.addDays(-kKeptDays).toMSecsSinceEpoch());
    bool ok = query.exec();
    if (ok) {
        query.prepare("DELETE FROM calls WHERE id <= (SELECT id FROM calls ORDER BY id DESC "
                      "LIMIT 1 OFFSET ?)");
        query.addBindValue(kMaxCalls);
        ok = query.exec();
    }
    if (!succeeded(ok && db.commit(), query)) {
        db.rollback();
        return;
    }
    emit pruned();
}

QList<CallRecord> CallHistory::fetch(Filter filter, const QString& search, CallRecord::Id before,
                                     int limit) const
{
    QList<CallRecord> records;
    if (!isOpen() || limit <= 0)
        return records;
    auto [where, values] = condition(filter, search);
    if (before > 0) {
        where += where.isEmpty() ? QStringLiteral(" WHERE id < ?") : QStringLiteral(" AND id < ?");
        values << before;
    }
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare("SELECT " + kColumns + " FROM calls" + where + " ORDER BY id DESC LIMIT ?");
    for (const QVariant& value : values)
        query.addBindValue(value);
    query.addBindValue(limit);
    if (query.exec())
        while (query.next())
            records << recordOf(query);
    return records;
}

int CallHistory::count(Filter filter, const QString& search) const
{
    if (!isOpen())
        return 0;
    const auto [where, values] = condition(filter, search);
    QSqlQuery query(database());
    query.prepare("SELECT count(*) FROM calls" + where);
    for (const QVariant& value : values)
        query.addBindValue(value);
    return query.exec() && query.next() ? query.value(0).toInt() : 0;
}

bool CallHistory::matches(const CallRecord& record, Filter filter, const QString& search)
{
    if (filter == Filter::Missed && record.progress != CallRecord::Progress::Missed)
        return false;
    if (filter == Filter::NotDelivered && !record.canSendAgain())
        return false;
    const QString folded = search.trimmed().toCaseFolded();
    return folded.isEmpty() || searchKey(record).contains(folded);
}
