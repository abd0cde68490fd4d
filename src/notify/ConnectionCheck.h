// Tavix CallerID: Settings' "Check connection": reaching the web application as a caller's
// request would, without sending a caller.
#pragma once

#include "notify/ConnectorHost.h"
#include "notify/HttpsTransfer.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// What the check found, for the user.
struct ConnectionReport
{
    bool ok = false;
    // The step that failed and why, as a sentence; empty when ok.
    std::string problem;
    // "127.0.0.1 port 8443": where the connection went, once one was made.
    std::string address;
    // Of the server's certificate, once one was seen.
    std::string subject;
    std::string names; // the host names and addresses it is for
    std::string issuer;
    std::string expiry; // "2026-12-11 20:04 UTC"

    // All of it in words, a sentence or a line each.
    std::string text() const;
};

// Lets cancel() on one thread end a probe that blocks on another.
class CancelSignal
{
  public:
    // Sets the flag and calls the probe's waker, if one is set.
    void cancel();
    bool cancelled() const;
    // The probe's way to be woken; an empty one once what it wakes is gone.
    void setWaker(std::function<void()> waker);

  private:
    mutable std::mutex m_mutex;
    bool m_cancelled = false;      // by m_mutex
    std::function<void()> m_waker; // by m_mutex
};

// Resolves the host's name, connects and completes TLS, verifying the certificate with the same
// trust and time-out as a caller's request (HttpsTransfer); then stops. The connector page is
// never asked for: no made-up caller reaches the web application. On its own thread.
class ConnectionCheck
{
  public:
    using Done = std::function<void(ConnectionReport)>;

    // `host` as the "host" setting holds it; `caFile` as "cafile" (not used on Windows, where
    // the certificate store is). `done` is called once, on the check's thread, unless the
    // check is cancelled first.
    ConnectionCheck(std::string host, std::string caFile, Done done,
                    std::chrono::milliseconds timeout = kRequestTimeout);
    // Cancels and waits for the thread, which ends at once on a cancel.
    ~ConnectionCheck();
    ConnectionCheck(const ConnectionCheck&) = delete;
    ConnectionCheck& operator=(const ConnectionCheck&) = delete;

    // `done` is not called after this returns, unless it was already running.
    void cancel();

    // The check itself, on the calling thread.
    static ConnectionReport run(const std::string& host, const std::string& caFile,
                                std::chrono::milliseconds timeout, CancelSignal& cancel);

  private:
    CancelSignal m_cancel;
    std::mutex m_doneMutex;
    Done m_done; // by m_doneMutex
    std::thread m_thread;
};

// The platform's part: connect and handshake to the target's "/" (never asked for). Returns at
// once on a cancel.
ConnectionReport probeConnection(const ConnectorHost& target, const std::string& caFile,
                                 std::chrono::milliseconds timeout, CancelSignal& cancel);

// Why the file of extra certificate authorities cannot be used, or empty. Where the platform's
// certificate store is used instead (Windows), always empty.
std::string authorityFileProblem(const std::string& caFile);
// True where the platform's certificate store holds every authority trusted (Windows): there is
// no file of extra ones.
extern const bool kUsesCertificateStore;

// "60 seconds", "1.5 seconds": a time-out as a sentence says it.
std::string timeoutInWords(std::chrono::milliseconds timeout);
