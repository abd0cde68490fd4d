// Tavix CallerID: one monitor per user, so that no caller is sent twice.
#include "app/SingleInstance.h"

#include "platform/UserFolders.h"

SingleInstance::SingleInstance()
{
    try {
        m_path = lockFile();
    } catch (const UserFolderError& error) {
        m_folderError = error.what(); // acquire() reports it, where the caller expects errors
    }
}
