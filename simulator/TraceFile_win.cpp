// Tavix CallerID simulator: the trace file that TAVIX_SIM_TRACE names.
#include "simulator/TraceFile.h"

#include <windows.h>

void TraceFile::append(const char* path, const std::string& text)
{
    // Append-only access: each write goes to the end of the file, whole, even if another
    // process shares the file. A new file takes the folder's permissions.
    const HANDLE file =
        CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}
