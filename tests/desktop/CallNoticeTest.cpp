// Tavix CallerID tests: what a caller's notification says.
#include "desktop/CallNotice.h"

#include <gtest/gtest.h>

namespace {

IncomingCaller caller(QString number, QString name)
{
    IncomingCaller incoming;
    incoming.line = 1;
    incoming.number = std::move(number);
    incoming.name = std::move(name);
    incoming.time = QStringLiteral("12071530");
    return incoming;
}

using State = CallDelivery::State;

TEST(CallNotice, SaysTheLineNumberAndNameThenWhatBecameOfTheWebRequest)
{
    const IncomingCaller jane = caller(QStringLiteral("0123456789"), QStringLiteral("Jane Doe"));
    const struct
    {
        CallDelivery delivery;
        const char* outcome;
    } cases[] = {
        {{State::Pending, {}}, "Sending to the web application\u2026"},
        {{State::Sent, "Caller found"}, "The web application got it: Caller found"},
        {{State::Sent, {}}, "The web application got it."},
        {{State::Failed, "Could not connect to server"},
         "The web application did not get it: Could not connect to server"},
        {{State::NotSent, "No web application host is set"},
         "Not sent to the web application: No web application host is set"},
        {{State::Abandoned, "The program closed before the web application answered"},
         "Not sent to the web application: The program closed before the web application "
         "answered"},
    };
    for (const auto& [delivery, outcome] : cases) {
        const CallNotice notice = CallNotice::of(jane, delivery);
        EXPECT_EQ(notice.summary, "Call on line 2");
        EXPECT_EQ(notice.body,
                  QStringLiteral("0123456789 \u2014 Jane Doe\n") + QString::fromUtf8(outcome));
    }
    // As it stood when the caller arrived.
    IncomingCaller unsent = jane;
    unsent.delivery = {State::NotSent, "No web application host is set"};
    EXPECT_EQ(CallNotice::of(unsent).body, CallNotice::of(jane, unsent.delivery).body);
}

TEST(CallNotice, ShowsTheCallerOnOneLineWhateverTheBoxSent)
{
    EXPECT_EQ(CallNotice::callerText(caller({}, {})), "(no number)");
    EXPECT_EQ(CallNotice::callerText(caller(QStringLiteral("555"), {})), "555");
    // Line breaks and other control characters from the box become blanks.
    EXPECT_EQ(CallNotice::callerText(
                  caller(QStringLiteral("555\r\n"), QStringLiteral("A\nB\tC\x1b[31m \xe9"))),
              QStringLiteral("555 \u2014 A B C [31m \u00e9"));
}

} // namespace
