// Tavix CallerID: where the activity log lives on this system.
#pragma once

#include <filesystem>

// Where the log is unless told otherwise. Throws UserFolderError when there is no place for it.
std::filesystem::path defaultLogFile();
