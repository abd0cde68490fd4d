// Tavix CallerID: the connection check on WinHTTP, as HttpsTransfer_win.cpp sends a request.
#include "notify/ConnectionCheck.h"

// Winsock 2 before windows.h, which would bring the old one.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "notify/WinHttp_win.h"

#include <windows.h>

#include <wincrypt.h>
#include <winhttp.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <utility>

namespace {

std::string narrowed(const wchar_t* wide)
{
    if (!wide)
        return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1)
        return {};
    std::string text(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), length, nullptr, nullptr);
    text.resize(static_cast<size_t>(length - 1));
    return text;
}

// One HEAD "/" and what WinHTTP's callbacks told of it. The request runs asynchronously on
// WinHTTP's threads, so that a time-out or a cancel ends the check at once whatever WinHTTP
// still waits for (Wine's closes no socket under a blocked handshake); the callbacks share the
// probe until the request's handle is gone.
struct Probe
{
    std::mutex mutex;
    bool timedOut = false;                // by mutex
    bool resolved = false;                // by mutex
    bool connected = false;               // by mutex
    bool sent = false;                    // by mutex: the request went out, TLS done
    DWORD failure = 0;                    // by mutex: the request's error, once it ended so
    std::string address;                  // by mutex: the server's IP address, once connected
    std::string connecting;               // by mutex: the IP address a connection went to
    DWORD secureFailure = 0;              // by mutex: WINHTTP_CALLBACK_STATUS_FLAG_*
    PCCERT_CONTEXT certificate = nullptr; // by mutex
    // Set when the request is sent or failed, or on a cancel.
    HANDLE ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    Probe() = default;
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;
    ~Probe()
    {
        if (certificate)
            CertFreeCertificateContext(certificate);
        if (ended)
            CloseHandle(ended);
    }

    // The server's certificate, as the handshake left it on the request; the first one kept.
    void keepCertificate(HINTERNET handle)
    {
        PCCERT_CONTEXT context = nullptr;
        DWORD size = sizeof context;
        if (!WinHttpQueryOption(handle, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &context, &size) ||
            !context)
            return;
        std::lock_guard lock(mutex);
        if (certificate)
            CertFreeCertificateContext(context);
        else
            certificate = context;
    }

    // The request's context: a share of the probe, let go when WinHTTP closes the handle.
    using Share = std::shared_ptr<Probe>;

    static void CALLBACK status(HINTERNET handle, DWORD_PTR context, DWORD code, void* information,
                                DWORD length)
    {
        auto* share = reinterpret_cast<Share*>(context);
        if (!share)
            return;
        if (code == WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING) {
            delete share;
            return;
        }
        Probe& probe = **share;
        if (code == WINHTTP_CALLBACK_STATUS_SECURE_FAILURE ||
            code == WINHTTP_CALLBACK_STATUS_SENDING_REQUEST ||
            code == WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE)
            probe.keepCertificate(handle);
        std::lock_guard lock(probe.mutex);
        switch (code) {
        case WINHTTP_CALLBACK_STATUS_NAME_RESOLVED:
            probe.resolved = true;
            break;
        case WINHTTP_CALLBACK_STATUS_CONNECTING_TO_SERVER:
            probe.connecting = narrowed(static_cast<const wchar_t*>(information));
            break;
        case WINHTTP_CALLBACK_STATUS_CONNECTED_TO_SERVER:
            probe.connected = true;
            probe.address = narrowed(static_cast<const wchar_t*>(information));
            break;
        case WINHTTP_CALLBACK_STATUS_SECURE_FAILURE:
            if (information && length >= sizeof(DWORD))
                probe.secureFailure = *static_cast<const DWORD*>(information);
            break;
        case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
            probe.sent = true;
            SetEvent(probe.ended);
            break;
        case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
            probe.failure = static_cast<const WINHTTP_ASYNC_RESULT*>(information)->dwError;
            SetEvent(probe.ended);
            break;
        default:
            break;
        }
    }
};

std::string nameText(CERT_NAME_BLOB* name)
{
    wchar_t text[1024] = {};
    CertNameToStrW(X509_ASN_ENCODING, name, CERT_X500_NAME_STR | CERT_NAME_STR_REVERSE_FLAG, text,
                   1024);
    return narrowed(text);
}

std::string timeText(const FILETIME& time)
{
    SYSTEMTIME parts{};
    if (!FileTimeToSystemTime(&time, &parts))
        return "(unreadable)";
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u UTC", parts.wYear, parts.wMonth,
                  parts.wDay, parts.wHour, parts.wMinute);
    return text;
}

std::string namesOf(PCCERT_CONTEXT certificate)
{
    wchar_t name[512] = {};
    CertGetNameStringW(certificate, CERT_NAME_DNS_TYPE, 0, nullptr, name, 512);
    return narrowed(name);
}

