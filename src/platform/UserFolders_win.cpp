// Tavix CallerID: the user's private folders on Windows, under the user's local application data.
#include "platform/UserFolders.h"

#include "platform/WindowsErrorText.h"

#include <windows.h>

#include <shlobj.h>

#include <string>

namespace {

[[noreturn]] void refuse(const std::filesystem::path& folder, const std::string& problem)
{
    throw UserFolderError("The folder " + folder.string() + " for Tavix CallerID's files " +
                          problem);
}

} // namespace

namespace UserFolders {

// %LOCALAPPDATA%: the user's own, kept off roaming profiles and readable by the user only.
std::filesystem::path stateHome()
{
    PWSTR path = nullptr;
    const HRESULT result = SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path);
    std::filesystem::path folder;
    if (SUCCEEDED(result) && path)
        folder = path;
    CoTaskMemFree(path);
    if (folder.empty() || !folder.is_absolute())
        throw UserFolderError("No private folder for Tavix CallerID's files: Windows names no "
                              "local application data folder for this user.");
    return folder;
}

std::filesystem::path programFolder()
{
    const std::filesystem::path folder = stateHome() / "Tavix";
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        refuse(folder, "cannot be created: " + windowsErrorText(GetLastError()));
    // A junction or link there could send the log and the lock elsewhere.
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        refuse(folder, "is not a folder");
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        refuse(folder, "is a link to another place; remove it");
    return folder;
}

std::filesystem::path runtimeFolder()
{
    return programFolder();
}

} // namespace UserFolders
