// Tavix CallerID: the four-row table of line states, the list control ListView1.
#pragma once

#include "monitor/DeviceEvents.h"

#include <QTreeWidget>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// One row per line, one column per ColumnIndex. A cell keeps the whole text it was given,
// NUL characters included (one character per byte, Latin-1, so every byte comes back
// unchanged); the display shows it up to the first NUL.
class LineStatusTable : public QTreeWidget
{
    Q_OBJECT

public:
    // The untruncated text of a cell, as a QString.
    static constexpr int FullTextRole = Qt::UserRole;

    explicit LineStatusTable(QWidget* parent = nullptr);

    // Replaces all rows by four fresh ones, "01" to "04", each with "Disable" in cell 1.
    void build();

    // Throws std::out_of_range for a line outside 0..3 or a column outside 1..8, and
    // std::logic_error before the first build(); the table is then unchanged.
    void setCell(int32_t line, int column, std::string_view text);
    // The full stored text of any cell (column 0 included).
    std::string cellText(int32_t line, int column) const;

    // The rows by line index; null before the first build().
    const std::array<QTreeWidgetItem*, kLineCount>& LineItems() const { return m_lineItems; }

private:
    QTreeWidgetItem& row(int32_t line) const;

    std::array<QTreeWidgetItem*, kLineCount> m_lineItems{};
};
