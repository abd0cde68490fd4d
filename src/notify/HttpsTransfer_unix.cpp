// Tavix CallerID: HTTPS GET requests on libcurl's multi interface, on a thread of their own.
#include "notify/HttpsTransfer.h"

#include <curl/curl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr const char* kSystemBundleFallback = "/etc/ssl/certs/ca-certificates.crt";
// How long the worker sleeps at most when nothing happens; a new request or abandon() wakes it.
constexpr int kIdleWaitMs = 1000;

// Empty when the file was read, otherwise why not.
std::string readWholeFile(const std::string& path, std::string& contents)
{
    const std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::fopen(path.c_str(), "rb"),
                                                                  &std::fclose);
    if (!file)
        return std::strerror(errno);
    char buffer[64 * 1024];
    for (size_t count; (count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0;)
        contents.append(buffer, count);
    if (std::ferror(file.get()))
        return std::strerror(errno);
    return {};
}

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

// One request while it runs; libcurl holds pointers to its buffers, so it never moves.
struct Request
{
    HttpsTransfer::RequestId id = 0;
    std::string url;
    EasyHandle easy;
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
        return {true, body};
    }
};

} // namespace

struct HttpsTransfer::Impl
{
    Completion completion;
    std::chrono::milliseconds timeout{};
    std::string caFile;

    std::mutex mutex;
    std::vector<std::pair<RequestId, std::string>> queued; // guarded by mutex
    bool stopping = false;                                 // guarded by mutex
    CURLM* multi = nullptr; // made by the first start(), freed by abandon()
    std::thread worker;

    // The worker's own state.
    std::string setupError;
    std::string caBundle; // the system's authorities and caFile's, when caFile is given
    std::map<CURL*, std::unique_ptr<Request>> running;

    void run();
    void prepare();
    void begin(RequestId id, std::string url);
    void finishDone();
    std::string configure(Request& request);
};

// CURLOPT_CAINFO would replace the system's authorities, so both go in as one bundle.
void HttpsTransfer::Impl::prepare()
{
    if (caFile.empty())
        return;
    std::string extra;
    std::string problem = readWholeFile(caFile, extra);
    if (problem.empty() && extra.empty())
        problem = "it is empty";
    if (!problem.empty()) {
        setupError = "Cannot read the certificate authority file " + caFile + ": " + problem;
        return;
    }
    const char* systemBundle = nullptr;
    const EasyHandle probe(curl_easy_init());
    if (!probe || curl_easy_getinfo(probe.get(), CURLINFO_CAINFO, &systemBundle) != CURLE_OK ||
        !systemBundle)
        systemBundle = kSystemBundleFallback;
    // Without a readable system bundle the extra authorities still apply; libcurl's CA folder,
    // where it has one, keeps the system's.
    readWholeFile(systemBundle, caBundle);
    caBundle.append("\n").append(extra);
}

// Empty when the handle is ready, otherwise why not.
std::string HttpsTransfer::Impl::configure(Request& request)
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
    set(CURLOPT_USERAGENT, "TavixCallerID", "user agent");
    set(CURLOPT_WRITEFUNCTION, &Request::receive, "reply handler");
    set(CURLOPT_WRITEDATA, &request, "reply handler");
    if (!caBundle.empty()) {
        // The bundle lives as long as the worker, longer than any handle.
        curl_blob blob{caBundle.data(), caBundle.size(), CURL_BLOB_NOCOPY};
        set(CURLOPT_CAINFO_BLOB, &blob, "certificate authorities");
    }
    set(CURLOPT_URL, request.url.c_str(), "address");
    set(CURLOPT_PRIVATE, &request, "request");
    return failure;
}

void HttpsTransfer::Impl::begin(RequestId id, std::string url)
{
    auto request = std::make_unique<Request>();
    request->id = id;
    request->url = std::move(url);
    request->easy.reset(curl_easy_init());
    std::string failure = setupError;
    if (failure.empty() && !request->easy)
        failure = "Cannot set up the transfer: libcurl could not create a handle";
    if (failure.empty())
        failure = configure(*request);
    if (failure.empty()) {
        if (const CURLMcode code = curl_multi_add_handle(multi, request->easy.get());
            code != CURLM_OK)
            failure = std::string("Cannot start the transfer: ") + curl_multi_strerror(code);
    }
    if (!failure.empty()) {
        completion(id, {false, failure});
        return;
    }
    CURL* key = request->easy.get();
    running.emplace(key, std::move(request));
}

void HttpsTransfer::Impl::finishDone()
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
        completion(request->id, request->result(message->data.result));
    }
}

void HttpsTransfer::Impl::run()
{
    prepare();
    for (;;) {
        std::vector<std::pair<RequestId, std::string>> batch;
        {
            std::lock_guard lock(mutex);
            if (stopping)
                break;
            batch.swap(queued);
        }
        for (auto& [id, url] : batch)
            begin(id, std::move(url));
        int stillRunning = 0;
        curl_multi_perform(multi, &stillRunning);
        finishDone();
        curl_multi_poll(multi, nullptr, 0, kIdleWaitMs, nullptr);
    }
    for (auto& [easy, request] : running)
        curl_multi_remove_handle(multi, easy);
    running.clear();
    caBundle.clear();
    setupError.clear();
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
    std::unique_lock lock(d->mutex);
    if (!d->worker.joinable()) {
        // Thread-safe since libcurl 7.84; a function-local static runs it once all the same.
        static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
        if (initialised == CURLE_OK)
            d->multi = curl_multi_init();
        if (!d->multi) {
            lock.unlock();
            d->completion(id, {false, std::string("Cannot initialise libcurl: ") +
                                          curl_easy_strerror(initialised)});
            return;
        }
        d->worker = std::thread([impl = d.get()] { impl->run(); });
    }
    d->queued.emplace_back(id, std::move(url));
    lock.unlock();
    curl_multi_wakeup(d->multi);
}

void HttpsTransfer::abandon()
{
    {
        std::lock_guard lock(d->mutex);
        if (!d->worker.joinable())
            return;
        d->stopping = true;
        d->queued.clear();
    }
    curl_multi_wakeup(d->multi);
    d->worker.join();
    curl_multi_cleanup(d->multi);
    d->multi = nullptr;
    std::lock_guard lock(d->mutex);
    d->stopping = false;
}
