// Tavix CallerID: the activity log in the user's private program folder.
#include "log/LogFile.h"

#include "platform/UserFolders.h"

std::filesystem::path defaultLogFile()
{
    return UserFolders::programFolder() / "tavix.log";
}
