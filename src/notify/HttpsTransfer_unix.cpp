// Tavix CallerID: HTTPS GET requests on libcurl's multi interface, on a thread of their own.
#include "notify/HttpsTransfer.h"

#include "notify/CertificateStore.h"

#include <curl/curl.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace {

using namespace std::chrono_literals;

// How long the worker sleeps at most when nothing happens; a new request or abandon() wakes it.
constexpr auto kIdleWait = 1000ms;
// Connections left idle this long are closed: a shop's calls come in bursts, hours apart.
constexpr auto kIdleConnectionLimit = 30s;
// How long abandon() waits for the worker to finish before leaving it to itself.
constexpr auto kStopWait = 200ms;

void replaceAll(std::string& text, const std::string& what, const std::string& with)
{
    if (what.empty())
        return;
    for (size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
}

// libcurl's messages name hosts and ports, not URLs; this keeps it so should one ever quote
// the URL, which holds the password.
std::string withoutUrl(std::string description, const std::string& url)
{
    replaceAll(description, url, "[URL]");
    if (const size_t query = url.find('?'); query != std::string::npos)
        replaceAll(description, url.substr(query + 1), "[query]");
    return description;
}

struct EasyCleanup
{
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;

// Every connection trusts the one shared store instead of reading the authorities itself.
CURLcode trustStore(CURL*, void* sslContext, void* store)
{
    static_cast<const CertificateStore*>(store)->applyTo(sslContext);
    return CURLE_OK;
}

// One request while it runs; libcurl holds pointers to its buffers, so it never moves.
struct Request
{
    HttpsTransfer::RequestId id = 0;
    std::string url;
    EasyHandle easy;
    std::shared_ptr<const CertificateStore> authorities; // as long as the handle
    char errorBuffer[CURL_ERROR_SIZE] = {};
    std::string body;
    bool bodyTooLarge = false;

    static size_t receive(char* data, size_t size, size_t count, void* self)
    {
        auto& request = *static_cast<Request*>(self);
        const size_t bytes = size * count;
        if (request.body.size() + bytes > kMaxReplyBytes) {
            request.bodyTooLarge = true;
            return CURL_WRITEFUNC_ERROR;
        }
        request.body.append(data, bytes);
        return bytes;
    }

    TransferResult result(CURLcode code) const
    {
        if (bodyTooLarge)
            return {false, "The reply is larger than " + std::to_string(kMaxReplyBytes) +
                               " bytes; the transfer was stopped"};
        if (code != CURLE_OK) {
            std::string description = curl_easy_strerror(code);
            if (errorBuffer[0] != '\0')
                description.append(": ").append(errorBuffer);
            return {false, withoutUrl(std::move(description), url)};
        }
        long status = 0;
        curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
        return {true, body, static_cast<int>(status)};
    }
};

// What the object and its worker share. The worker holds its own reference, so that a worker
// that abandon() does not wait for (stuck in the system) finds it intact whenever it goes on.
struct Session
{
    HttpsTransfer::Completion completion;
    std::chrono::milliseconds timeout{};
    std::string caFile;

    std::mutex mutex;
    std::condition_variable ended;
    std::deque<std::pair<HttpsTransfer::RequestId, std::string>> incoming; // by mutex
    bool checkAuthorities = false;                                         // by mutex
    bool stopping = false;                                                 // by mutex
    bool finished = false;                                                 // by mutex
    CURLM* multi = nullptr; // by mutex, for waking the worker; otherwise the worker's

    // The worker's own state.
    std::deque<std::pair<HttpsTransfer::RequestId, std::string>> waiting;
    std::map<CURL*, std::unique_ptr<Request>> running;
    std::shared_ptr<const CertificateStore> authorities;
    std::string reportedProblem;
    std::chrono::steady_clock::time_point idleSince = std::chrono::steady_clock::now();

    void run();
    // Calls the completion unless the session was abandoned meanwhile.
    void deliver(HttpsTransfer::RequestId id, TransferResult result);
    bool refreshAuthorities();
    void begin(HttpsTransfer::RequestId id, std::string url);
    void finishDone();
    void closeIdleConnections();
    std::string configure(Request& request);
    static CURLM* newMulti();
};

} // namespace

struct HttpsTransfer::Impl
{
    HttpsTransfer::Completion completion;
    std::chrono::milliseconds timeout{};
    std::string caFile;
    std::shared_ptr<Session> session; // from the first start() to abandon()
    std::thread worker;

    // False, having reported why, when libcurl cannot be set up.
    bool ensureWorker(RequestId id);
};

CURLM* Session::newMulti()
{
    CURLM* multi = curl_multi_init();
    // Idle connections kept for the next requests: no more than may be open at once.
    if (multi)
        curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, static_cast<long>(kMaxConnections));
    return multi;
}

