// Tavix CallerID simulator: where the simulated box's control socket lives.
#include "simulator/SocketPath.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <sys/socket.h>
#include <unistd.h>

std::string defaultSocketPath()
{
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    if (runtimeDir && *runtimeDir)
        return std::string(runtimeDir) + "/tavix-ad101.sock";
    return "/tmp/tavix-ad101-" + std::to_string(getuid()) + ".sock";
}

sockaddr_un unixSocketAddress(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(address.sun_path))
        throw std::runtime_error("the socket path \"" + path + "\" is empty or longer than " +
                                 std::to_string(sizeof(address.sun_path) - 1) + " bytes");
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}
