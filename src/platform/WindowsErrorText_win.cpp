// Tavix CallerID: the text Windows has for an error code, for messages.
#include "platform/WindowsErrorText.h"

#include <windows.h>

std::string windowsErrorText(unsigned long code, void* module)
{
    char text[512] = {};
    const DWORD source = module ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM;
    DWORD length = FormatMessageA(source | FORMAT_MESSAGE_IGNORE_INSERTS, module, code, 0, text,
                                  sizeof text - 1, nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r'))
        --length;
    return length > 0 ? std::string(text, length) : "error " + std::to_string(code);
}
