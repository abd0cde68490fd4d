// Tavix CallerID: one synchronous HTTPS GET at a time over libcurl.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>

// A transfer that failed: unreachable host, time-out, TLS or protocol failure, oversized reply.
class TransferError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

constexpr std::chrono::milliseconds kRequestTimeout{std::chrono::seconds(60)};
// The connector answers with a short status text; anything this large is not such a reply, and
// the whole reply goes into the log.
constexpr std::size_t kMaxReplyBytes = 1024 * 1024;

// Keeps one libcurl handle for its whole life, so that a connection the server keeps open is
// used again. Only https is spoken and redirects are not followed. Certificates are always
// verified, against the system's authorities and, when given, the authorities in caFile as
// well. Proxies come from the environment (https_proxy, no_proxy), as for any libcurl program.
class HttpsTransfer
{
public:
    // A caFile that cannot be read does not throw here: every OpenURL then fails with the reason.
    explicit HttpsTransfer(std::chrono::milliseconds timeout = kRequestTimeout,
                           std::string caFile = {});
    ~HttpsTransfer();
    HttpsTransfer(const HttpsTransfer&) = delete;
    HttpsTransfer& operator=(const HttpsTransfer&) = delete;

    // Returns the whole reply body, whatever the HTTP status. Throws TransferError, whose text
    // never holds the URL.
    std::string OpenURL(const std::string& url);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
