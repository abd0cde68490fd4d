// Tavix CallerID: the activity log on Windows, C:\tavix.log where it can be written.
#include "log/LogFile.h"

#include "platform/UserFolders.h"

#include <windows.h>

namespace {

constexpr const wchar_t* kSharedLogFile = L"C:\\tavix.log";

} // namespace

// C:\tavix.log, where shops and their support look for it, when it can be opened for appending;
// an ordinary account cannot create files at the top of C:\ on current Windows, and then the
// log goes to the user's own folder so that the program still starts.
std::filesystem::path defaultLogFile()
{
    const HANDLE shared = CreateFileW(kSharedLogFile, GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (shared != INVALID_HANDLE_VALUE) {
        CloseHandle(shared);
        return kSharedLogFile;
    }
    return UserFolders::programFolder() / "tavix.log";
}
