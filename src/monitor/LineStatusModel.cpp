// Tavix CallerID: the four-row table of line states, shown by the list control ListView1.
#include "monitor/LineStatusModel.h"

#include <stdexcept>

namespace {

struct ColumnDesign
{
    const char* header;
    int twips;
};

// In ColumnIndex order.
constexpr std::array<ColumnDesign, kColumnCount> kColumns = {{
    {"Line ID", 600},
    {"Device State", 1340},
    {"CPU Version", 1540},
    {"Line State", 1640},
    {"Caller ID", 1840},
    {"Dial Number", 1540},
    {"Collateral Dialed", 1140},
    {"Talk Duration", 1540},
    {"Device ID", 1540},
}};

QString latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

void checkColumn(int column, int first)
{
    if (column < first || column > COL_DEVICE_ID)
        throw std::out_of_range("Column " + std::to_string(column) + " is out of range (" +
                                std::to_string(first) + " to 8)");
}

} // namespace

LineStatusModel::LineStatusModel(QObject* parent) : QAbstractTableModel(parent) {}

QString LineStatusModel::columnHeader(int column)
{
    return QString::fromLatin1(kColumns.at(static_cast<size_t>(column)).header);
}

int LineStatusModel::columnWidthTwips(int column)
{
    return kColumns.at(static_cast<size_t>(column)).twips;
}

void LineStatusModel::build()
{
    beginResetModel();
    for (int line = 0; line < kLineCount; ++line) {
        Row& cells = m_lineItems[static_cast<size_t>(line)];
        cells = {};
        cells[COL_LINE_ID] = (line < 9 ? "0" : "") + std::to_string(line + 1);
        cells[COL_DEVICE_STATE] = "Disable";
    }
    m_built = true;
    endResetModel();
}

const LineStatusModel::Row& LineStatusModel::row(int32_t line) const
{
    if (line < 0 || line >= kLineCount)
        throw std::out_of_range("Line index " + std::to_string(line) + " is out of range (0 to 3)");
    if (!m_built)
        throw std::logic_error("The line status table has not been built yet");
    return m_lineItems[static_cast<size_t>(line)];
}

void LineStatusModel::setCell(int32_t line, int column, std::string_view text)
{
    auto& cells = const_cast<Row&>(row(line));
    checkColumn(column, COL_DEVICE_STATE);
    cells[static_cast<size_t>(column)].assign(text);
    const QModelIndex changed = index(line, column);
    emit dataChanged(changed, changed, {Qt::DisplayRole, FullTextRole});
}

std::string LineStatusModel::cellText(int32_t line, int column) const
{
    const Row& cells = row(line);
    checkColumn(column, COL_LINE_ID);
    return cells[static_cast<size_t>(column)];
}

QString LineStatusModel::shownText(int32_t line, int column) const
{
    const std::string text = cellText(line, column);
    return latin1(std::string_view(text).substr(0, text.find('\0')));
}

int LineStatusModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_built ? 0 : kLineCount;
}

int LineStatusModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

// The whole text is stored and cut at its first NUL only when a cell is shown, so a cell write
// on the event path costs one copy of its bytes.
QVariant LineStatusModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumnCount)
        return {};
    const std::string& text =
        m_lineItems[static_cast<size_t>(index.row())][static_cast<size_t>(index.column())];
    if (role == FullTextRole)
        return latin1(text);
    if (role == Qt::DisplayRole)
        return latin1(std::string_view(text).substr(0, text.find('\0')));
    return {};
}

QVariant LineStatusModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return columnHeader(section);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return {};
}
