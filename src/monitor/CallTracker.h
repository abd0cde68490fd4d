// Tavix CallerID: the calls on the four lines, made from the line events.
#pragma once

#include "monitor/CallRecord.h"
#include "monitor/DeviceEventHandler.h"
#include "monitor/DeviceEvents.h"

#include <QDateTime>

#include <array>
#include <functional>

// Where the calls go; the history in the program, a list in the tests.
class CallStore
{
  public:
    virtual ~CallStore() = default;
    // Returns the new call's id, 0 when it was not stored.
    virtual CallRecord::Id add(const CallRecord& record) = 0;
    virtual void update(const CallRecord& record) = 0;
    virtual CallRecord find(CallRecord::Id id) const = 0;
};

// One open call per line at most: from its caller ID (or first ring without one) until it is
// missed or ends. An event that belongs to no open call starts nothing but what a ring or a
// caller ID starts; one for another line never touches this line's call.
class CallTracker
{
  public:
    using Clock = std::function<QDateTime()>;
    static constexpr const char* kNoCallerId = "No caller ID";

    explicit CallTracker(CallStore& store, Clock now = &QDateTime::currentDateTime);

    // `delivery`: for a caller ID, its web notification as SendCall left it. Returns the id of
    // the call the event went to, 0 for none.
    CallRecord::Id handle(const LineEvent& event, const CallDelivery& delivery = {});
    // A call's web notification ended or started again; the open call's copy is kept in step,
    // so that a later event does not write the old outcome back.
    void setDelivery(CallRecord::Id id, const CallDelivery& delivery);

  private:
    struct OpenCall
    {
        CallRecord record;
        int rings = 0;
        bool open = false;
    };

    void start(OpenCall& call, int line);
    void close(OpenCall& call, CallRecord::Progress progress);
    void store(OpenCall& call);

    CallStore& m_store;
    Clock m_now;
    std::array<OpenCall, kLineCount> m_lines;
};