void Session::deliver(HttpsTransfer::RequestId id, TransferResult result)
{
    std::lock_guard lock(mutex);
    if (!stopping)
        completion(id, std::move(result));
}

// False when the authorities cannot be used; the reason is then in authorities->problem().
bool Session::refreshAuthorities()
{
    authorities = CertificateStore::current(caFile);
    return authorities->problem().empty();
}

// Empty when the handle is ready, otherwise why not.
std::string Session::configure(Request& request)
{
    CURL* curl = request.easy.get();
    std::string failure;
    const auto set = [&](CURLoption option, auto value, const char* what) {
        if (failure.empty())
            if (const CURLcode code = curl_easy_setopt(curl, option, value); code != CURLE_OK)
                failure = std::string("Cannot set up the transfer (") + what +
                          "): " + curl_easy_strerror(code);
    };
    set(CURLOPT_ERRORBUFFER, request.errorBuffer, "error buffer");
    set(CURLOPT_NOSIGNAL, 1L, "no signals");
    // Dropping a request must not wait for its name lookup to end.
    set(CURLOPT_QUICK_EXIT, 1L, "quick exit");
    set(CURLOPT_PROTOCOLS_STR, "https", "https only");
    set(CURLOPT_FOLLOWLOCATION, 0L, "no redirects");
    set(CURLOPT_SSL_VERIFYPEER, 1L, "peer verification");
    set(CURLOPT_SSL_VERIFYHOST, 2L, "host verification");
    set(CURLOPT_TIMEOUT_MS, static_cast<long>(timeout.count()), "time-out");
    set(CURLOPT_MAXAGE_CONN, static_cast<long>(kIdleConnectionLimit.count()), "connection age");
    set(CURLOPT_USERAGENT, "TavixCallerID", "user agent");
    set(CURLOPT_WRITEFUNCTION, &Request::receive, "reply handler");
    set(CURLOPT_WRITEDATA, &request, "reply handler");
    // The shared store instead of libcurl's own reading of the files for each connection.
    set(CURLOPT_CAINFO, static_cast<const char*>(nullptr), "certificate authorities");
    set(CURLOPT_CAPATH, static_cast<const char*>(nullptr), "certificate authorities");
    set(CURLOPT_SSL_CTX_FUNCTION, &trustStore, "certificate authorities");
    set(CURLOPT_SSL_CTX_DATA, const_cast<CertificateStore*>(request.authorities.get()),
        "certificate authorities");
    set(CURLOPT_URL, request.url.c_str(), "address");
    set(CURLOPT_PRIVATE, &request, "request");
    return failure;
}

void Session::begin(HttpsTransfer::RequestId id, std::string url)
{
    auto request = std::make_unique<Request>();
    request->id = id;
    request->url = std::move(url);
    request->authorities = authorities;
    request->easy.reset(curl_easy_init());
    std::string failure;
    if (!request->easy)
        failure = "Cannot set up the transfer: libcurl could not create a handle";
    if (failure.empty())
        failure = configure(*request);
    if (failure.empty()) {
        if (const CURLMcode code = curl_multi_add_handle(multi, request->easy.get());
            code != CURLM_OK)
            failure = std::string("Cannot start the transfer: ") + curl_multi_strerror(code);
    }
    if (!failure.empty()) {
        deliver(id, {false, failure});
        return;
    }
    CURL* key = request->easy.get();
    running.emplace(key, std::move(request));
}

void Session::finishDone()
{
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        const auto found = running.find(message->easy_handle);
        if (found == running.end())
            continue;
        const std::unique_ptr<Request> request = std::move(found->second);
        running.erase(found);
        curl_multi_remove_handle(multi, request->easy.get());
        deliver(request->id, request->result(message->data.result));
    }
}

// A new multi handle holds no connection; the old one closes its own.
void Session::closeIdleConnections()
{
    CURLM* fresh = newMulti();
    if (!fresh)
        return;
    CURLM* old = nullptr;
    {
        std::lock_guard lock(mutex);
        old = std::exchange(multi, fresh);
    }
    curl_multi_cleanup(old);
}

