// Tavix CallerID: whole appends to the log file on Windows, with one WriteFile each.
#include "log/LogFile.h"

#include "device/WindowsErrorText.h"
#include "log/ActivityLog.h"
#include "log/UserFolders.h"

#include <windows.h>

#include <string>

namespace {

constexpr const wchar_t* kSharedLogFile = L"C:\\tavix.log";

[[noreturn]] void fail(const std::filesystem::path& file, const std::string& reason)
{
    throw LogError("Cannot write the log file " + file.string() + ": " + reason);
}

class Handle
{
public:
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    ~Handle()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return m_handle; }
    bool release()
    {
        const bool closed = CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE m_handle;
};

HANDLE openForAppending(const std::filesystem::path& file)
{
    // Others may read the log between entries, and even rename or delete it.
    return CreateFileW(file.c_str(), GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

// C:\tavix.log, where shops and their support look for it, when it can be opened for appending;
// an ordinary account cannot create files at the top of C:\ on current Windows, and then the
// log goes to the user's own folder so that the program still starts.
std::filesystem::path defaultLogFile()
{
    const Handle shared(openForAppending(kSharedLogFile));
    if (shared.get() != INVALID_HANDLE_VALUE)
        return kSharedLogFile;
    return UserFolders::programFolder() / "tavix.log";
}

TimeOfDay localTimeNow()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wHour, now.wMinute, now.wSecond};
}

void appendWholeToLogFile(const std::filesystem::path& file, std::string_view bytes)
{
    Handle handle(openForAppending(file));
    if (handle.get() == INVALID_HANDLE_VALUE)
        fail(file, windowsErrorText(GetLastError()));
    LARGE_INTEGER before{};
    if (!GetFileSizeEx(handle.get(), &before) ||
        !SetFilePointerEx(handle.get(), before, nullptr, FILE_BEGIN))
        fail(file, windowsErrorText(GetLastError()));

    DWORD written = 0;
    const BOOL wrote =
        WriteFile(handle.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    const DWORD error = GetLastError();
    if (!wrote || written != bytes.size()) {
        // No part of an entry stays: the file goes back to its size before.
        if (written != 0 && (!SetFilePointerEx(handle.get(), before, nullptr, FILE_BEGIN) ||
                             !SetEndOfFile(handle.get())))
            fail(file, "only part of an entry fitted, and it cannot be removed: " +
                           windowsErrorText(GetLastError()));
        fail(file, wrote ? "the disk is full" : windowsErrorText(error));
    }
    if (!handle.release())
        fail(file, windowsErrorText(GetLastError()));
}