// An error of the handshake or of the certificate: the diagnosis may tell which fault it was.
bool isSecureError(DWORD failure)
{
    switch (failure) {
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
        return true;
    default:
        return false;
    }
}

// The fault an error code names by itself, as WINHTTP_CALLBACK_STATUS_FLAG_* bits.
DWORD faultsOfError(DWORD failure)
{
    switch (failure) {
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
        return WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID;
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
        return WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID;
    case ERROR_WINHTTP_SECURE_INVALID_CA:
        return WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA;
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
        return WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED;
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
        return WINHTTP_CALLBACK_STATUS_FLAG_CERT_REV_FAILED;
    default:
        return 0;
    }
}

// What is wrong with the server's certificate, as WINHTTP_CALLBACK_STATUS_FLAG_* bits, judged
// with crypt32 as WinHTTP judges it: Wine's WinHTTP reports no such bits.
DWORD faultsOfCertificate(PCCERT_CONTEXT certificate, const std::wstring& host)
{
    DWORD faults = 0;
    if (CertVerifyTimeValidity(nullptr, certificate->pCertInfo) != 0)
        faults |= WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID;
    CERT_CHAIN_PARA chainPara{};
    chainPara.cbSize = sizeof chainPara;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &chainPara,
                                 0, nullptr, &chain) ||
        !chain)
        return faults;
    const DWORD trust = chain->TrustStatus.dwErrorStatus;
    if (trust & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN))
        faults |= WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA;
    if (trust & CERT_TRUST_IS_REVOKED)
        faults |= WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED;
    // The name alone: the other faults are ignored by this policy check.
    std::wstring serverName = host;
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.fdwChecks = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                    SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
    ssl.pwszServerName = serverName.data();
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_NOT_TIME_VALID_FLAGS |
                     CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG |
                     CERT_CHAIN_POLICY_IGNORE_WRONG_USAGE_FLAG;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status) &&
        status.dwError == static_cast<DWORD>(CERT_E_CN_NO_MATCH))
        faults |= WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID;
    CertFreeCertificateChain(chain);
    return faults;
}

// The certificate's fault in words, from `faults` (WINHTTP_CALLBACK_STATUS_FLAG_*).
std::string certificateProblem(DWORD failure, DWORD faults, PCCERT_CONTEXT certificate,
                               const std::string& host)
{
    if (faults & WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA)
        return "the certificate's authority is not trusted: add it with the Windows certificate "
               "store (install the certificate of the authority that issued " +
               (certificate ? nameText(&certificate->pCertInfo->Issuer) : std::string("it")) +
               " under Trusted Root Certification Authorities).";
    if ((faults & WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID) && certificate) {
        FILETIME now{};
        GetSystemTimeAsFileTime(&now);
        if (CompareFileTime(&certificate->pCertInfo->NotAfter, &now) < 0)
            return "the certificate expired on " + timeText(certificate->pCertInfo->NotAfter) + ".";
        return "the certificate is valid only from " + timeText(certificate->pCertInfo->NotBefore) +
               " (is this computer's clock right?).";
    }
    if (faults & WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID)
        return "the certificate is for " +
               (certificate ? namesOf(certificate) : std::string("another name")) + ", not for " +
               host + ".";
    if (faults & WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED)
        return "the certificate was revoked by its authority.";
    if (faults & WINHTTP_CALLBACK_STATUS_FLAG_CERT_REV_FAILED)
        return "whether the certificate was revoked could not be checked.";
    return "the certificate was not accepted: " + describeWinHttpError(failure) + ".";
}

// Which step failed, in words, from WinHTTP's error, what its callbacks told and the
// certificate's faults (WINHTTP_CALLBACK_STATUS_FLAG_*).
std::string problemOf(DWORD failure, DWORD faults, PCCERT_CONTEXT certificate, const Probe& probe,
                      const std::string& host, const std::string& port, const std::string& where,
                      std::chrono::milliseconds timeout)
{
    if (probe.timedOut || failure == ERROR_WINHTTP_TIMEOUT) {
        if (probe.connected)
            return where +
                   " accepted the connection but did not complete a secure (TLS) "
                   "connection within " +
                   timeoutInWords(timeout) + ".";
        if (probe.resolved)
            return where + " did not answer the connection within " + timeoutInWords(timeout) + ".";
        return "the name " + host + " could not be looked up within " + timeoutInWords(timeout) +
               ".";
    }
    if (faults)
        return certificateProblem(failure, faults, certificate, host);
    switch (failure) {
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
        return "the name " + host + " was not found.";
    case ERROR_WINHTTP_CANNOT_CONNECT:
        return "nothing is listening on port " + port + " of " + host +
               " (the connection was refused or not answered).";
    case ERROR_WINHTTP_SECURE_FAILURE:
        return certificateProblem(failure, 0, certificate, host);
    default:
        if (probe.connected)
            return where +
                   " did not complete a secure (TLS) connection: " + describeWinHttpError(failure) +
                   ".";
        return describeWinHttpError(failure) + ".";
    }
}

