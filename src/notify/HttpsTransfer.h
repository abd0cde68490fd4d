// Tavix CallerID: HTTPS GET requests that run beside the caller, never blocking it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

constexpr std::chrono::milliseconds kRequestTimeout{std::chrono::seconds(60)};
// The connector answers with a short status text; anything this large is not such a reply, and
// the whole reply goes into the log.
constexpr std::size_t kMaxReplyBytes = 1024 * 1024;
// Connections to the web application at once; further requests wait in order for one of them.
// A shop's burst of callers then costs the server a few connections, not one per caller.
constexpr std::size_t kMaxConnections = 6;
// Requests waiting at most; a caller beyond that is not sent, and the log says so.
constexpr std::size_t kMaxWaitingRequests = 10000;

// How one request ended.
struct TransferResult
{
    // True when the web application replied, whatever the HTTP status.
    bool ok = false;
    // The whole reply body, or why there is none. Never holds the URL.
    std::string text;
    // The reply's HTTP status; 0 without a reply.
    int status = 0;
    // Nothing went out: the settings keep every request from being sent (text says why).
    bool notSent = false;
};

// Runs GET requests on a thread of its own, side by side on at most kMaxConnections connections
// (kept open for the next request, closed after a short idle while), each exactly once with the
// time-out counted from its start and no retry, and reports each one's end through `completion`.
// Only https is spoken and redirects are not followed. Certificates are always verified, against
// the platform's authorities and, where given, the authorities in caFile as well. The network is
// set up at the first request, not when the object is made: most of a shop's day passes without a
// call.
class HttpsTransfer
{
  public:
    using RequestId = std::uint64_t;
    // Called exactly once per request that is not abandoned, on the transfer's own thread (or
    // within start() when the network cannot be set up at all); and with id 0 when
    // checkAuthorities() finds the authority file unusable.
    using Completion = std::function<void(RequestId id, TransferResult result)>;

    // A caFile that cannot be read does not throw: every request then ends with the reason.
    explicit HttpsTransfer(Completion completion,
                           std::chrono::milliseconds timeout = kRequestTimeout,
                           std::string caFile = {});
    // Abandons whatever is still running.
    ~HttpsTransfer();
    HttpsTransfer(const HttpsTransfer&) = delete;
    HttpsTransfer& operator=(const HttpsTransfer&) = delete;

    // Queues the request and returns at once. Ids are never 0.
    void start(RequestId id, std::string url);

    // Reads the authority file now, on the transfer's thread, rather than at the first request,
    // so that a file that cannot be used is known at start-up: its reason then comes as a
    // completion with id 0 and notSent set. Does nothing where there is no such file.
    void checkAuthorities();

    // Drops every request that has not ended, without waiting on the network or on a thread
    // stuck in the system: when this returns, no completion is running or will follow for them.
    // start() may be used again afterwards.
    void abandon();

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
