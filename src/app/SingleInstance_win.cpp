// Tavix CallerID: one monitor per user, with a lock file in the user's own folder that only one
// process may have open at a time.
#include "app/SingleInstance.h"

#include "platform/UserFolders.h"
#include "platform/WindowsErrorText.h"

#include <windows.h>

#include <stdexcept>

std::string SingleInstance::lockFile()
{
    return (UserFolders::runtimeFolder() / "tavix-callerid.lock").string();
}

SingleInstance::~SingleInstance()
{
    if (m_handle != -1)
        CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

bool SingleInstance::acquire()
{
    if (m_path.empty())
        throw std::runtime_error(m_folderError);
    if (m_handle != -1)
        return true;
    // Opened with no sharing: a second process is refused until the first one's handle goes,
    // which Windows sees to however the first one ends.
    const HANDLE file = CreateFileA(m_path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_SHARING_VIOLATION)
            return false;
        throw std::runtime_error("Cannot open the lock file " + m_path + ": " +
                                 windowsErrorText(GetLastError()));
    }
    m_handle = reinterpret_cast<std::intptr_t>(file);
    return true;
}
