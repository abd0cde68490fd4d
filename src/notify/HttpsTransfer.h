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

// How one request ended.
struct TransferResult
{
    bool ok = false;
    // The whole reply body whatever the HTTP status, or why there is none. Never holds the URL.
    std::string text;
};

// Runs GET requests on a thread of its own, side by side, each exactly once with the time-out and
// no retry, and reports each one's end through `completion`. Only https is spoken and redirects
// are not followed. Certificates are always verified, against the platform's authorities and,
// where given, the authorities in caFile as well. The network is set up at the first request,
// not when the object is made: most of a shop's day passes without a call.
class HttpsTransfer
{
  public:
    using RequestId = std::uint64_t;
    // Called exactly once per request that is not abandoned, on the transfer's own thread (or
    // within start() when the network cannot be set up at all).
    using Completion = std::function<void(RequestId id, TransferResult result)>;

    // A caFile that cannot be read does not throw: every request then ends with the reason.
    explicit HttpsTransfer(Completion completion,
                           std::chrono::milliseconds timeout = kRequestTimeout,
                           std::string caFile = {});
    // Abandons whatever is still running.
    ~HttpsTransfer();
    HttpsTransfer(const HttpsTransfer&) = delete;
    HttpsTransfer& operator=(const HttpsTransfer&) = delete;

    // Queues the request and returns at once.
    void start(RequestId id, std::string url);

    // Drops every request that has not ended, without waiting on the network: when this returns,
    // no completion is running or will follow for them. start() may be used again afterwards.
    void abandon();

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
