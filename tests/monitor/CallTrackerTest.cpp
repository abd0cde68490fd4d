// Tavix CallerID tests: the calls made from the line events, without a device.
#include "monitor/CallTracker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Progress = CallRecord::Progress;
using State = CallDelivery::State;

class ListStore : public CallStore
{
  public:
    CallRecord::Id add(const CallRecord& record) override
    {
        calls.push_back(record);
        calls.back().id = static_cast<CallRecord::Id>(calls.size());
        return calls.back().id;
    }
    void update(const CallRecord& record) override
    {
        calls.at(static_cast<size_t>(record.id - 1)) = record;
    }
    CallRecord find(CallRecord::Id id) const override
    {
        return id > 0 && id <= static_cast<CallRecord::Id>(calls.size())
                   ? calls[static_cast<size_t>(id - 1)]
                   : CallRecord{};
    }
    std::vector<CallRecord> calls;
};

LineEvent ring(int32_t line, int32_t rings)
{
    return {.line = line, .kind = EV_LINE_STATE, .lParam = LS_RING, .rings = rings};
}
LineEvent cid(int32_t line, std::string number, std::string name = "")
{
    return {.line = line, .kind = EV_BACK_CID, .number = number, .name = name};
}
LineEvent state(int32_t line, int32_t code)
{
    return {.line = line, .kind = EV_LINE_STATE, .lParam = code};
}
LineEvent talk(int32_t line, int32_t seconds)
{
    return {.line = line, .kind = EV_TALK_TIME, .lParam = seconds};
}
LineEvent missed(int32_t line)
{
    return {.line = line, .kind = EV_MISSED_CALL};
}
LineEvent disable(int32_t line)
{
    return {.line = line, .kind = EV_DISABLE};
}

struct Expected
{
    int line;
    const char* number;
    Progress progress;
    int talkSeconds = -1;
    State delivery = State::Pending;
    bool seen = true;
};

TEST(CallTrackerTest, EventSequencesMakeTheseCalls)
{
    const struct
    {
        const char* what;
        std::vector<LineEvent> events;
        std::vector<Expected> calls;
    } cases[] = {
        {"answered, as the simulated box plays it",
         {ring(0, 1), cid(0, "0123"), ring(0, 2), state(0, LS_HOOK_OFF_PRA), talk(0, 42),
          state(0, LS_HOOK_ON_PRA)},
         {{1, "0123", Progress::Ended, 42}}},
        {"missed",
         {ring(1, 1), cid(1, "0222"), ring(1, 2), ring(1, 3), state(1, LS_RING_OFF), missed(1)},
         {{2, "0222", Progress::Missed, -1, State::Pending, false}}},
        {"caller ID first, then rings",
         {cid(2, "0333"), ring(2, 1), ring(2, 2), state(2, LS_HOOK_OFF_PRB)},
         {{3, "0333", Progress::Answered}}},
        {"rings without a caller ID",
         {ring(3, 1), ring(3, 2), missed(3)},
         {{4, "", Progress::Missed, -1, State::NotSent, false}}},
        {"a second caller ID on a ringing line is the next call",
         {cid(0, "0111"), ring(0, 1), cid(0, "0999"), missed(0)},
         {{1, "0111", Progress::Ended}, {1, "0999", Progress::Missed, -1, State::Pending, false}}},
        {"a ring index that starts again is the next call",
         {ring(0, 1), ring(0, 2), ring(0, 1)},
         {{1, "", Progress::Ended, -1, State::NotSent},
          {1, "", Progress::Ringing, -1, State::NotSent}}},
        {"events with no call make none",
         {state(0, LS_HOOK_OFF_PRA), talk(0, 9), state(0, LS_HOOK_ON_PRA), missed(1), disable(2),
          state(3, LS_NO_LINE), ring(7, 1), cid(-1, "0555")},
         {}},
        {"unplugged mid-call",
         {ring(1, 1), cid(1, "0222"), state(1, LS_HOOK_OFF_PRA), state(1, LS_NO_LINE), disable(1),
          talk(1, 5)},
         {{2, "0222", Progress::Ended}}},
        {"on hook while ringing is no answer, and a missed call is not answered after",
         {cid(0, "0123"), state(0, LS_HOOK_ON_PRB), missed(0), state(0, LS_HOOK_OFF_PRA),
          talk(0, 3)},
         {{1, "0123", Progress::Missed, -1, State::Pending, false}}},
        {"two lines interleaved",
         {ring(0, 1), ring(2, 1), cid(2, "0333"), cid(0, "0111"), state(2, LS_HOOK_OFF_PRA),
          ring(0, 2), missed(0), talk(2, 60), state(2, LS_HOOK_ON_PRA)},
         {{1, "0111", Progress::Missed, -1, State::Pending, false},
          {3, "0333", Progress::Ended, 60}}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        ListStore store;
        CallTracker tracker(store);
        for (const LineEvent& event : test.events)
            tracker.handle(event, {State::Pending, {}});
        ASSERT_EQ(store.calls.size(), test.calls.size());
        for (size_t i = 0; i < test.calls.size(); ++i) {
            const CallRecord& got = store.calls[i];
            const Expected& want = test.calls[i];
            EXPECT_EQ(got.line, want.line) << i;
            EXPECT_EQ(got.number, want.number) << i;
            EXPECT_EQ(got.progress, want.progress) << i;
            EXPECT_EQ(got.talkSeconds, want.talkSeconds) << i;
            EXPECT_EQ(got.delivery, want.delivery) << i;
            EXPECT_EQ(got.seen, want.seen) << i;
            EXPECT_TRUE(got.time.isValid());
        }
    }
}

TEST(CallTrackerTest, KeepsTheTextsAsTheBoxGaveThemAndTheDeliveryInStep)
{
    ListStore store;
    CallTracker tracker(store, [] { return QDateTime(QDate(2026, 3, 4), QTime(15, 30)); });
    const CallRecord::Id id = tracker.handle(cid(1, "0123456789", "Jos\xe9"), {State::Pending, {}});
    ASSERT_EQ(id, 1);
    EXPECT_EQ(store.calls[0].name, QString::fromLatin1("Jos\xe9"));
    EXPECT_EQ(store.calls[0].time, QDateTime(QDate(2026, 3, 4), QTime(15, 30)));

    // The outcome arrives while the call rings on; the answer that follows keeps it.
    tracker.setDelivery(id, {State::Sent, "OK"});
    tracker.handle(state(1, LS_HOOK_OFF_PRA));
    EXPECT_EQ(store.calls[0].progress, Progress::Answered);
    EXPECT_EQ(store.calls[0].delivery, State::Sent);
    EXPECT_EQ(store.calls[0].deliveryDetail, "OK");
    tracker.handle(state(1, LS_HOOK_ON_PRA));
    // Once the call has ended, from the store.
    tracker.setDelivery(id, {State::Failed, "HTTP 500"});
    EXPECT_EQ(store.calls[0].delivery, State::Failed);
    EXPECT_EQ(store.calls[0].progress, Progress::Ended);
    tracker.setDelivery(0, {State::Sent, ""});
    tracker.setDelivery(5, {State::Sent, ""});
    EXPECT_EQ(store.calls.size(), 1u);
}

} // namespace
