// Tavix CallerID: the four-row table of line states, shown by the list control ListView1.
#pragma once

#include "monitor/DeviceEvents.h"

#include <QAbstractTableModel>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// One row per line, one column per ColumnIndex. A cell keeps the whole text it was given, NUL
// characters included (one character per byte, Latin-1, so every byte comes back unchanged);
// the display shows it up to the first NUL. There are no rows before the first build().
class LineStatusModel : public QAbstractTableModel
{
    Q_OBJECT

  public:
    // The untruncated text of a cell, as a QString.
    static constexpr int FullTextRole = Qt::UserRole;

    // A row's cells by ColumnIndex.
    using Row = std::array<std::string, kColumnCount>;

    explicit LineStatusModel(QObject* parent = nullptr);

    // The column's caption and its width in the window's layout unit, twips.
    static QString columnHeader(int column);
    static int columnWidthTwips(int column);

    // Replaces all rows by four fresh ones, "01" to "04", each with "Disable" in cell 1.
    void build();

    // Throws std::out_of_range for a line outside 0..3 or a column outside 1..8, and
    // std::logic_error before the first build(); the table is then unchanged.
    void setCell(int32_t line, int column, std::string_view text);
    // The full stored text of any cell (column 0 included); throws as setCell() does.
    std::string cellText(int32_t line, int column) const;
    // What the list shows in the cell: the text up to its first NUL.
    QString shownText(int32_t line, int column) const;

    // The rows by line index; empty texts before the first build().
    const std::array<Row, kLineCount>& LineItems() const { return m_lineItems; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    const Row& row(int32_t line) const;

    std::array<Row, kLineCount> m_lineItems{};
    bool m_built = false;
};
