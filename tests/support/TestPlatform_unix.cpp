// Tavix CallerID tests: the Linux side of what differs between the systems.
#include "TestPlatform.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

extern char** environ;

namespace TestPlatform {

const SystemTexts kSystemTexts = {
    .couldNotConnect = "Couldn't connect to server: ",
    .untrustedCertificate = "SSL peer certificate or SSH remote key was not OK: ",
    .openedAFolderAsAFile = "Is a directory",
    .libraryNotFound = "cannot open shared object file",
    .nameNotFound = "Couldn't resolve host name: ",
};

void postToWindow(AD101WindowHandle window, uint32_t message, int32_t wParam, int32_t lParam)
{
    const auto* port = reinterpret_cast<const AD101MessagePort*>(window);
    port->post(port->context, message, wParam, lParam);
}

void setEnvironment(const char* name, const char* value)
{
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

std::string loopbackName()
{
    return "127.0.0.1";
}

uint16_t unusedLoopbackPort()
{
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    if (probe < 0)
        throw std::runtime_error("socket() failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const bool bound = bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    close(probe);
    if (!bound)
        throw std::runtime_error("Cannot find a free port on 127.0.0.1");
    return ntohs(address.sin_port);
}

std::string linuxPath(const std::filesystem::path& path)
{
    return std::filesystem::absolute(path).string();
}

int linuxProcessId()
{
    return static_cast<int>(getpid());
}

void startLinuxProgram(const std::vector<std::string>& argv)
{
    // A shell starts it in the background and ends at once, so no zombie is left behind.
    std::vector<std::string> command = {"/bin/sh", "-c", "\"$0\" \"$@\" </dev/null &"};
    command.insert(command.end(), argv.begin(), argv.end());
    std::vector<char*> arguments;
    for (std::string& argument : command)
        arguments.push_back(argument.data());
    arguments.push_back(nullptr);
    pid_t shell = 0;
    int status = -1;
    if (posix_spawn(&shell, "/bin/sh", nullptr, nullptr, arguments.data(), environ) != 0 ||
        waitpid(shell, &status, 0) != shell || status != 0)
        throw std::runtime_error("Cannot start " + argv.at(0));
}

void clearUserSettings() {}

LogonStartPlaces logonStartPlaces(const std::filesystem::path& dir)
{
    return {(dir / "autostart" / "tavix-callerid.desktop").string(), {}};
}

std::shared_ptr<void> trustAuthority(const std::filesystem::path&)
{
    return {};
}

} // namespace TestPlatform
