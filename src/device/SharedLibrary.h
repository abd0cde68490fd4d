// Tavix CallerID: loading a shared library and looking up its entries by name.
#pragma once

#include <string>

// Platform loader. The library is opened by file name only, so the platform's own search
// rules apply: beside the executable through its RUNPATH, never the working directory.
class SharedLibrary
{
  public:
    explicit SharedLibrary(std::string fileName);
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    const std::string& fileName() const { return m_fileName; }
    // Opens the library when it is not open yet, then returns the entry's address.
    // Throws DeviceError naming the library or the entry and the loader's reason.
    void* resolve(const char* entry);

  private:
    std::string m_fileName;
    void* m_handle = nullptr;
};
