// Tavix CallerID: the connection check on WinHTTP, as HttpsTransfer_win.cpp sends a request.
#include "notify/ConnectionCheck.h"

#include "platform/WindowsErrorText.h"

#include <windows.h>

#include <wincrypt.h>
#include <winhttp.h>

#include <cstdio>
#include <utility>

namespace {

std::string describe(DWORD code)
{
    return windowsErrorText(code, GetModuleHandleW(L"winhttp.dll"));
}

std::wstring widened(const std::string& utf8)
{
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                        length);
    return wide;
}

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

struct InternetCloser
{
    void operator()(void* handle) const { WinHttpCloseHandle(handle); }
};
using Internet = std::unique_ptr<void, InternetCloser>;

// One check's request and what its status callbacks told; the callbacks may come from WinHTTP's
// own threads.
struct Probe
{
    std::mutex mutex;
    HINTERNET request = nullptr;          // by mutex
    bool closed = false;                  // by mutex
    bool timedOut = false;                // by mutex
    bool resolved = false;                // by mutex
    bool connected = false;               // by mutex
    std::string address;                  // by mutex: the server's IP address, once connected
    DWORD secureFailure = 0;              // by mutex: WINHTTP_CALLBACK_STATUS_FLAG_*
    PCCERT_CONTEXT certificate = nullptr; // by mutex

    ~Probe()
    {
        if (certificate)
            CertFreeCertificateContext(certificate);
    }

