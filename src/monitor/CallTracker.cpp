// Tavix CallerID: the calls on the four lines, made from the line events.
#include "monitor/CallTracker.h"

#include <algorithm>
#include <utility>

namespace {

using Progress = CallRecord::Progress;

QString latin1(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

bool isHookOn(int32_t code)
{
    return code == LS_HOOK_ON_PRA || code == LS_HOOK_ON_PRB || code == LS_HOOK_ON_NOPR ||
           code == LS_NO_HOOK_PRA || code == LS_NO_HOOK_PRB || code == LS_NO_HOOK_NOPR;
}

} // namespace

CallTracker::CallTracker(CallStore& store, Clock now) : m_store(store), m_now(std::move(now)) {}

CallRecord::Id CallTracker::handle(const LineEvent& event, const CallDelivery& delivery)
{
    if (event.line < 0 || event.line >= kLineCount)
        return 0;
    OpenCall& call = m_lines[static_cast<size_t>(event.line)];
    CallRecord& record = call.record;
    const bool ringing = call.open && record.progress == Progress::Ringing;

    switch (event.kind) {
    case EV_BACK_CID:
        // The box may ring before it sends the caller ID: that ring's call is this one.
        if (!ringing || record.hasCallerId()) {
            if (call.open)
                close(call, Progress::Ended);
            start(call, event.line);
        }
        record.time = m_now();
        record.number = latin1(event.number);
        record.name = latin1(event.name);
        record.delivery = delivery.state;
        record.deliveryDetail = QString::fromStdString(delivery.detail);
        store(call);
        return record.id;
    case EV_LINE_STATE:
        if (event.lParam == LS_RING) {
            // A ring index that went back is the next call, whose caller ID got lost.
            if (!ringing || (event.rings > 0 && event.rings < call.rings)) {
                if (call.open)
                    close(call, Progress::Ended);
                start(call, event.line);
                record.delivery = CallDelivery::State::NotSent;
                record.deliveryDetail = QString::fromLatin1(kNoCallerId);
                store(call);
            }
            call.rings = std::max(call.rings, event.rings);
            return record.id;
        }
        if (!call.open)
            return 0;
        if (event.lParam == LS_HOOK_OFF_PRA || event.lParam == LS_HOOK_OFF_PRB) {
            if (ringing) {
                record.progress = Progress::Answered;
                store(call);
            }
        } else if (event.lParam == LS_NO_LINE) {
            close(call, Progress::Ended);
        } else if (isHookOn(event.lParam) && record.progress == Progress::Answered) {
            // On hook while ringing is how a telephone waits for its call.
            close(call, Progress::Ended);
        } else {
            return 0;
        }
        return record.id;
    case EV_TALK_TIME:
        if (!call.open || record.progress != Progress::Answered)
            return 0;
        record.talkSeconds = event.lParam;
        store(call);
        return record.id;
    case EV_MISSED_CALL:
        if (!ringing)
            return 0;
        record.seen = false;
        close(call, Progress::Missed);
        return record.id;
    case EV_DISABLE:
        if (!call.open)
            return 0;
        close(call, Progress::Ended);
        return record.id;
    default:
        return 0;
    }
}

void CallTracker::setDelivery(CallRecord::Id id, const CallDelivery& delivery)
{
    if (id == 0)
        return;
    CallRecord record = m_store.find(id);
    OpenCall* open = nullptr;
    for (OpenCall& call : m_lines)
        if (call.open && call.record.id == id)
            open = &call;
    if (open)
        record = open->record;
    if (record.id == 0)
        return;
    record.delivery = delivery.state;
    record.deliveryDetail = QString::fromStdString(delivery.detail);
    if (open)
        open->record = record;
    m_store.update(record);
}

void CallTracker::start(OpenCall& call, int line)
{
    call = {};
    call.open = true;
    call.record.time = m_now();
    call.record.line = line + 1;
}

void CallTracker::close(OpenCall& call, CallRecord::Progress progress)
{
    call.record.progress = progress;
    store(call);
    call.open = false;
}

void CallTracker::store(OpenCall& call)
{
    if (call.record.id == 0)
        call.record.id = m_store.add(call.record);
    else
        m_store.update(call.record);
}
