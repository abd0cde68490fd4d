// Tavix CallerID tests: the Windows side of what differs between the systems, under Wine.
#include "TestPlatform.h"

#include <winsock2.h>

#include <windows.h>

#include <wincrypt.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace TestPlatform {

// Wine's texts are not Windows' texts: only outcomes are checked here.
const SystemTexts kSystemTexts = {
    .couldNotConnect = "",
    .untrustedCertificate = "",
    .openedAFolderAsAFile = "",
    .libraryNotFound = "",
    // The program's own words, with the number once.
    .nameNotFound = "the server's name was not found (error 12007)",
};

void postToWindow(AD101WindowHandle window, uint32_t message, int32_t wParam, int32_t lParam)
{
    // Signed values, widened on 64-bit Windows, as the library posts them.
    PostMessageW(reinterpret_cast<HWND>(window), message, static_cast<WPARAM>(wParam),
                 static_cast<LPARAM>(lParam));
}

namespace {

// Wine's own exports, which map between Windows and Linux file names. The results are
// allocated on the process heap.
template <typename Function> Function wineExport(const char* name)
{
    void* address =
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name));
    if (!address)
        throw std::runtime_error(std::string("These tests run under Wine, which exports ") + name);
    return reinterpret_cast<Function>(address);
}

std::wstring widened(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

struct StoreCloser
{
    void operator()(void* store) const { CertCloseStore(store, 0); }
};
using Store = std::unique_ptr<void, StoreCloser>;

// The registry part of the user's trusted roots, where an installed authority lives (Wine
// forgets a deletion made through the whole system store). A new handle each time: what was
// changed is written when the handle closes, and a chain engine reads the store once, when it
// is made.
Store userRoots()
{
    Store store(CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0,
                              CERT_SYSTEM_STORE_CURRENT_USER, L"Root"));
    if (!store)
        throw std::runtime_error("Cannot open the current user's trusted roots");
    return store;
}

} // namespace

void setEnvironment(const char* name, const char* value)
{
    // The C runtime's copy for getenv(), Windows' own for the programs this one starts.
    _putenv_s(name, value ? value : "");
    SetEnvironmentVariableA(name, value && *value ? value : nullptr);
}

std::string loopbackName()
{
    return "localhost";
}

uint16_t unusedLoopbackPort()
{
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    const SOCKET probe = started ? socket(AF_INET, SOCK_STREAM, IPPROTO_TCP) : INVALID_SOCKET;
    if (probe == INVALID_SOCKET)
        throw std::runtime_error("socket() failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    const bool bound = bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    closesocket(probe);
    if (!bound)
        throw std::runtime_error("Cannot find a free port on 127.0.0.1");
    return ntohs(address.sin_port);
}

std::string linuxPath(const std::filesystem::path& path)
{
    static const auto toLinux =
        wineExport<char*(CDECL*)(const wchar_t*)>("wine_get_unix_file_name");
    char* translated = toLinux(std::filesystem::absolute(path).c_str());
    if (!translated)
        throw std::runtime_error("Wine has no Linux path for " + path.string());
    const std::string result = translated;
    HeapFree(GetProcessHeap(), 0, translated);
    return result;
}

int linuxProcessId()
{
    // Wine opens files in the calling process, so /proc/self is this one.
    static const auto toWindows =
        wineExport<wchar_t*(CDECL*)(const char*)>("wine_get_dos_file_name");
    wchar_t* stat = toWindows("/proc/self/stat");
    int id = 0;
    if (stat)
        std::ifstream(std::filesystem::path(stat)) >> id;
    HeapFree(GetProcessHeap(), 0, stat);
    if (id <= 0)
        throw std::runtime_error("Cannot read this process's Linux id");
    return id;
}

void startLinuxProgram(const std::vector<std::string>& argv)
{
    std::wstring commandLine;
    for (const std::string& argument : argv) {
        if (argument.find('"') != std::string::npos || argument.ends_with('\\'))
            throw std::invalid_argument("Cannot pass on the argument " + argument);
        commandLine += (commandLine.empty() ? L"\"" : L" \"") + widened(argument) + L"\"";
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // Wine runs a Linux program detached, with this process's standard streams, and returns
    // no handle to wait on.
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        throw std::runtime_error("Cannot start " + argv.at(0) + ": error " +
                                 std::to_string(GetLastError()));
    for (HANDLE handle : {process.hProcess, process.hThread})
        if (handle)
            CloseHandle(handle);
}

void clearUserSettings()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tavix\\CallerID");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tavix\\Tests");
}

LogonStartPlaces logonStartPlaces(const std::filesystem::path&)
{
    return {"HKEY_CURRENT_USER\\Software\\Tavix\\Tests\\Run",
            "HKEY_CURRENT_USER\\Software\\Tavix\\Tests\\MachineRun"};
}

std::shared_ptr<void> trustAuthority(const std::filesystem::path& pemFile)
{
    std::ifstream in(pemFile, std::ios::binary);
    const std::string pem{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    DWORD size = 0;
    CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr,
                         nullptr);
    std::vector<BYTE> der(size);
    if (size == 0 || !CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, der.data(),
                                           &size, nullptr, nullptr))
        throw std::runtime_error("Cannot read the authority " + pemFile.string());
    if (!CertAddEncodedCertificateToStore(userRoots().get(), X509_ASN_ENCODING, der.data(), size,
                                          CERT_STORE_ADD_REPLACE_EXISTING, nullptr))
        throw std::runtime_error("Cannot add the authority to the current user's trusted roots");
    return std::shared_ptr<void>(nullptr, [der](void*) {
        const Store store = userRoots();
        const PCCERT_CONTEXT made = CertCreateCertificateContext(X509_ASN_ENCODING, der.data(),
                                                                 static_cast<DWORD>(der.size()));
        // Deleting frees the context it is given.
        if (const PCCERT_CONTEXT stored =
                made ? CertFindCertificateInStore(store.get(), X509_ASN_ENCODING, 0,
                                                  CERT_FIND_EXISTING, made, nullptr)
                     : nullptr)
            CertDeleteCertificateFromStore(stored);
        if (made)
            CertFreeCertificateContext(made);
    });
}

} // namespace TestPlatform
