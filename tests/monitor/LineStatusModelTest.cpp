// Tavix CallerID tests: the line status table that ListView1 shows.
#include "monitor/LineStatusModel.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <climits>

namespace {

using Row = std::array<std::string, kColumnCount>;

std::array<Row, kLineCount> cells(const LineStatusModel& table)
{
    std::array<Row, kLineCount> all;
    for (int line = 0; line < kLineCount; ++line)
        for (int column = 0; column < kColumnCount; ++column)
            all[line][column] = table.cellText(line, column);
    return all;
}

void expectFreshRows(const LineStatusModel& table)
{
    ASSERT_EQ(table.rowCount(), kLineCount);
    const char* texts[] = {"01", "02", "03", "04"};
    for (int line = 0; line < kLineCount; ++line) {
        SCOPED_TRACE(line);
        EXPECT_EQ(table.LineItems()[line], cells(table)[line]);
        EXPECT_EQ(cells(table)[line], (Row{texts[line], "Disable", "", "", "", "", "", "", ""}));
    }
}

} // namespace

TEST(LineStatusModel, HasTheDesignedColumns)
{
    LineStatusModel table;
    const char* headers[] = {"Line ID",           "Device State",  "CPU Version",
                             "Line State",        "Caller ID",     "Dial Number",
                             "Collateral Dialed", "Talk Duration", "Device ID"};
    const int twips[] = {600, 1340, 1540, 1640, 1840, 1540, 1140, 1540, 1540};
    ASSERT_EQ(table.columnCount(), kColumnCount);
    for (int column = 0; column < kColumnCount; ++column) {
        EXPECT_EQ(table.headerData(column, Qt::Horizontal).toString(), headers[column]);
        EXPECT_EQ(LineStatusModel::columnWidthTwips(column), twips[column]) << headers[column];
    }
}

TEST(LineStatusModel, BuildCreatesFourRowsAndRebuildStartsAfresh)
{
    LineStatusModel table;
    EXPECT_EQ(table.rowCount(), 0);
    EXPECT_THROW(table.setCell(0, COL_DEVICE_STATE, "Enable"), std::logic_error);

    table.build();
    expectFreshRows(table);

    for (int line = 0; line < kLineCount; ++line)
        for (int column = COL_DEVICE_STATE; column <= COL_DEVICE_ID; ++column)
            table.setCell(line, column, "busy");
    table.build();
    expectFreshRows(table);
}

TEST(LineStatusModel, WritesOutsideTheRowsAndCellsFailWithoutChangingAnything)
{
    LineStatusModel table;
    table.build();
    table.setCell(2, COL_CALLER_ID, "5550100");
    const auto before = cells(table);
    QSignalSpy changes(&table, &QAbstractItemModel::dataChanged);

    struct Case
    {
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
    EXPECT_EQ(changes.count(), 0);
    EXPECT_THROW(table.cellText(4, 0), std::out_of_range);
}

TEST(LineStatusModel, CellsKeepEveryByteAndShowTextUpToTheFirstNul)
{
    LineStatusModel table;
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

    EXPECT_EQ(table.index(0, COL_CALLER_ID).data().toString(), "0123456789");
    EXPECT_EQ(table.index(1, COL_DIAL_NUMBER).data().toString(),
              QString::fromLatin1(allBytes.data(), static_cast<qsizetype>(allBytes.size())));
    EXPECT_EQ(table.index(1, COL_DIAL_NUMBER).data(LineStatusModel::FullTextRole).toString(),
              QString::fromLatin1(allBytesThenNul.data(),
                                  static_cast<qsizetype>(allBytesThenNul.size())));
    EXPECT_EQ(table.shownText(2, COL_DEVICE_ID), "");
    EXPECT_EQ(table.shownText(0, COL_LINE_ID), "01");
}
