// Tavix CallerID tests: the tray icon's tooltip.
#include "desktop/TrayToolTip.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

LineStatusModel::Row row(std::string deviceState, std::string lineState)
{
    LineStatusModel::Row cells{};
    cells[COL_DEVICE_STATE] = deviceState;
    cells[COL_LINE_STATE] = lineState;
    return cells;
}

TEST(TrayToolTip, SaysEachLineStateInWords)
{
    const struct
    {
        LineStatusModel::Row row;
        const char* words;
    } cases[] = {
        {row("Disable", ""), "disabled"},
        {row("", ""), "disabled"},
        {row("Enable", ""), "idle"},
        {row("Enable", "HOOK ON PR+"), "on hook"},
        {row("Enable", "HOOK ON NOPR"), "on hook"},
        {row("Enable", "HOOK OFF PR-"), "off hook"},
        {row("Enable", "3"), "ringing"},
        {row("Enable", "Ring Off"), "ring off"},
        {row("Enable", "Missed Call"), "missed call"},
        {row("Enable", "No Line"), "no line"},
        // As the table shows it: up to the NUL fill.
        {row("Enable\0\0"s, "HOOK OFF PR+\0\0"s), "off hook"},
    };
    for (const auto& [cells, words] : cases)
        EXPECT_EQ(TrayToolTip::lineState(cells), words) << cells[COL_LINE_STATE];
}

TEST(TrayToolTip, TellsTheLinesAndTheLastCallerWithinWhatWindowsShows)
{
    LineStatusModel lines;
    TrayToolTip tip;
    EXPECT_EQ(tip.text(lines), "Tavix CallerID\nLines: 1 disabled, 2 disabled, 3 disabled, 4 "
                               "disabled\nNo caller yet");
    lines.build();
    for (int line = 0; line < kLineCount; ++line)
        lines.setCell(line, COL_DEVICE_STATE, "Enable");
    lines.setCell(1, COL_LINE_STATE, "2");
    lines.setCell(2, COL_LINE_STATE, "HOOK OFF PR+");

    IncomingCaller caller;
    caller.line = 1;
    caller.number = QStringLiteral("0123456789");
    caller.name = QStringLiteral("Jane Doe");
    tip.setLastCaller(caller, QTime(15, 30, 12));
    EXPECT_EQ(tip.text(lines), "Tavix CallerID\nLines: 1 idle, 2 ringing, 3 off hook, 4 idle\n"
                               "Last caller: 0123456789 \u2014 Jane Doe, line 2, 15:30");

    // A long name gives way; the line and the time stay.
    caller.name = QString(100, u'x');
    tip.setLastCaller(caller, QTime(9, 5));
    const QString text = tip.text(lines);
    EXPECT_EQ(text.size(), TrayToolTip::kMaxLength);
    EXPECT_TRUE(text.endsWith(QStringLiteral("x\u2026, line 2, 09:05"))) << text.toStdString();
}

} // namespace
