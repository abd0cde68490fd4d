// Tavix CallerID: the calls of the history as the Calls window's table shows them.
#include "ui/CallListModel.h"

#include <QFont>

#include <algorithm>

CallListModel::CallListModel(CallHistory& history, QObject* parent)
    : QAbstractTableModel(parent), m_history(history)
{
    connect(&m_history, &CallHistory::added, this, &CallListModel::added);
    connect(&m_history, &CallHistory::changed, this, &CallListModel::changed);
    connect(&m_history, &CallHistory::allSeen, this, &CallListModel::allSeen);
    readFirstPage();
}

void CallListModel::setFilter(CallHistory::Filter filter, const QString& search)
{
    beginResetModel();
    m_filter = filter;
    m_search = search;
    m_rows.clear();
    m_cursor = 0;
    m_atEnd = false;
    readFirstPage();
    endResetModel();
}

void CallListModel::readFirstPage()
{
    const QList<CallRecord> page = m_history.fetch(m_filter, m_search, m_cursor, kPageSize);
    m_atEnd = page.size() < kPageSize;
    if (page.isEmpty())
        return;
    m_cursor = page.last().id;
    m_rows = page;
}

int CallListModel::insertionRow(CallRecord::Id id) const
{
    const auto at = std::lower_bound(
        m_rows.cbegin(), m_rows.cend(), id,
        [](const CallRecord& row, CallRecord::Id wanted) { return row.id > wanted; });
    return int(at - m_rows.cbegin());
}

int CallListModel::rowOf(CallRecord::Id id) const
{
    const int row = insertionRow(id);
    return row < m_rows.size() && m_rows.at(row).id == id ? row : -1;
}

bool CallListModel::withinRead(CallRecord::Id id) const
{
    // Below the cursor it comes with a later page, unless there is none.
    return m_atEnd || m_cursor == 0 || id > m_cursor;
}

void CallListModel::added(const CallRecord& record)
{
    if (!CallHistory::matches(record, m_filter, m_search) || rowOf(record.id) >= 0)
        return;
    const int row = insertionRow(record.id);
    beginInsertRows({}, row, row);
    m_rows.insert(row, record);
    endInsertRows();
}

void CallListModel::changed(const CallRecord& record)
{
    const int row = rowOf(record.id);
    const bool wanted = CallHistory::matches(record, m_filter, m_search);
    if (row >= 0 && wanted) {
        m_rows[row] = record;
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
    } else if (row >= 0) {
        beginRemoveRows({}, row, row);
        m_rows.removeAt(row);
        endRemoveRows();
    } else if (wanted && withinRead(record.id)) {
        added(record);
    }
}

void CallListModel::allSeen()
{
    for (CallRecord& row : m_rows)
        row.seen = true;
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, 0), index(int(m_rows.size()) - 1, ColumnCount - 1),
                         {Qt::FontRole});
}

QString CallListModel::timeText(const QDateTime& time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString CallListModel::happenedText(const CallRecord& record)
{
    switch (record.progress) {
    case CallRecord::Progress::Ringing:
        return QStringLiteral("ringing");
    case CallRecord::Progress::Answered:
    case CallRecord::Progress::Ended:
        // An answered call ends with its talk time; one that ended without (the line went, the
        // next call came) says only that.
        if (record.talkSeconds < 0)
            return record.progress == CallRecord::Progress::Answered ? QStringLiteral("answered")
                                                                     : QStringLiteral("ended");
        return QStringLiteral("answered %1:%2")
            .arg(record.talkSeconds / 60)
            .arg(record.talkSeconds % 60, 2, 10, QLatin1Char('0'));
    case CallRecord::Progress::Missed:
        return QStringLiteral("missed");
    }
    return {};
}

QString CallListModel::webApplicationText(const CallRecord& record)
{
    using State = CallDelivery::State;
    // The reasons read as part of the sentence: "failed: timed out".
    QString why = record.deliveryDetail;
    if (!why.isEmpty() && !(why.size() > 1 && why.at(1).isUpper()))
        why[0] = why.at(0).toLower();
    switch (record.delivery) {
    case State::Pending:
        return QStringLiteral("pending");
    case State::Sent:
        return QStringLiteral("\u2713 sent");
    case State::Failed:
        return why.isEmpty() ? QStringLiteral("\u2717 failed")
                             : QStringLiteral("\u2717 failed: ") + why;
    case State::NotSent:
        return why.isEmpty() ? QStringLiteral("not sent") : QStringLiteral("not sent: ") + why;
    case State::Abandoned:
        return QStringLiteral("abandoned");
    }
    return {};
}

QString CallListModel::cellText(const CallRecord& record, int column)
{
    switch (column) {
    case Time:
        return timeText(record.time);
    case Line:
        return QString::number(record.line);
    case Number:
        return record.number;
    case Name:
        return record.name;
    case Happened:
        return happenedText(record);
    case WebApplication:
        return webApplicationText(record);
    default:
        return {};
    }
}

int CallListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int CallListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CallListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const CallRecord& record = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return cellText(record, index.column());
    case Qt::ToolTipRole:
        // The reply's first line, which the column leaves out for a sent call.
        if (index.column() == WebApplication && !record.deliveryDetail.isEmpty())
            return record.deliveryDetail;
        return {};
    case Qt::FontRole:
        // A missed call not seen yet stands out until it is.
        if (!record.seen) {
            QFont font;
            font.setBold(true);
            return font;
        }
        return {};
    default:
        return {};
    }
}

QVariant CallListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case Time:
        return QStringLiteral("Time");
    case Line:
        return QStringLiteral("Line");
    case Number:
        return QStringLiteral("Number");
    case Name:
        return QStringLiteral("Name");
    case Happened:
        return QStringLiteral("What happened");
    case WebApplication:
        return QStringLiteral("Web application");
    default:
        return {};
    }
}

bool CallListModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && !m_atEnd;
}

void CallListModel::fetchMore(const QModelIndex& parent)
{
    if (parent.isValid() || m_atEnd)
        return;
    // How many rows a page adds is only known once read: read, then announce them.
    const int first = int(m_rows.size());
    QList<CallRecord> page = m_history.fetch(m_filter, m_search, m_cursor, kPageSize);
    m_atEnd = page.size() < kPageSize;
    if (page.isEmpty())
        return;
    m_cursor = page.last().id;
    page.removeIf([this](const CallRecord& record) { return rowOf(record.id) >= 0; });
    if (page.isEmpty())
        return;
    beginInsertRows({}, first, first + int(page.size()) - 1);
    m_rows.append(page);
    endInsertRows();
}
