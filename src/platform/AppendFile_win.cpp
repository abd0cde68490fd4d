// Tavix CallerID: whole appends on Windows, with one WriteFile each.
#include "platform/AppendFile.h"

#include "platform/WindowsErrorText.h"

#include <windows.h>

#include <string>

namespace {

[[noreturn]] void fail(const std::string& reason)
{
    throw AppendError(reason);
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

} // namespace

void AppendFile::appendWhole(const std::filesystem::path& file, std::string_view bytes)
{
    // Others may read the file between appends, and even rename or delete it. A new file takes
    // the folder's permissions: the user's own folder, or C:\ for the shop's shared log.
    Handle handle(CreateFileW(file.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (handle.get() == INVALID_HANDLE_VALUE)
        fail(windowsErrorText(GetLastError()));
    LARGE_INTEGER before{};
    if (!GetFileSizeEx(handle.get(), &before) ||
        !SetFilePointerEx(handle.get(), before, nullptr, FILE_BEGIN))
        fail(windowsErrorText(GetLastError()));

    DWORD written = 0;
    const BOOL wrote =
        WriteFile(handle.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    const DWORD error = GetLastError();
    if (!wrote || written != bytes.size()) {
        // No part of an entry stays: the file goes back to its size before.
        if (written != 0 && (!SetFilePointerEx(handle.get(), before, nullptr, FILE_BEGIN) ||
                             !SetEndOfFile(handle.get())))
            fail("only part of an entry fitted, and it cannot be removed: " +
                 windowsErrorText(GetLastError()));
        fail(wrote ? "the disk is full" : windowsErrorText(error));
    }
    if (!handle.release())
        fail(windowsErrorText(GetLastError()));
}
