// Tavix CallerID: HTTPS GET requests over WinHTTP, on at most kMaxConnections threads.
#include "notify/HttpsTransfer.h"

#include "notify/WinHttp_win.h"

#include <windows.h>

#include <winhttp.h>

#include <deque>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

struct HttpsTransfer::Impl
{
    // What the object and its request threads share. A thread may outlive an abandon() and the
    // object itself: it then finds `abandoned` set and reports nothing.
    struct Shared;
    // One request while it runs.
    struct Call
    {
        Shared* shared = nullptr;
        HINTERNET request = nullptr;
        bool closed = false; // by shared->mutex
        volatile LONG timedOut = 0;

        // At the time-out: WinHTTP's own time-outs bound each step, not the whole.
        static void CALLBACK deadline(void* self, BOOLEAN);
    };
    struct Shared
    {
        std::mutex mutex;
        bool abandoned = false;  // by mutex
        std::set<Call*> running; // by mutex: the requests to close on abandon()
        // Requests waiting for one of the threads, in order; their time-out starts when one
        // takes them.
        std::deque<std::pair<RequestId, std::string>> waiting; // by mutex
        size_t threads = 0;                                    // by mutex
        size_t busy = 0; // by mutex: threads in a request, the others are about to take one
        Completion completion;
        std::chrono::milliseconds timeout{};
        Internet session; // for connections kept between requests

        TransferResult fetch(const std::string& url);
        // Closes the call's request unless that was done already; false if it was.
        bool close(Call& call);
        // A thread's life: the waiting requests, one after the other, until none is left.
        static void work(std::shared_ptr<Shared> shared);
    };

    Completion completion;
    std::chrono::milliseconds timeout{};
    std::shared_ptr<Shared> shared;
};

bool HttpsTransfer::Impl::Shared::close(Call& call)
{
    std::lock_guard lock(mutex);
    running.erase(&call);
    if (std::exchange(call.closed, true))
        return false;
    // Ends a WinHTTP call blocked on this request in another thread.
    WinHttpCloseHandle(call.request);
    return true;
}

void CALLBACK HttpsTransfer::Impl::Call::deadline(void* self, BOOLEAN)
{
    auto& call = *static_cast<Call*>(self);
    if (call.shared->close(call))
        InterlockedExchange(&call.timedOut, 1);
}

TransferResult HttpsTransfer::Impl::Shared::fetch(const std::string& url)
{
    std::wstring wideUrl = widened(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(wideUrl.c_str(), static_cast<DWORD>(wideUrl.size()), 0, &parts))
        return {false, "The address is not a valid URL: " + describeWinHttpError(GetLastError())};
    if (parts.nScheme != INTERNET_SCHEME_HTTPS)
        return {false, "Unsupported protocol: only https is spoken"};
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    const std::wstring target = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                                std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);

    const Internet connection(WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
    if (!connection)
        return {false, describeWinHttpError(GetLastError())};
    Call call;
    call.shared = this;
    call.request =
        WinHttpOpenRequest(connection.get(), L"GET", target.c_str(), nullptr, WINHTTP_NO_REFERER,
                           WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE);
    if (!call.request)
        return {false, describeWinHttpError(GetLastError())};
    {
        std::lock_guard lock(mutex);
        if (abandoned) {
            WinHttpCloseHandle(call.request);
            return {false, "abandoned"};
        }
        running.insert(&call);
    }
    HINTERNET request = call.request;

    const int timeoutMs = static_cast<int>(timeout.count());
    DWORD neverRedirect = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &neverRedirect, sizeof neverRedirect);
    setRequestTimeouts(request, timeout);
    HANDLE timer = nullptr;
    CreateTimerQueueTimer(&timer, nullptr, &Call::deadline, &call, static_cast<DWORD>(timeoutMs), 0,
                          WT_EXECUTEONLYONCE);

    TransferResult result{true, {}};
    bool tooLarge = false;
    DWORD failure = 0;
    if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                            0, 0) ||
        !WinHttpReceiveResponse(request, nullptr)) {
        failure = GetLastError();
    } else {
        DWORD status = 0;
        DWORD size = sizeof status;
        if (WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                                WINHTTP_NO_HEADER_INDEX))
            result.status = static_cast<int>(status);
        // The whole body, whatever the status.
        for (;;) {
            char buffer[16 * 1024];
            DWORD read = 0;
            if (!WinHttpReadData(request, buffer, sizeof buffer, &read)) {
                failure = GetLastError();
                break;
            }
            if (read == 0)
                break;
            if (result.text.size() + read > kMaxReplyBytes) {
                tooLarge = true;
                break;
            }
            result.text.append(buffer, read);
        }
    }
    // Waits for a deadline callback that is running, so that `call` may go.
    if (timer)
        DeleteTimerQueueTimer(nullptr, timer, INVALID_HANDLE_VALUE);
    close(call);

    if (tooLarge)
        return {false, "The reply is larger than " + std::to_string(kMaxReplyBytes) +
                           " bytes; the transfer was stopped"};
    if (InterlockedCompareExchange(&call.timedOut, 0, 0))
        return {false, "Timeout was reached: no complete reply within " +
                           std::to_string(timeout.count()) + " ms"};
    if (failure != 0)
        return {false, describeWinHttpError(failure)};
    return result;
}