// How a HEAD "/" request went: whether WinHTTP opened it, and its error (0: sent).
struct Sent
{
    bool opened = false;
    DWORD failure = 0;
};

// Sends HEAD "/" on a new request of `connection` (of an asynchronous session) with
// `securityFlags`, waiting at most `timeout` and no longer once cancelled; `probe` keeps what
// the callbacks told and the server's certificate.
Sent sendHead(HINTERNET connection, DWORD securityFlags, std::chrono::milliseconds timeout,
              CancelSignal& cancel, const std::shared_ptr<Probe>& probe)
{
    // HEAD "/": WinHTTP shows the certificate only to a request, and this one is never the
    // connector's page.
    const HINTERNET request =
        WinHttpOpenRequest(connection, L"HEAD", L"/", nullptr, WINHTTP_NO_REFERER,
                           WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE);
    if (!request || !probe->ended) {
        const DWORD failure = GetLastError();
        if (request)
            WinHttpCloseHandle(request);
        return {false, failure};
    }
    // From here the handle owns a share of the probe, let go at its closing.
    auto* share = new Probe::Share(probe);
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(share);
    if (!WinHttpSetOption(request, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context) ||
        WinHttpSetStatusCallback(
            request, &Probe::status,
            WINHTTP_CALLBACK_FLAG_RESOLVE_NAME | WINHTTP_CALLBACK_FLAG_CONNECT_TO_SERVER |
                WINHTTP_CALLBACK_FLAG_SECURE_FAILURE | WINHTTP_CALLBACK_FLAG_SEND_REQUEST |
                WINHTTP_CALLBACK_FLAG_SENDREQUEST_COMPLETE | WINHTTP_CALLBACK_FLAG_REQUEST_ERROR |
                WINHTTP_CALLBACK_FLAG_HANDLES,
            0) == WINHTTP_INVALID_STATUS_CALLBACK) {
        // No callback was set to let the share go.
        const DWORD failure = GetLastError();
        WinHttpCloseHandle(request);
        delete share;
        return {false, failure};
    }
    if (securityFlags && !WinHttpSetOption(request, WINHTTP_OPTION_SECURITY_FLAGS, &securityFlags,
                                           sizeof securityFlags)) {
        const DWORD failure = GetLastError();
        WinHttpCloseHandle(request);
        return {true, failure};
    }
    DWORD neverRedirect = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &neverRedirect, sizeof neverRedirect);
    // No Windows login is offered to the server, least of all to one not verified.
    DWORD noLogin = WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH;
    WinHttpSetOption(request, WINHTTP_OPTION_AUTOLOGON_POLICY, &noLogin, sizeof noLogin);
    setRequestTimeouts(request, timeout);

    cancel.setWaker([ended = probe->ended] { SetEvent(ended); });
    DWORD failure = 0;
    if (cancel.cancelled()) {
        failure = ERROR_WINHTTP_OPERATION_CANCELLED;
    } else if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                   WINHTTP_NO_REQUEST_DATA, 0, 0, context)) {
        failure = GetLastError();
    } else if (WaitForSingleObject(probe->ended, static_cast<DWORD>(timeout.count())) ==
               WAIT_TIMEOUT) {
        std::lock_guard lock(probe->mutex);
        probe->timedOut = true;
    }
    cancel.setWaker({});
    // The check goes on (or ends) now; WinHTTP lets the request go in its own time.
    WinHttpCloseHandle(request);
    std::lock_guard lock(probe->mutex);
    if (cancel.cancelled())
        failure = ERROR_WINHTTP_OPERATION_CANCELLED;
    else if (failure == 0 && probe->timedOut)
        failure = ERROR_WINHTTP_TIMEOUT;
    else if (failure == 0 && !probe->sent)
        failure = probe->failure;
    return {true, failure};
}

