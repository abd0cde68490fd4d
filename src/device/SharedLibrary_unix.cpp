// Tavix CallerID: dlopen-based loader.
#include "device/SharedLibrary.h"

#include "device/DeviceLibrary.h"

#include <dlfcn.h>

const char* const DeviceLibrary::kLibraryFileName = "libTavixHardware.so";

SharedLibrary::SharedLibrary(std::string fileName) : m_fileName(std::move(fileName)) {}

SharedLibrary::~SharedLibrary()
{
    // The library may still have threads posting to us until FreeDevice; it stays mapped
    // for the life of the process, as a DLL loaded by name would.
}

void* SharedLibrary::resolve(const char* entry)
{
    if (!m_handle) {
        // Called from this (statically linked) code, the loader searches the executable's
        // RUNPATH. dlmopen into the base namespace is dlopen, but sanitizers do not wrap it:
        // their dlopen wrapper would make itself the caller and lose that RUNPATH.
        m_handle = dlmopen(LM_ID_BASE, m_fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!m_handle) {
            const char* reason = dlerror();
            throw DeviceError("Cannot load the device library \"" + m_fileName +
                              "\": " + (reason ? reason : "unknown reason"));
        }
    }
    dlerror();
    void* address = dlsym(m_handle, entry);
    if (!address) {
        const char* reason = dlerror();
        throw DeviceError("The device library \"" + m_fileName + "\" has no entry \"" + entry +
                          "\": " + (reason ? reason : "the entry is null"));
    }
    return address;
}