    // Ends a WinHTTP call blocked on the request in another thread; once only. Outside the
    // lock: a status callback may be waiting for it.
    void close()
    {
        HINTERNET closing = nullptr;
        {
            std::lock_guard lock(mutex);
            if (std::exchange(closed, true))
                return;
            closing = request;
        }
        WinHttpSetStatusCallback(closing, nullptr, 0, 0);
        WinHttpCloseHandle(closing);
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

    static void CALLBACK status(HINTERNET handle, DWORD_PTR context, DWORD code, void* information,
                                DWORD length)
    {
        auto* probe = reinterpret_cast<Probe*>(context);
        if (!probe)
            return;
        if (code == WINHTTP_CALLBACK_STATUS_SECURE_FAILURE ||
            code == WINHTTP_CALLBACK_STATUS_SENDING_REQUEST)
            probe->keepCertificate(handle);
        std::lock_guard lock(probe->mutex);
        if (code == WINHTTP_CALLBACK_STATUS_NAME_RESOLVED)
            probe->resolved = true;
        if (code == WINHTTP_CALLBACK_STATUS_CONNECTED_TO_SERVER) {
            probe->connected = true;
            probe->address = narrowed(static_cast<const wchar_t*>(information));
        }
        if (code == WINHTTP_CALLBACK_STATUS_SECURE_FAILURE && information &&
            length >= sizeof(DWORD))
            probe->secureFailure = *static_cast<const DWORD*>(information);
    }

    // At the time-out: WinHTTP's own time-outs bound each step, not the whole.
    static void CALLBACK deadline(void* self, BOOLEAN)
    {
        auto& probe = *static_cast<Probe*>(self);
        {
            std::lock_guard lock(probe.mutex);
            probe.timedOut = !probe.closed;
        }
        probe.close();
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

// Which step failed, in words, from WinHTTP's error and what its callbacks told.
std::string problemOf(DWORD failure, const Probe& probe, const std::string& host,
                      const std::string& port, const std::string& where,
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
    switch (failure) {
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
        return "the name " + host + " was not found.";
    case ERROR_WINHTTP_CANNOT_CONNECT:
        return "nothing is listening on port " + port + " of " + host +
               " (the connection was refused or not answered).";
    case ERROR_WINHTTP_SECURE_FAILURE:
        break;
    default:
        if (probe.connected)
            return where + " did not complete a secure (TLS) connection: " + describe(failure) +
                   ".";
        return describe(failure) + ".";
    }
    const DWORD flags = probe.secureFailure;
    PCCERT_CONTEXT certificate = probe.certificate;
    if (flags & WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA)
        return "the certificate's authority is not trusted: add it with the Windows certificate "
               "store (install the certificate of the authority that issued " +
               (certificate ? nameText(&certificate->pCertInfo->Issuer) : std::string("it")) +
               " under Trusted Root Certification Authorities).";
    if ((flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID) && certificate) {
        FILETIME now{};
        GetSystemTimeAsFileTime(&now);
        if (CompareFileTime(&certificate->pCertInfo->NotAfter, &now) < 0)
            return "the certificate expired on " + timeText(certificate->pCertInfo->NotAfter) + ".";
        return "the certificate is valid only from " + timeText(certificate->pCertInfo->NotBefore) +
               " (is this computer's clock right?).";
    }
    if (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID)
        return "the certificate is for " +
               (certificate ? namesOf(certificate) : std::string("another name")) + ", not for " +
               host + ".";
    if (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED)
        return "the certificate was revoked by its authority.";
    if (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_REV_FAILED)
        return "whether the certificate was revoked could not be checked.";
    return "the certificate was not accepted: " + describe(failure) + ".";
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
    ConnectionReport report;
    const std::wstring url =
        widened(target.url(QStringLiteral("/"), {}).toString(QUrl::FullyEncoded).toStdString());
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) {
        report.problem = "the address is not a valid URL: " + describe(GetLastError()) + ".";
        return report;
    }
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    const std::string hostText = target.host().toStdString();
    const std::string port = std::to_string(parts.nPort);

    const Internet session(WinHttpOpen(L"TavixCallerID", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    const Internet connection(session ? WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0)
                                      : nullptr);
    Probe probe;
    // HEAD "/": WinHTTP shows the certificate only to a request, and this one is never the
    // connector's page.
    probe.request =
        connection
            ? WinHttpOpenRequest(connection.get(), L"HEAD", L"/", nullptr, WINHTTP_NO_REFERER,
                                 WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE)
            : nullptr;
    if (!probe.request) {
        report.problem = "WinHTTP could not be set up: " + describe(GetLastError()) + ".";
        probe.closed = true;
        return report;
    }
    const int timeoutMs = static_cast<int>(timeout.count());
    DWORD neverRedirect = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    WinHttpSetOption(probe.request, WINHTTP_OPTION_REDIRECT_POLICY, &neverRedirect,
                     sizeof neverRedirect);
    WinHttpSetTimeouts(probe.request, timeoutMs, timeoutMs, timeoutMs, timeoutMs);
    WinHttpSetStatusCallback(
        probe.request, &Probe::status,
        WINHTTP_CALLBACK_FLAG_RESOLVE_NAME | WINHTTP_CALLBACK_FLAG_CONNECT_TO_SERVER |
            WINHTTP_CALLBACK_FLAG_SECURE_FAILURE | WINHTTP_CALLBACK_FLAG_SEND_REQUEST,
        0);
    HANDLE timer = nullptr;
    CreateTimerQueueTimer(&timer, nullptr, &Probe::deadline, &probe, static_cast<DWORD>(timeoutMs),
                          0, WT_EXECUTEONLYONCE);
    cancel.setWaker([&probe] { probe.close(); });
    DWORD failure = 0;
    if (cancel.cancelled())
        failure = ERROR_WINHTTP_OPERATION_CANCELLED;
    else if (!WinHttpSendRequest(probe.request, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                 WINHTTP_NO_REQUEST_DATA, 0, 0,
                                 reinterpret_cast<DWORD_PTR>(&probe)))
        failure = GetLastError();
    else
        probe.keepCertificate(probe.request);
    // Waits for a deadline callback that is running, so that `probe` may go.
    if (timer)
        DeleteTimerQueueTimer(nullptr, timer, INVALID_HANDLE_VALUE);
    cancel.setWaker({});
    probe.close();
    if (cancel.cancelled()) {
        report.problem = "the check was cancelled.";
        return report;
    }

    std::lock_guard lock(probe.mutex);
    if (probe.connected)
        report.address = (probe.address.empty() ? hostText : probe.address) + " port " + port;
    if (probe.certificate) {
        report.subject = nameText(&probe.certificate->pCertInfo->Subject);
        report.names = namesOf(probe.certificate);
        report.issuer = nameText(&probe.certificate->pCertInfo->Issuer);
        report.expiry = timeText(probe.certificate->pCertInfo->NotAfter);
    }
    report.ok = failure == 0;
    if (!report.ok)
        report.problem = problemOf(
            failure, probe, hostText, port,
            report.address.empty() ? hostText + " port " + port : report.address, timeout);
    return report;
}
