// Tavix CallerID: the connection check on libcurl, as HttpsTransfer_unix.cpp sets up a request.
#include "notify/ConnectionCheck.h"

#include "notify/CertificateStore.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include <arpa/inet.h>

namespace {

// What the handshake showed of the server's certificate; OpenSSL's verification fills it in.
struct Seen
{
    std::shared_ptr<const CertificateStore> authorities;
    X509* leaf = nullptr;
    X509* failedCertificate = nullptr;
    int verifyError = X509_V_OK;
    int failedDepth = 0;
    // TLS starts only on a connected socket; libcurl's connect time waits for TLS as well.
    bool handshakeStarted = false;

    ~Seen()
    {
        X509_free(leaf);
        X509_free(failedCertificate);
    }
};

int seenIndex()
{
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

Seen* seenOf(const SSL* ssl)
{
    return ssl ? static_cast<Seen*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), seenIndex()))
               : nullptr;
}

void noteHandshake(const SSL* ssl, int where, int)
{
    if (Seen* seen = seenOf(ssl); seen && (where & SSL_CB_HANDSHAKE_START))
        seen->handshakeStarted = true;
}

// Records, and changes nothing: OpenSSL's own verdict is returned as it came.
int recordVerification(int ok, X509_STORE_CTX* store)
{
    auto* ssl =
        static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    Seen* seen = seenOf(ssl);
    X509* certificate = X509_STORE_CTX_get_current_cert(store);
    if (!seen || !certificate)
        return ok;
    const int depth = X509_STORE_CTX_get_error_depth(store);
    if (depth == 0 && !seen->leaf && X509_up_ref(certificate) == 1)
        seen->leaf = certificate;
    if (!ok && seen->verifyError == X509_V_OK && X509_up_ref(certificate) == 1) {
        seen->verifyError = X509_STORE_CTX_get_error(store);
        seen->failedDepth = depth;
        seen->failedCertificate = certificate;
    }
    return ok;
}

// The same store of authorities as every request's, and a look at what is verified.
CURLcode prepareContext(CURL*, void* sslContext, void* data)
{
    auto* seen = static_cast<Seen*>(data);
    auto* context = static_cast<SSL_CTX*>(sslContext);
    seen->authorities->applyTo(context);
    SSL_CTX_set_ex_data(context, seenIndex(), seen);
    SSL_CTX_set_verify(context, SSL_CTX_get_verify_mode(context), &recordVerification);
    SSL_CTX_set_info_callback(context, &noteHandshake);
    return CURLE_OK;
}

std::string nameText(const X509_NAME* name)
{
    BIO* out = BIO_new(BIO_s_mem());
    if (!out)
        return {};
    X509_NAME_print_ex(out, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long size = BIO_get_mem_data(out, &data);
    std::string text(data, static_cast<size_t>(size > 0 ? size : 0));
    BIO_free(out);
    return text;
}

std::string timeText(const ASN1_TIME* time)
{
    std::tm parts{};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1)
        return "(unreadable)";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &parts);
    return text;
}

// The DNS names and addresses of the certificate's alternative names, else its common name.
std::string namesOf(X509* certificate)
{
    std::string names;
    const auto add = [&](const std::string& name) { names += (names.empty() ? "" : ", ") + name; };
    auto* alternatives = static_cast<GENERAL_NAMES*>(
        X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr));
    for (int i = 0; i < sk_GENERAL_NAME_num(alternatives); ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(alternatives, i);
        if (name->type == GEN_DNS) {
            const ASN1_IA5STRING* dns = name->d.dNSName;
            add(std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(dns)),
                            static_cast<size_t>(ASN1_STRING_length(dns))));
        } else if (name->type == GEN_IPADD) {
            const ASN1_OCTET_STRING* ip = name->d.iPAddress;
            char text[64] = {};
            const int family = ASN1_STRING_length(ip) == 16 ? AF_INET6 : AF_INET;
            if (inet_ntop(family, ASN1_STRING_get0_data(ip), text, sizeof text))
                add(text);
        }
    }
    GENERAL_NAMES_free(alternatives);
    if (names.empty()) {
        char common[256] = {};
        if (X509_NAME_get_text_by_NID(X509_get_subject_name(certificate), NID_commonName, common,
                                      sizeof common) > 0)
            names = common;
    }
    return names;
}

