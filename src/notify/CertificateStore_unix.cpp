// Tavix CallerID: the certificate authorities every HTTPS connection trusts, read once.
#include "notify/CertificateStore.h"

#include <curl/curl.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kSystemBundleFallback = "/etc/ssl/certs/ca-certificates.crt";

// Where libcurl, as built for this system, finds the system's authorities.
struct SystemAuthorities
{
    std::string bundle = kSystemBundleFallback;
    std::string folder;

    SystemAuthorities()
    {
        CURL* probe = curl_easy_init();
        const char* file = nullptr;
        const char* path = nullptr;
        if (probe && curl_easy_getinfo(probe, CURLINFO_CAINFO, &file) == CURLE_OK && file)
            bundle = file;
        if (probe && curl_easy_getinfo(probe, CURLINFO_CAPATH, &path) == CURLE_OK && path)
            folder = path;
        curl_easy_cleanup(probe);
    }
};

const SystemAuthorities& systemAuthorities()
{
    static const SystemAuthorities found;
    return found;
}

// What tells a changed file from the one read before: a replaced, rewritten or touched file
// differs in one of these.
std::string identity(const std::string& path)
{
    if (path.empty())
        return {};
    struct stat status
    {
    };
    if (stat(path.c_str(), &status) != 0)
        return "missing " + std::to_string(errno);
    return std::to_string(status.st_dev) + ':' + std::to_string(status.st_ino) + ':' +
           std::to_string(status.st_mode) + ':' + std::to_string(status.st_size) + ':' +
           std::to_string(status.st_mtim.tv_sec) + '.' + std::to_string(status.st_mtim.tv_nsec) +
           ':' + std::to_string(status.st_ctim.tv_sec) + '.' +
           std::to_string(status.st_ctim.tv_nsec);
}

// Empty when `contents` holds the file, otherwise why not. A FIFO, a device or a file without
// end is refused before a byte is read: opening does not wait for a writer, and only a regular
// file is read, at most to the cap.
std::string readRegularFile(const std::string& path, std::string& contents)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    std::string problem;
    struct stat status
    {
    };
    if (fstat(fd, &status) != 0)
        problem = std::strerror(errno);
    else if (S_ISDIR(status.st_mode))
        problem = "it is a folder, not a file";
    else if (!S_ISREG(status.st_mode))
        problem = "it is not a regular file (a FIFO, a device or a socket)";
    else if (static_cast<unsigned long long>(status.st_size) > CertificateStore::kMaxFileBytes)
        problem = "it is larger than 4 MiB, which no file of authorities is";
    char buffer[64 * 1024];
    while (problem.empty()) {
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            problem = std::strerror(errno);
        else if (count == 0)
            break;
        else if (contents.size() + static_cast<size_t>(count) > CertificateStore::kMaxFileBytes)
            problem = "it is larger than 4 MiB, which no file of authorities is";
        else
            contents.append(buffer, static_cast<size_t>(count));
    }
    close(fd);
    if (problem.empty() && contents.empty())
        problem = "it is empty";
    return problem;
}

// Adds the PEM certificates in `pem` to the store. Empty when there was at least one and all
// of them were read; otherwise why not. Text around the certificates is allowed, as in the
// system's bundle; a damaged certificate, or none, is not.
std::string addCertificates(X509_STORE* store, const std::string& pem)
{
    ERR_clear_error();
    BIO* input = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    if (!input)
        return "not enough memory to read it";
    STACK_OF(X509_INFO)* items = PEM_X509_INFO_read_bio(input, nullptr, nullptr, nullptr);
    BIO_free(input);
    if (!items) {
        const unsigned long error = ERR_get_error();
        const char* reason = ERR_reason_error_string(error);
        return std::string("it is not a file of certificates in PEM format (") +
               (reason ? reason : "unreadable") + ")";
    }
    int added = 0;
    for (int i = 0; i < sk_X509_INFO_num(items); ++i) {
        const X509_INFO* item = sk_X509_INFO_value(items, i);
        if (item->x509 && X509_STORE_add_cert(store, item->x509) == 1)
            ++added;
    }
    sk_X509_INFO_pop_free(items, X509_INFO_free);
    ERR_clear_error();
    if (added == 0)
        return "it holds no certificate in PEM format";
    return {};
}

std::mutex g_mutex;
std::string g_caFile;   // by g_mutex
std::string g_identity; // by g_mutex: of caFile and the system's bundle, when loaded
// By g_mutex. Never destroyed: OpenSSL cleans up at exit, and may do so before this would go.
auto* const g_current = new std::shared_ptr<const CertificateStore>;

} // namespace

std::shared_ptr<const CertificateStore> CertificateStore::current(const std::string& caFile)
{
    const std::string now = identity(caFile) + '|' + identity(systemAuthorities().bundle);
    std::lock_guard lock(g_mutex);
    if (!*g_current || g_caFile != caFile || g_identity != now) {
        *g_current = load(caFile);
        g_caFile = caFile;
        g_identity = now;
    }
    return *g_current;
}

std::shared_ptr<const CertificateStore> CertificateStore::load(const std::string& caFile)
{
    std::shared_ptr<CertificateStore> made(new CertificateStore);
    std::string extra;
    if (!caFile.empty()) {
        if (const std::string problem = readRegularFile(caFile, extra); !problem.empty()) {
            made->m_problem =
                "Cannot read the certificate authority file " + caFile + ": " + problem;
            return made;
        }
    }
    made->m_store = X509_STORE_new();
    if (!made->m_store) {
        made->m_problem = "Cannot set up the certificate authorities: not enough memory";
        return made;
    }
    if (!caFile.empty()) {
        if (const std::string problem = addCertificates(made->m_store, extra); !problem.empty()) {
            made->m_problem =
                "Cannot use the certificate authority file " + caFile + ": " + problem;
            return made;
        }
    }
    // Without a readable system bundle the shop's authorities still apply; the system's folder
    // of authorities, where libcurl has one, is looked up by name when a certificate needs it.
    const SystemAuthorities& system = systemAuthorities();
    X509_STORE_load_file(made->m_store, system.bundle.c_str());
    if (!system.folder.empty())
        X509_STORE_load_path(made->m_store, system.folder.c_str());
    ERR_clear_error();
    return made;
}

CertificateStore::~CertificateStore()
{
    X509_STORE_free(m_store);
}

void CertificateStore::applyTo(void* sslContext) const
{
    if (m_store)
        SSL_CTX_set1_cert_store(static_cast<SSL_CTX*>(sslContext), m_store);
}
