// Tavix CallerID: what an error code of Windows means, for messages.
#pragma once

#include <string>

// "<what happened> (error N)", the number once. The errors a shop meets (a name not found, a
// server not answering, a certificate not trusted or for another name, a full disk, a file in
// use) are told in the program's own words, the same on every Windows and under Wine, which has
// no texts for WinHTTP's codes; any other code in the text of `module` (a module handle, such as
// WinHTTP's, which keeps its own) or of the system; "error N" alone when neither has one.
std::string windowsErrorText(unsigned long code, void* module = nullptr);
