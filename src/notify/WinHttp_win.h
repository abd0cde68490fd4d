// Tavix CallerID: what the WinHTTP requests of the notifier and of the connection check share.
#pragma once

#include <windows.h>

#include <winhttp.h>

#include <chrono>
#include <memory>
#include <string>

// WinHTTP's error `code` in words; its own messages live in its module, the others in the
// system's.
std::string describeWinHttpError(DWORD code);

std::wstring widened(const std::string& utf8);

// Every wait of `request` bounded by `timeout`: resolving, connecting, sending, receiving, and
// the wait for the reply, which is also what bounds a TLS handshake that stalls under Wine.
void setRequestTimeouts(HINTERNET request, std::chrono::milliseconds timeout);

struct InternetCloser
{
    void operator()(void* handle) const { WinHttpCloseHandle(handle); }
};
using Internet = std::unique_ptr<void, InternetCloser>;
