// Tavix CallerID tests: the line status table ListView1.
#include "monitor/LineStatusTable.h"

#include <QHeaderView>

#include <gtest/gtest.h>

#include <climits>

namespace {

using Row = std::array<std::string, kColumnCount>;

std::array<Row, kLineCount> cells(const LineStatusTable& table)
{
    std::array<Row, kLineCount> all;
    for (int line = 0; line < kLineCount; ++line)
        for (int column = 0; column < kColumnCount; ++column)
            all[line][column] = table.cellText(line, column);
    return all;
}

void expectFreshRows(const LineStatusTable& table)
{
    ASSERT_EQ(table.topLevelItemCount(), kLineCount);
    const char* texts[] = {"01", "02", "03", "04"};
    for (int line = 0; line < kLineCount; ++line) {
        SCOPED_TRACE(line);
        EXPECT_EQ(table.LineItems()[line], table.topLevelItem(line));
        EXPECT_EQ(cells(table)[line], (Row{texts[line], "Disable", "", "", "", "", "", "", ""}));
    }
}

} // namespace

TEST(LineStatusTable, HasTheDesignedColumns)
{
    LineStatusTable table;
    EXPECT_EQ(table.objectName(), "ListView1");
    EXPECT_FALSE(table.rootIsDecorated());
    EXPECT_FALSE(table.isSortingEnabled());
    EXPECT_FALSE(table.header()->stretchLastSection());
    EXPECT_EQ(table.header()->defaultAlignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);

    const char* headers[] = {"Line ID",           "Device State",  "CPU Version",
                             "Line State",        "Caller ID",     "Dial Number",
                             "Collateral Dialed", "Talk Duration", "Device ID"};
    // Twips / 15, to the nearest pixel.
    const int widths[] = {40, 89, 103, 109, 123, 103, 76, 103, 103};
    ASSERT_EQ(table.columnCount(), kColumnCount);
    for (int column = 0; column < kColumnCount; ++column) {
        EXPECT_EQ(table.headerItem()->text(column), headers[column]);
        EXPECT_EQ(table.columnWidth(column), widths[column]) << headers[column];
    }
}

TEST(LineStatusTable, BuildCreatesFourRowsAndRebuildStartsAfresh)
{
    LineStatusTable table;
    EXPECT_EQ(table.topLevelItemCount(), 0);
    for (QTreeWidgetItem* item : table.LineItems())
        EXPECT_EQ(item, nullptr);
    EXPECT_THROW(table.setCell(0, COL_DEVICE_STATE, "Enable"), std::logic_error);

    table.build();
    expectFreshRows(table);

    for (int line = 0; line < kLineCount; ++line)
        for (int column = COL_DEVICE_STATE; column <= COL_DEVICE_ID; ++column)
            table.setCell(line, column, "busy");
    table.build();
    expectFreshRows(table);
}

TEST(LineStatusTable, WritesOutsideTheRowsAndCellsFailWithoutChangingAnything)
{
    LineStatusTable table;
    table.build();
    table.setCell(2, COL_CALLER_ID, "5550100");
    const auto before = cells(table);

    struct Case {
        int32_t line;
        int column;
        const char* message;
    };
    const Case cases[] = {
        {4, COL_DEVICE_STATE, "Line index 4 is out of range (0 to 3)"},
        {-1, COL_CALLER_ID, "Line index -1 is out of range (0 to 3)"},
        {INT32_MAX, COL_DEVICE_ID, "Line index 2147483647 is out of range (0 to 3)"},
        {0, COL_LINE_ID, "Column 0 is out of range (1 to 8)"},
        {3, kColumnCount, "Column 9 is out of range (1 to 8)"},
        {5, -1, "Line index 5 is out of range (0 to 3)"},
    };
    for (const Case& c : cases) {
        try {
            table.setCell(c.line, c.column, "x");
            ADD_FAILURE() << "no fault for " << c.line << "/" << c.column;
        } catch (const std::out_of_range& fault) {
            EXPECT_STREQ(fault.what(), c.message);
        }
    }
    EXPECT_EQ(cells(table), before);
    EXPECT_THROW(table.cellText(4, 0), std::out_of_range);
}

TEST(LineStatusTable, CellsKeepEveryByteAndShowTextUpToTheFirstNul)
{
    LineStatusTable table;
    table.build();
    std::string number = "0123456789" + std::string(118, '\0');
    std::string allBytes;
    for (int byte = 1; byte < 256; ++byte)
        allBytes += static_cast<char>(byte);
    const std::string allBytesThenNul = allBytes + '\0' + "after";
    const std::string startsWithNul = std::string(1, '\0') + "hidden";

    table.setCell(0, COL_CALLER_ID, number);
    table.setCell(1, COL_DIAL_NUMBER, allBytesThenNul);
    table.setCell(2, COL_DEVICE_ID, startsWithNul);

    EXPECT_EQ(table.cellText(0, COL_CALLER_ID), number);
    EXPECT_EQ(table.cellText(1, COL_DIAL_NUMBER), allBytesThenNul);
    EXPECT_EQ(table.cellText(2, COL_DEVICE_ID), startsWithNul);

    const QAbstractItemModel* model = table.model();
    EXPECT_EQ(model->data(model->index(0, COL_CALLER_ID)).toString(), "0123456789");
    EXPECT_EQ(model->data(model->index(1, COL_DIAL_NUMBER)).toString(),
              QString::fromLatin1(allBytes.data(), static_cast<qsizetype>(allBytes.size())));
    EXPECT_EQ(table.LineItems()[2]->text(COL_DEVICE_ID), "");
    EXPECT_EQ(table.LineItems()[0]->text(COL_LINE_ID), "01");
}