// Whether `address` (numeric) accepts a TCP connection on `port` within a moment; nothing is
// sent. Wine's WinHTTP tells of the connection only once TLS is done, so a time-out alone does
// not say whether the server answered.
bool acceptsConnections(const std::string& address, INTERNET_PORT port)
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return false;
    bool accepted = false;
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) == 0) {
        const SOCKET socket = ::socket(found->ai_family, SOCK_STREAM, IPPROTO_TCP);
        u_long nonBlocking = 1;
        if (socket != INVALID_SOCKET && ioctlsocket(socket, FIONBIO, &nonBlocking) == 0) {
            connect(socket, found->ai_addr, static_cast<int>(found->ai_addrlen));
            fd_set writable, failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(socket, &writable);
            FD_SET(socket, &failed);
            timeval moment{0, 300 * 1000};
            accepted = select(0, nullptr, &writable, &failed, &moment) > 0 &&
                       FD_ISSET(socket, &writable) && !FD_ISSET(socket, &failed);
        }
        if (socket != INVALID_SOCKET)
            closesocket(socket);
        freeaddrinfo(found);
    }
    WSACleanup();
    return accepted;
}

} // namespace

const bool kUsesCertificateStore = true;

std::string authorityFileProblem(const std::string&)
{
    return {};
}

ConnectionReport probeConnection(const ConnectorHost& target, const std::string& caFile,
                                 std::chrono::milliseconds timeout, CancelSignal& cancel)
{
    // Windows trusts its certificate store; there is no file of extra authorities.
    (void)caFile;
    const auto started = std::chrono::steady_clock::now();
    ConnectionReport report;
    const std::wstring url =
        widened(target.url(QStringLiteral("/"), {}).toString(QUrl::FullyEncoded).toStdString());
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) {
        report.problem =
            "the address is not a valid URL: " + describeWinHttpError(GetLastError()) + ".";
        return report;
    }
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    const std::string hostText = target.host().toStdString();
    const std::string port = std::to_string(parts.nPort);

    // Asynchronous: the check waits for WinHTTP only as long as it wants to (sendHead).
    const Internet session(WinHttpOpen(L"TavixCallerID", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS,
                                       WINHTTP_FLAG_ASYNC));
    const Internet connection(session ? WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0)
                                      : nullptr);
    if (!connection) {
        report.problem =
            "WinHTTP could not be set up: " + describeWinHttpError(GetLastError()) + ".";
        return report;
    }
    const auto probe = std::make_shared<Probe>();
    const Sent sent = sendHead(connection.get(), 0, timeout, cancel, probe);
    if (!sent.opened) {
        report.problem = "WinHTTP could not be set up: " + describeWinHttpError(sent.failure) + ".";
        return report;
    }
    if (cancel.cancelled()) {
        report.problem = "the check was cancelled.";
        return report;
    }

    // Outside the lock: a late callback must not wait for the plain connection.
    std::string connecting;
    {
        std::lock_guard lock(probe->mutex);
        if (probe->timedOut && !probe->connected)
            connecting = probe->connecting;
    }
    if (!connecting.empty() && acceptsConnections(connecting, parts.nPort)) {
        std::lock_guard lock(probe->mutex);
        probe->connected = true;
        probe->address = connecting;
    }

    // Where the handshake failed, the same HEAD "/" once more, ignoring the certificate's
    // faults, shows the certificate for its faults to be told; it is for the diagnosis only.
    const auto diagnosis = std::make_shared<Probe>();
    DWORD faults = 0;
    bool timedOut = false;
    {
        std::lock_guard lock(probe->mutex);
        faults = probe->secureFailure;
        timedOut = probe->timedOut;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        timeout - (std::chrono::steady_clock::now() - started));
    if (isSecureError(sent.failure) && !timedOut && left.count() > 0) {
        const DWORD ignoring = SECURITY_FLAG_IGNORE_UNKNOWN_CA |
                               SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                               SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
        const Sent retried = sendHead(connection.get(), ignoring, left, cancel, diagnosis);
        if (cancel.cancelled()) {
            report.problem = "the check was cancelled.";
            return report;
        }
        std::lock_guard lock(diagnosis->mutex);
        if (retried.opened && retried.failure == 0 && diagnosis->certificate)
            faults |= faultsOfCertificate(diagnosis->certificate, host);
    }
    if (!faults)
        faults = faultsOfError(sent.failure);

    std::scoped_lock lock(probe->mutex, diagnosis->mutex);
    const PCCERT_CONTEXT certificate =
        probe->certificate ? probe->certificate : diagnosis->certificate;
    if (probe->connected)
        report.address = (probe->address.empty() ? hostText : probe->address) + " port " + port;
    if (certificate) {
        report.subject = nameText(&certificate->pCertInfo->Subject);
        report.names = namesOf(certificate);
        report.issuer = nameText(&certificate->pCertInfo->Issuer);
        report.expiry = timeText(certificate->pCertInfo->NotAfter);
    }
    report.ok = sent.failure == 0;
    if (!report.ok)
        report.problem = problemOf(
            sent.failure, faults, certificate, *probe, hostText, port,
            report.address.empty() ? hostText + " port " + port : report.address, timeout);
    return report;
}
