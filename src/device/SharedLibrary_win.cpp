// Tavix CallerID: LoadLibrary-based loader (not built on Linux).
#include "device/SharedLibrary.h"

#include "device/DeviceLibrary.h"

#include <windows.h>

SharedLibrary::SharedLibrary(std::string fileName) : m_fileName(std::move(fileName)) {}

SharedLibrary::~SharedLibrary() = default;

static std::string lastErrorText()
{
    char text[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   GetLastError(), 0, text, sizeof text - 1, nullptr);
    return text;
}

void* SharedLibrary::resolve(const char* entry)
{
    if (!m_handle) {
        m_handle = LoadLibraryExA(m_fileName.c_str(), nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR);
        if (!m_handle)
            throw DeviceError("Cannot load the device library \"" + m_fileName + "\": " + lastErrorText());
    }
    void* address = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(m_handle), entry));
    if (!address)
        throw DeviceError("The device library \"" + m_fileName + "\" has no entry \"" + entry +
                          "\": " + lastErrorText());
    return address;
}
