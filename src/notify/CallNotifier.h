// Tavix CallerID: the web notification of an incoming caller ID.
#pragma once

#include "notify/HttpsTransfer.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class ActivityLog;

// The web application's host that a build sets with -DTAVIX_CONNECTOR_HOST=...; empty unless a
// shop's or a packager's build set one. The "host" setting overrides it.
extern const char* const kDefaultConnectorHost;

// What became of one caller's web notification.
struct CallDelivery
{
    enum class State { Pending, Sent, Failed, NotSent, Abandoned };
    State state = State::Pending;
    // Sent: the reply's first line; otherwise why, in words. Cut to kDetailLength bytes at most;
    // never the URL or the password.
    std::string detail;

    static constexpr std::size_t kDetailLength = 200;
};

// Builds the connector request for a caller ID and sends it without waiting for it: the event
// that carried the caller is finished at once. Requests run side by side, each sent exactly once;
// each one's reply or error is logged, as one entry, on this object's thread when it arrives.
// Nothing it logs holds the password or the request's query.
class CallNotifier : public QObject
{
    Q_OBJECT

  public:
    // host: the connector host, optionally with ":port"; empty: none is set, and nothing is sent.
    // A host that is not one (see ConnectorHost), or a caFile that cannot be used, is reported
    // through settingsProblem() once the event loop runs, and every caller is then logged as
    // not sent, with the reason.
    CallNotifier(const ActivityLog& log, std::string host, std::string caFile = {},
                 std::chrono::milliseconds timeout = kRequestTimeout);
    // Abandons what is still pending with its log entries, as abandonPending() does, but
    // reports nothing: whoever listened is going away too.
    ~CallNotifier() override;

    using CallId = std::uint64_t;
    struct Started
    {
        CallId id;
        // Pending, or NotSent / Failed when nothing left.
        CallDelivery delivery;
    };

    // callerID: the caller-ID field (cut at its first NUL for the URL); line: the 0-based line
    // index as decimal text. The URL is built from these values and the login now, and the
    // request started; what keeps it from being sent (no host, a bad line) is logged at once.
    // Each call has an id of its own; when a pending one ends, delivered() tells how.
    Started SendCall(const std::string& callerID, const std::string& line, const QString& user,
                     const QString& password);

    // Drops the requests still waiting for the web application, one log entry each, without
    // waiting on the network. For closing the program.
    void abandonPending();
    // Requests started and not yet logged.
    size_t pendingCount() const { return m_pending.size(); }

    // The request URL, every query value percent-encoded. Throws std::invalid_argument for a
    // line that is not a signed 16-bit number or a host that is not one, and std::out_of_range
    // when the line or its successor does not fit one.
    std::string connectorUrl(const std::string& callerID, const std::string& line,
                             const QString& user, const QString& password) const;

  signals:
    // A pending call's request ended (Sent or Failed), or was dropped when closing (Abandoned).
    // Its log entry is written by then.
    void delivered(CallNotifier::CallId id, const CallDelivery& delivery);
    // A setting keeps callers from being sent: the text names it, its value and what is wrong,
    // for a message to the user. Once per problem, not per caller.
    void settingsProblem(const QString& text);

  private:
    struct PendingCall
    {
        std::string lineNumber; // as people count lines
        std::string caller;     // the digits, without the field's NUL fill
        std::string password;   // as sent, UTF-8: to keep it out of what is logged
    };

    void completed(HttpsTransfer::RequestId id, TransferResult result); // any thread
    void logCompleted();
    // The entry for a request's end, without secrets.
    CallDelivery deliveryOf(const PendingCall& call, const TransferResult& result) const;
    std::string entryFor(const PendingCall& call, const TransferResult& result) const;
    void reportProblem(const std::string& text);

    const ActivityLog& m_log;
    std::string m_host;
    std::string m_hostProblem; // empty when m_host is empty or a host
    std::string m_reportedProblem;
    // Ids are unique across notifiers: a settings change makes a new one.
    static std::atomic<CallId> s_nextId;
    std::map<HttpsTransfer::RequestId, PendingCall> m_pending;

    std::mutex m_mutex;
    std::vector<std::pair<HttpsTransfer::RequestId, TransferResult>> m_completed; // by m_mutex
    bool m_wakeScheduled = false;                                                 // by m_mutex

    // Last, so that it is gone, and with it every completion, before the rest of this object.
    HttpsTransfer m_transfer;
};