HttpsTransfer::HttpsTransfer(Completion completion, std::chrono::milliseconds timeout,
                             std::string caFile)
    : d(std::make_unique<Impl>())
{
    // Windows trusts the authorities of its certificate store; a shop with its own authority
    // installs it there. There is no file of extra authorities.
    (void)caFile;
    d->completion = std::move(completion);
    d->timeout = timeout;
}

HttpsTransfer::~HttpsTransfer()
{
    abandon();
}

void HttpsTransfer::start(RequestId id, std::string url)
{
    if (!d->shared) {
        auto shared = std::make_shared<Impl::Shared>();
        shared->completion = d->completion;
        shared->timeout = d->timeout;
        shared->session.reset(WinHttpOpen(L"TavixCallerID", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                          WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
        if (!shared->session) {
            d->completion(
                id, {false, "Cannot set up the transfer: " + describeWinHttpError(GetLastError())});
            return;
        }
        // Reused for the next requests, and no more at once than the threads.
        DWORD connections = static_cast<DWORD>(kMaxConnections);
        WinHttpSetOption(shared->session.get(), WINHTTP_OPTION_MAX_CONNS_PER_SERVER, &connections,
                         sizeof connections);
        d->shared = std::move(shared);
    }
    std::lock_guard lock(d->shared->mutex);
    d->shared->waiting.emplace_back(id, std::move(url));
    // A thread that finishes its request takes the next one; more start only up to the bound.
    Impl::Shared& shared = *d->shared;
    if (shared.threads < kMaxConnections && shared.threads - shared.busy < shared.waiting.size()) {
        ++shared.threads;
        std::thread(&Impl::Shared::work, d->shared).detach();
    }
}

void HttpsTransfer::Impl::Shared::work(std::shared_ptr<Shared> shared)
{
    for (;;) {
        std::pair<RequestId, std::string> next;
        {
            std::lock_guard lock(shared->mutex);
            if (shared->abandoned || shared->waiting.empty()) {
                --shared->threads;
                return;
            }
            next = std::move(shared->waiting.front());
            shared->waiting.pop_front();
            ++shared->busy;
        }
        TransferResult result = shared->fetch(next.second);
        std::lock_guard lock(shared->mutex);
        --shared->busy;
        if (!shared->abandoned)
            shared->completion(next.first, std::move(result));
    }
}

void HttpsTransfer::checkAuthorities() {}

void HttpsTransfer::abandon()
{
    if (!d->shared)
        return;
    {
        std::lock_guard lock(d->shared->mutex);
        d->shared->abandoned = true;
        for (Impl::Call* call : d->shared->running) {
            call->closed = true;
            WinHttpCloseHandle(call->request);
        }
        d->shared->running.clear();
        d->shared->waiting.clear();
    }
    // Threads still in a request keep their share; the next start() begins afresh.
    d->shared.reset();
}
