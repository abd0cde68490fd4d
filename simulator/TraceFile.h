// Tavix CallerID simulator: the trace file that TAVIX_SIM_TRACE names.
#pragma once

#include <string>

namespace TraceFile {

// Appends `text` to the file at `path` in one write, creating the file when it is missing.
// Opened and closed per call: nothing is lost when the program ends abruptly. A file that
// cannot be written is skipped; the trace in memory still has the line.
void append(const char* path, const std::string& text);

} // namespace TraceFile