struct EasyCleanup
{
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct MultiCleanup
{
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};

// Which step failed, in words, from libcurl's code and what the handshake showed.
std::string problemOf(CURLcode code, CURL* easy, const Seen& seen, const std::string& host,
                      int port, const std::string& address, std::chrono::milliseconds timeout,
                      const char* details)
{
    const std::string portText = std::to_string(port > 0 ? port : 443);
    const bool connected = seen.handshakeStarted;
    curl_off_t resolved = 0;
    curl_easy_getinfo(easy, CURLINFO_NAMELOOKUP_TIME_T, &resolved);
    long systemError = 0;
    curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &systemError);
    const std::string where = address.empty() ? host + " port " + portText : address;

    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return "the name " + host + " was not found.";
    case CURLE_COULDNT_RESOLVE_PROXY:
        return "the name of the proxy server (from the environment's https_proxy) was not found.";
    case CURLE_COULDNT_CONNECT:
        if (systemError == ECONNREFUSED)
            return "nothing is listening on port " + portText + " of " + host +
                   " (the connection was refused).";
        if (systemError == ENETUNREACH || systemError == EHOSTUNREACH)
            return "there is no way through the network to " + host + " (" +
                   std::strerror(static_cast<int>(systemError)) + ").";
        return "the connection to " + where + " failed: " + details + ".";
    case CURLE_OPERATION_TIMEDOUT:
        if (connected)
            return where +
                   " accepted the connection but did not complete a secure (TLS) "
                   "connection within " +
                   timeoutInWords(timeout) + ".";
        if (resolved > 0 || !address.empty())
            return where + " did not answer the connection within " + timeoutInWords(timeout) + ".";
        return "the name " + host + " could not be looked up within " + timeoutInWords(timeout) +
               ".";
    case CURLE_PEER_FAILED_VERIFICATION:
        break;
    default:
        if (connected)
            return where + " did not complete a secure (TLS) connection: " + details + ".";
        return std::string(details) + ".";
    }

    // The certificate: its trust and dates as OpenSSL found them, else its names as libcurl did.
    const int error = seen.verifyError;
    const bool own = seen.failedDepth == 0;
    const std::string whose = own ? std::string("the certificate")
                                  : "the certificate of its authority " +
                                        nameText(X509_get_subject_name(seen.failedCertificate));
    switch (error) {
    case X509_V_OK:
        if (seen.leaf)
            return "the certificate is for " + namesOf(seen.leaf) + ", not for " + host + ".";
        return std::string("the certificate was not accepted: ") + details + ".";
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return whose + " expired on " + timeText(X509_get0_notAfter(seen.failedCertificate)) + ".";
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return whose + " is valid only from " +
               timeText(X509_get0_notBefore(seen.failedCertificate)) +
               " (is this computer's clock right?).";
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return "the certificate's authority is not trusted: add it with Settings, as a file of "
               "extra certificate authorities (the PEM file of the authority that issued " +
               nameText(X509_get_issuer_name(seen.failedCertificate)) + ").";
    default:
        return whose + " is not valid: " + X509_verify_cert_error_string(error) + ".";
    }
}

} // namespace

const bool kUsesCertificateStore = false;

std::string authorityFileProblem(const std::string& caFile)
{
    return caFile.empty() ? std::string() : CertificateStore::current(caFile)->problem();
}

ConnectionReport probeConnection(const ConnectorHost& target, const std::string& caFile,
                                 std::chrono::milliseconds timeout, CancelSignal& cancel)
{
    ConnectionReport report;
    static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
    const std::string host = target.host().toStdString();
    // "/" is only the address's form: with CURLOPT_CONNECT_ONLY nothing is requested.
    const std::string url =
        target.url(QStringLiteral("/"), {}).toString(QUrl::FullyEncoded).toStdString();
    Seen seen;
    seen.authorities = CertificateStore::current(caFile);
    if (!seen.authorities->problem().empty()) {
        report.problem = seen.authorities->problem() + ".";
        return report;
    }
    const std::unique_ptr<CURL, EasyCleanup> easy(initialised == CURLE_OK ? curl_easy_init()
                                                                          : nullptr);
    const std::unique_ptr<CURLM, MultiCleanup> multi(easy ? curl_multi_init() : nullptr);
    if (!multi) {
        report.problem = "libcurl could not be set up.";
        return report;
    }
    char details[CURL_ERROR_SIZE] = {};
    CURL* curl = easy.get();
    // As Session::configure sets up a caller's request, but for the page and its reply.
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, details);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout.count()));
    curl_easy_setopt(curl, CURLOPT_CAINFO, static_cast<const char*>(nullptr));
    curl_easy_setopt(curl, CURLOPT_CAPATH, static_cast<const char*>(nullptr));
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, &prepareContext);
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, &seen);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    if (curl_easy_setopt(curl, CURLOPT_CONNECT_ONLY, 1L) != CURLE_OK ||
        curl_multi_add_handle(multi.get(), curl) != CURLM_OK) {
        report.problem = "libcurl could not be set up.";
        return report;
    }

    cancel.setWaker([multi = multi.get()] { curl_multi_wakeup(multi); });
    CURLcode code = CURLE_OK;
    for (int running = 1; running && !cancel.cancelled();) {
        curl_multi_perform(multi.get(), &running);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi.get(), &left))
            if (message->msg == CURLMSG_DONE)
                code = message->data.result;
        if (running)
            curl_multi_poll(multi.get(), nullptr, 0, 1000, nullptr);
    }
    // No wake-up reaches the handle once it is going.
    cancel.setWaker({});
    if (cancel.cancelled()) {
        curl_multi_remove_handle(multi.get(), curl);
        report.problem = "the check was cancelled.";
        return report;
    }

    char* ip = nullptr;
    long port = 0;
    if (curl_easy_getinfo(curl, CURLINFO_PRIMARY_IP, &ip) == CURLE_OK && ip && *ip &&
        curl_easy_getinfo(curl, CURLINFO_PRIMARY_PORT, &port) == CURLE_OK && port > 0)
        report.address = std::string(ip) + " port " + std::to_string(port);
    if (seen.leaf) {
        report.subject = nameText(X509_get_subject_name(seen.leaf));
        report.names = namesOf(seen.leaf);
        report.issuer = nameText(X509_get_issuer_name(seen.leaf));
        report.expiry = timeText(X509_get0_notAfter(seen.leaf));
    }
    report.ok = code == CURLE_OK;
    if (!report.ok)
        report.problem = problemOf(code, curl, seen, host, target.port(), report.address, timeout,
                                   details[0] ? details : curl_easy_strerror(code));
    curl_multi_remove_handle(multi.get(), curl);
    return report;
}
