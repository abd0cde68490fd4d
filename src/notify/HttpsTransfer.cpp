// Tavix CallerID: one synchronous HTTPS GET at a time over libcurl.
#include "notify/HttpsTransfer.h"

#include <curl/curl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

constexpr const char* kSystemBundleFallback = "/etc/ssl/certs/ca-certificates.crt";

void initialiseCurlOnce()
{
    // A function-local static is initialised exactly once, even with several threads.
    static const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (result != CURLE_OK)
        throw TransferError(std::string("Cannot initialise libcurl: ") +
                            curl_easy_strerror(result));
}

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

} // namespace

struct HttpsTransfer::Impl {
    struct CurlCleanup {
        void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
    };

    std::unique_ptr<CURL, CurlCleanup> curl;
    // Why the handle cannot be used; reported by every OpenURL.
    std::string setupError;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    std::string body;
    bool bodyTooLarge = false;

    template <typename Value> void set(CURLoption option, Value value, const char* what)
    {
        if (!setupError.empty())
            return;
        if (const CURLcode result = curl_easy_setopt(curl.get(), option, value); result != CURLE_OK)
            setupError = std::string("Cannot set up the transfer (") + what +
                         "): " + curl_easy_strerror(result);
    }

    std::chrono::milliseconds timeout{};
    std::string caFile;
    bool isSetUp = false;

    void setUp();
    void trustAlso(const std::string& caFile);

    static size_t receive(char* data, size_t size, size_t count, void* self);
};

size_t HttpsTransfer::Impl::receive(char* data, size_t size, size_t count, void* self)
{
    auto& impl = *static_cast<Impl*>(self);
    const size_t bytes = size * count;
    if (impl.body.size() + bytes > kMaxReplyBytes) {
        impl.bodyTooLarge = true;
        return CURL_WRITEFUNC_ERROR;
    }
    impl.body.append(data, bytes);
    return bytes;
}

// CURLOPT_CAINFO would replace the system's authorities, so both go in as one bundle.
void HttpsTransfer::Impl::trustAlso(const std::string& caFile)
{
    std::string extra;
    std::string problem = readWholeFile(caFile, extra);
    if (problem.empty() && extra.empty())
        problem = "it is empty";
    if (!problem.empty()) {
        setupError = "Cannot read the certificate authority file " + caFile + ": " + problem;
        return;
    }
    const char* systemBundle = nullptr;
    if (curl_easy_getinfo(curl.get(), CURLINFO_CAINFO, &systemBundle) != CURLE_OK || !systemBundle)
        systemBundle = kSystemBundleFallback;
    std::string bundle;
    // Without a readable system bundle the extra authorities still apply; libcurl's CA folder,
    // where it has one, keeps the system's.
    readWholeFile(systemBundle, bundle);
    bundle.append("\n").append(extra);

    curl_blob blob{bundle.data(), bundle.size(), CURL_BLOB_COPY};
    set(CURLOPT_CAINFO_BLOB, &blob, "certificate authorities");
}

HttpsTransfer::HttpsTransfer(std::chrono::milliseconds timeout, std::string caFile)
    : d(std::make_unique<Impl>())
{
    d->timeout = timeout;
    d->caFile = std::move(caFile);
}

// libcurl and its TLS library are set up at the first request, not at start-up: most of the
// day passes without a call.
void HttpsTransfer::Impl::setUp()
{
    initialiseCurlOnce();
    curl.reset(curl_easy_init());
    if (!curl) {
        setupError = "Cannot set up the transfer: libcurl could not create a handle";
        return;
    }
    set(CURLOPT_ERRORBUFFER, errorBuffer, "error buffer");
    // No SIGALRM for name-lookup time-outs: this thread is the user interface.
    set(CURLOPT_NOSIGNAL, 1L, "no signals");
    set(CURLOPT_PROTOCOLS_STR, "https", "https only");
    set(CURLOPT_FOLLOWLOCATION, 0L, "no redirects");
    set(CURLOPT_SSL_VERIFYPEER, 1L, "peer verification");
    set(CURLOPT_SSL_VERIFYHOST, 2L, "host verification");
    set(CURLOPT_TIMEOUT_MS, static_cast<long>(timeout.count()), "time-out");
    set(CURLOPT_USERAGENT, "TavixCallerID", "user agent");
    set(CURLOPT_WRITEFUNCTION, &Impl::receive, "reply handler");
    set(CURLOPT_WRITEDATA, this, "reply handler");
    if (!caFile.empty() && setupError.empty())
        trustAlso(caFile);
}

HttpsTransfer::~HttpsTransfer() = default;

std::string HttpsTransfer::OpenURL(const std::string& url)
{
    if (!std::exchange(d->isSetUp, true))
        d->setUp();
    if (!d->setupError.empty())
        throw TransferError(d->setupError);

    d->body.clear();
    d->bodyTooLarge = false;
    d->errorBuffer[0] = '\0';
    CURLcode result = curl_easy_setopt(d->curl.get(), CURLOPT_URL, url.c_str());
    if (result == CURLE_OK)
        result = curl_easy_perform(d->curl.get());

    std::string body = std::exchange(d->body, {});
    if (d->bodyTooLarge)
        throw TransferError("The reply is larger than " + std::to_string(kMaxReplyBytes) +
                            " bytes; the transfer was stopped");
    if (result != CURLE_OK) {
        std::string description = curl_easy_strerror(result);
        if (d->errorBuffer[0] != '\0')
            description.append(": ").append(d->errorBuffer);
        throw TransferError(withoutUrl(std::move(description), url));
    }
    return body;
}
