// Tavix CallerID: what the WinHTTP requests of the notifier and of the connection check share.
#include "notify/WinHttp_win.h"

#include "platform/WindowsErrorText.h"

std::string describeWinHttpError(DWORD code)
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

void setRequestTimeouts(HINTERNET request, std::chrono::milliseconds timeout)
{
    const int ms = static_cast<int>(timeout.count());
    WinHttpSetTimeouts(request, ms, ms, ms, ms);
    DWORD reply = static_cast<DWORD>(ms);
    WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &reply, sizeof reply);
}
