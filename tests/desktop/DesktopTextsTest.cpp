// Tavix CallerID tests: what a caller's notification and the tray icon's tooltip say.
#include "desktop/CallNotice.h"
#include "desktop/TrayToolTip.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;
using State = CallDelivery::State;

IncomingCaller caller(const char* number, const char* name)
{
    IncomingCaller incoming;
    incoming.line = 1;
    incoming.number = QString::fromLatin1(number);
    incoming.name = QString::fromLatin1(name);
    return incoming;
}

TEST(CallNotice, SaysTheLineNumberAndNameThenWhatBecameOfTheWebRequest)
{
    const struct
    {
        CallDelivery delivery;
        const char* outcome;
    } cases[] = {
        {{State::Pending, {}}, "Sending to the web application\u2026"},
        {{State::Sent, "Caller found"}, "The web application got it: Caller found"},
        {{State::Sent, {}}, "The web application got it."},
        {{State::Failed, "Could not connect"},
         "The web application did not get it: Could not connect"},
        {{State::NotSent, "No host"}, "Not sent to the web application: No host"},
        {{State::Abandoned, "Closed"}, "Not sent to the web application: Closed"},
    };
    IncomingCaller jane = caller("0123456789", "Jane Doe");
    for (const auto& [delivery, outcome] : cases) {
        jane.delivery = delivery;
        const CallNotice notice = CallNotice::of(jane);
        EXPECT_EQ(notice.summary, "Call on line 2");
        EXPECT_EQ(notice.body, "0123456789 \u2014 Jane Doe\n" + QString::fromUtf8(outcome));
    }
    // The box's texts on one line, without control characters.
    EXPECT_EQ(CallNotice::callerText(caller("", "")), "(no number)");
    EXPECT_EQ(CallNotice::callerText(caller("555\r\n", "A\nB\tC\x1b[1m \xe9")),
              QStringLiteral("555 \u2014 A B C [1m \u00e9"));
}

TEST(TrayToolTip, TellsEachLineInWordsAndTheLastCallerWithinWhatWindowsShows)
{
    const std::pair<std::string, const char*> states[] = {
        {"", "idle"},
        {"HOOK ON PR+", "on hook"},
        {"HOOK OFF PR-", "off hook"},
        {"3", "ringing"},
        {"Missed Call", "missed call"},
        {"No Line", "no line"},
        {"HOOK OFF PR+\0\0"s, "off hook"}, // as the table shows it: up to the NUL fill
    };
    LineStatusModel::Row row{};
    EXPECT_EQ(TrayToolTip::lineState(row), "disabled");
    row[COL_DEVICE_STATE] = "Enable";
    for (const auto& [cell, words] : states) {
        row[COL_LINE_STATE] = cell;
        EXPECT_EQ(TrayToolTip::lineState(row), words) << cell;
    }

    LineStatusModel lines;
    lines.build();
    for (int line = 0; line < kLineCount; ++line)
        lines.setCell(line, COL_DEVICE_STATE, "Enable");
    lines.setCell(1, COL_LINE_STATE, "2");
    TrayToolTip tip;
    EXPECT_EQ(tip.text(lines), "Tavix CallerID\nLines: 1 idle, 2 ringing, 3 idle, 4 idle\n"
                               "No caller yet");
    tip.setLastCaller(caller("0123456789", "Jane Doe"), QTime(15, 30, 12));
    EXPECT_TRUE(
        tip.text(lines).endsWith("\nLast caller: 0123456789 \u2014 Jane Doe, line 2, 15:30"));
    // A long name gives way; the line and the time stay.
    tip.setLastCaller(caller("0123456789", std::string(100, 'x').c_str()), QTime(9, 5));
    EXPECT_EQ(tip.text(lines).size(), TrayToolTip::kMaxLength);
    EXPECT_TRUE(tip.text(lines).endsWith("x\u2026, line 2, 09:05"));
}

} // namespace