void Session::run()
{
    bool connectionsOpen = false;
    for (;;) {
        bool check = false;
        {
            std::lock_guard lock(mutex);
            if (stopping)
                break;
            check = std::exchange(checkAuthorities, false);
            while (!incoming.empty()) {
                waiting.push_back(std::move(incoming.front()));
                incoming.pop_front();
            }
        }
        if (check && !refreshAuthorities() && reportedProblem != authorities->problem()) {
            reportedProblem = authorities->problem();
            deliver(0, {false, reportedProblem, 0, true});
        }
        // A request waits for a free connection; its time-out starts when it gets one.
        if (!waiting.empty() && running.size() < kMaxConnections) {
            if (!refreshAuthorities()) {
                for (const auto& [id, url] : waiting)
                    deliver(id, {false, authorities->problem(), 0, true});
                waiting.clear();
            }
            while (!waiting.empty() && running.size() < kMaxConnections) {
                begin(waiting.front().first, std::move(waiting.front().second));
                waiting.pop_front();
                connectionsOpen = true;
            }
        }
        int stillRunning = 0;
        curl_multi_perform(multi, &stillRunning);
        finishDone();
        // A connection just freed goes to the next waiting request at once.
        if (!waiting.empty() && running.size() < kMaxConnections)
            continue;

        const auto now = std::chrono::steady_clock::now();
        auto wait = kIdleWait;
        if (!running.empty() || !waiting.empty()) {
            idleSince = now;
        } else if (connectionsOpen && now - idleSince >= kIdleConnectionLimit) {
            closeIdleConnections();
            connectionsOpen = false;
        } else if (connectionsOpen) {
            wait = std::min(wait, std::chrono::duration_cast<std::chrono::milliseconds>(
                                      kIdleConnectionLimit - (now - idleSince)) +
                                      1ms);
        }
        curl_multi_poll(multi, nullptr, 0, static_cast<int>(wait.count()), nullptr);
    }
    for (auto& [easy, request] : running)
        curl_multi_remove_handle(multi, easy);
    running.clear();
    waiting.clear();
    CURLM* last = nullptr;
    {
        std::lock_guard lock(mutex);
        last = std::exchange(multi, nullptr);
    }
    curl_multi_cleanup(last);
    authorities.reset();
    std::lock_guard lock(mutex);
    finished = true;
    ended.notify_all();
}

bool HttpsTransfer::Impl::ensureWorker(RequestId id)
{
    if (session)
        return true;
    // Thread-safe since libcurl 7.84; a function-local static runs it once all the same.
    static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
    auto made = std::make_shared<Session>();
    made->completion = completion;
    made->timeout = timeout;
    made->caFile = caFile;
    if (initialised == CURLE_OK)
        made->multi = Session::newMulti();
    if (!made->multi) {
        if (id != 0)
            completion(id, {false, std::string("Cannot initialise libcurl: ") +
                                       curl_easy_strerror(initialised)});
        return false;
    }
    session = std::move(made);
    worker = std::thread([session = session] { session->run(); });
    return true;
}

HttpsTransfer::HttpsTransfer(Completion completion, std::chrono::milliseconds timeout,
                             std::string caFile)
    : d(std::make_unique<Impl>())
{
    d->completion = std::move(completion);
    d->timeout = timeout;
    d->caFile = std::move(caFile);
}

HttpsTransfer::~HttpsTransfer()
{
    abandon();
}

void HttpsTransfer::start(RequestId id, std::string url)
{
    if (!d->ensureWorker(id))
        return;
    std::lock_guard lock(d->session->mutex);
    d->session->incoming.emplace_back(id, std::move(url));
    curl_multi_wakeup(d->session->multi);
}

void HttpsTransfer::checkAuthorities()
{
    if (d->caFile.empty() || !d->ensureWorker(0))
        return;
    std::lock_guard lock(d->session->mutex);
    d->session->checkAuthorities = true;
    curl_multi_wakeup(d->session->multi);
}

void HttpsTransfer::abandon()
{
    const std::shared_ptr<Session> session = std::move(d->session);
    if (!session)
        return;
    std::unique_lock lock(session->mutex);
    session->stopping = true;
    session->incoming.clear();
    if (session->multi)
        curl_multi_wakeup(session->multi);
    // A worker stuck in the system (a file on a hung network mount) is left to end by itself:
    // closing the program must not wait for it, and it reports nothing once stopping is set.
    const bool finished =
        session->ended.wait_for(lock, kStopWait, [&] { return session->finished; });
    lock.unlock();
    if (finished)
        d->worker.join();
    else
        d->worker.detach();
}
