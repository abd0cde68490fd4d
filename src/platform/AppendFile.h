// Tavix CallerID: appending to a file in whole pieces, for the activity log and the box's trace.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string_view>

// The file could not be opened or written; the text is the system's reason, without the file.
class AppendError : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

namespace AppendFile {

// Opens the file, appends `bytes` whole or not at all and closes it again: when the system
// takes only part of them, the file is cut back to its earlier size, so that no reader ever
// sees a torn piece. The file is created readable and writable by the user only, and an
// existing one that others may read or write is made so. Throws AppendError.
void appendWhole(const std::filesystem::path& file, std::string_view bytes);

} // namespace AppendFile
