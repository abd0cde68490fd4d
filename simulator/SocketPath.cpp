// Tavix CallerID simulator: where the simulated box's control socket lives.
#include "simulator/SocketPath.h"

#include "log/UserFolders.h"

#include <cstring>
#include <stdexcept>

#include <sys/socket.h>

std::string defaultSocketPath()
{
    return (UserFolders::runtimeFolder() / "tavix-ad101.sock").string();
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
