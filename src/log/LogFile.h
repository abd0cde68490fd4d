// Tavix CallerID: the platform's side of the activity log file.
#pragma once

#include <filesystem>
#include <string_view>

struct TimeOfDay;

// Where the log is unless told otherwise. Throws UserFolderError when there is no place for it.
std::filesystem::path defaultLogFile();

// The local wall-clock time of day, now.
TimeOfDay localTimeNow();

// Opens the file, appends `bytes` whole or not at all and closes it again: when the system
// takes only part of them, the file is cut back to its earlier size, so that no reader ever
// sees a torn entry. The file is created readable and writable by the user only, and an
// existing one that others may read or write is made so, since it holds callers' numbers.
// Throws LogError naming the file and the system's reason.
void appendWholeToLogFile(const std::filesystem::path& file, std::string_view bytes);
