// Tavix CallerID: LoadLibrary-based loader that looks only in the program's own folder.
#include "device/SharedLibrary.h"

#include "device/DeviceLibrary.h"
#include "platform/WindowsErrorText.h"

#include <windows.h>

#include <string>
#include <vector>

const char* const DeviceLibrary::kLibraryFileName = "TavixHardware.dll";

namespace {

std::string lastErrorText()
{
    return windowsErrorText(GetLastError());
}

// The folder of the running program, with its trailing backslash.
std::wstring programFolder()
{
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            const std::wstring file(path.data(), length);
            return file.substr(0, file.find_last_of(L"\\/") + 1);
        }
        path.resize(path.size() * 2);
    }
}

std::wstring widened(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

} // namespace

SharedLibrary::SharedLibrary(std::string fileName) : m_fileName(std::move(fileName)) {}

// The library may still have threads posting to us until FreeDevice; it stays loaded for the
// life of the process.
SharedLibrary::~SharedLibrary() = default;

void* SharedLibrary::resolve(const char* entry)
{
    if (!m_handle) {
        // By its full path in the program's folder, and its own dependencies from there or the
        // system: never the working folder or PATH, where anyone may have put a file of the name.
        const std::wstring path = programFolder() + widened(m_fileName);
        m_handle = LoadLibraryExW(path.c_str(), nullptr,
                                  LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!m_handle)
            throw DeviceError("Cannot load the device library \"" + m_fileName +
                              "\": " + lastErrorText());
    }
    void* address = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(m_handle), entry));
    if (!address)
        throw DeviceError("The device library \"" + m_fileName + "\" has no entry \"" + entry +
                          "\": " + lastErrorText());
    return address;
}
