// Tavix CallerID: the four-row table of line states, the list control ListView1.
#include "monitor/LineStatusTable.h"

#include <QHeaderView>

#include <stdexcept>

namespace {

struct ColumnDesign {
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

// 15 twips per pixel at 96 dpi; rounded to the nearest pixel (1340 twips = 89.3 -> 89).
constexpr int twipsToPixels(int twips) { return (twips + 7) / 15; }

// Keeps the whole text under DisplayRole and shows it only up to the first NUL, so a cell
// write stores one value and the truncation costs nothing until the cell is painted.
class LineRow : public QTreeWidgetItem
{
public:
    LineRow(QTreeWidget* view, const QString& text) : QTreeWidgetItem(view, {text}, UserType) {}

    QVariant data(int column, int role) const override
    {
        if (role == LineStatusTable::FullTextRole)
            return QTreeWidgetItem::data(column, Qt::DisplayRole);
        QVariant value = QTreeWidgetItem::data(column, role);
        if (role == Qt::DisplayRole) {
            QString text = value.toString();
            if (const qsizetype end = text.indexOf(QChar(u'\0')); end >= 0) {
                text.truncate(end);
                return text;
            }
        }
        return value;
    }
};

} // namespace

LineStatusTable::LineStatusTable(QWidget* parent) : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("ListView1"));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSortingEnabled(false);
    setAllColumnsShowFocus(true);

    QStringList headers;
    for (const ColumnDesign& column : kColumns)
        headers << QString::fromLatin1(column.header);
    setHeaderLabels(headers);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header()->setSectionsMovable(false);
    // The design widths hold; the last column does not grow with the control.
    header()->setStretchLastSection(false);
    for (int i = 0; i < kColumnCount; ++i)
        setColumnWidth(i, twipsToPixels(kColumns[static_cast<size_t>(i)].twips));
}

void LineStatusTable::build()
{
    clear();
    m_lineItems.fill(nullptr);
    for (int line = 0; line < kLineCount; ++line)
        m_lineItems[static_cast<size_t>(line)] =
            new LineRow(this, QStringLiteral("%1").arg(line + 1, 2, 10, QLatin1Char('0')));
    for (int line = 0; line < kLineCount; ++line)
        setCell(line, COL_DEVICE_STATE, "Disable");
}

QTreeWidgetItem& LineStatusTable::row(int32_t line) const
{
    if (line < 0 || line >= kLineCount)
        throw std::out_of_range("Line index " + std::to_string(line) + " is out of range (0 to 3)");
    QTreeWidgetItem* item = m_lineItems[static_cast<size_t>(line)];
    if (!item)
        throw std::logic_error("The line status table has not been built yet");
    return *item;
}

void LineStatusTable::setCell(int32_t line, int column, std::string_view text)
{
    QTreeWidgetItem& target = row(line);
    if (column < COL_DEVICE_STATE || column > COL_DEVICE_ID)
        throw std::out_of_range("Column " + std::to_string(column) + " is out of range (1 to 8)");
    target.setText(column, QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

std::string LineStatusTable::cellText(int32_t line, int column) const
{
    const QTreeWidgetItem& source = row(line);
    if (column < COL_LINE_ID || column > COL_DEVICE_ID)
        throw std::out_of_range("Column " + std::to_string(column) + " is out of range (0 to 8)");
    return source.data(column, FullTextRole).toString().toLatin1().toStdString();
}
