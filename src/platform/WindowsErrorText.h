// Tavix CallerID: the text Windows has for an error code, for messages.
#pragma once

#include <string>

// From `module`'s own messages when given (a module handle, such as WinHTTP's, which keeps its
// own), else the system's; without the line break Windows ends it with. "error N" when Windows
// has no text for the code.
std::string windowsErrorText(unsigned long code, void* module = nullptr);
