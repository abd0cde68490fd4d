// Tavix CallerID tests: what differs between the systems the tests run on, in one place.
#pragma once

#include "device/ad101_api.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// On Windows the tests run under Wine, so Linux programs (python3, openssl) are at hand: they
// are started through Wine and see the files the tests made under their Linux paths.
namespace TestPlatform {

// Sets an environment variable for this process and the programs it starts; null unsets it.
// On Windows an empty value unsets it as well.
void setEnvironment(const char* name, const char* value);

// This machine's name in test URLs: WinHTTP checks certificates against DNS names only.
std::string loopbackName();
// A port on 127.0.0.1 where nothing listens: bound once, never listened on.
uint16_t unusedLoopbackPort();

// `path` as a Linux program sees it.
std::string linuxPath(const std::filesystem::path& path);
// The id of this process as Linux knows it, for a Linux program to watch.
int linuxProcessId();
// Starts a Linux program (argv[0] an absolute path) and returns without keeping it as a child:
// it must end by itself.
void startLinuxProgram(const std::vector<std::string>& argv);

// Posts to the window the device library was given, as the library does: from any thread.
void postToWindow(AD101WindowHandle window, uint32_t message, int32_t wParam, int32_t lParam);

// Forgets what the program stored for the user (the settings file lives in each test's own
// folder; the Windows registry is the machine's, shared by every test).
void clearUserSettings();

// Where a test keeps start at log-on instead of the user's own: on Linux the autostart file in
// `dir`, on Windows registry keys under HKEY_CURRENT_USER\Software\Tavix\Tests (which
// clearUserSettings() removes). `machine` is where a machine-wide entry would be, empty on Linux.
struct LogonStartPlaces
{
    std::string user;
    std::string machine;
};
LogonStartPlaces logonStartPlaces(const std::filesystem::path& dir);

// Makes this platform's HTTPS trust the authority in `pemFile` while the returned object lives.
// On Linux nothing: the tests hand the file to the transfer. On Windows the authority goes into
// the current user's trusted roots, where a shop installs its own.
std::shared_ptr<void> trustAuthority(const std::filesystem::path& pemFile);

// Beginnings of the system's own texts, where tests hold a platform to its words; empty where
// they check only the outcome.
struct SystemTexts
{
    const char* couldNotConnect;
    const char* untrustedCertificate;
    const char* openedAFolderAsAFile;
    const char* libraryNotFound;
    const char* nameNotFound;
};
extern const SystemTexts kSystemTexts;

} // namespace TestPlatform
