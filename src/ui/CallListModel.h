// Tavix CallerID: the calls of the history as the Calls window's table shows them.
#pragma once

#include "monitor/CallHistory.h"
#include "monitor/CallRecord.h"

#include <QAbstractTableModel>
#include <QList>
#include <QString>

// Newest first, a page at a time as the view scrolls (keyset paging by id), so 100,000 stored
// calls cost no more to open than one page. Live: a new call that matches goes in at the top, a
// changed one is updated in place (or leaves, or comes in, as the filter now has it).
class CallListModel : public QAbstractTableModel
{
    Q_OBJECT

  public:
    enum Column { Time, Line, Number, Name, Happened, WebApplication, ColumnCount };
    static constexpr int kPageSize = 200;

    explicit CallListModel(CallHistory& history, QObject* parent = nullptr);

    // Starts again from the newest call with these; the first page is read at once.
    void setFilter(CallHistory::Filter filter, const QString& search);
    CallHistory::Filter filter() const { return m_filter; }
    QString search() const { return m_search; }

    // The row's call; row must be in range.
    const CallRecord& record(int row) const { return m_rows.at(row); }
    // The row of the call with this id among the rows read so far, -1 if it is not there.
    int rowOf(CallRecord::Id id) const;

    // The column texts, as the table shows them.
    static QString happenedText(const CallRecord& record);
    static QString webApplicationText(const CallRecord& record);
    static QString timeText(const QDateTime& time);
    static QString cellText(const CallRecord& record, int column);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent = {}) const override;
    void fetchMore(const QModelIndex& parent = {}) override;

  private:
    void readFirstPage();
    void added(const CallRecord& record);
    void changed(const CallRecord& record);
    void allSeen();
    // Where a call with this id goes among the rows, which are sorted by id, largest first.
    int insertionRow(CallRecord::Id id) const;
    // Whether a call with this id is among those read, or would be read by a later page.
    bool withinRead(CallRecord::Id id) const;

    CallHistory& m_history;
    CallHistory::Filter m_filter = CallHistory::Filter::All;
    QString m_search;
    QList<CallRecord> m_rows;
    // The smallest id a page has read: the next page starts below it (0: none read yet).
    CallRecord::Id m_cursor = 0;
    bool m_atEnd = false;
};
