// Tavix CallerID simulator: the client side of the box's control socket file.
#include "simulator/ControlClient.h"

#include "simulator/SocketPath.h"

#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A box that accepted but does not answer is broken; do not hang the caller forever.
constexpr int kReplyTimeoutMs = 10000;

class Socket
{
  public:
    Socket() : m_fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
    ~Socket()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return m_fd; }

  private:
    int m_fd;
};

std::string reason(int error)
{
    return std::strerror(error);
}

} // namespace

std::string ControlClient::request(const std::string& request) const
{
    sockaddr_un address{};
    try {
        address = unixSocketAddress(m_socketPath);
    } catch (const std::runtime_error& error) {
        throw ControlError(error.what());
    }
    Socket socket;
    if (socket.fd() < 0)
        throw ControlError("cannot create a socket: " + reason(errno));
    if (connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        const int error = errno;
        if (error == ENOENT || error == ECONNREFUSED)
            throw ControlError("no simulated AD101 box is running at " + m_socketPath +
                               " (the box starts when a program calls AD101_InitDevice)");
        throw ControlError("cannot reach the simulated AD101 box at " + m_socketPath + ": " +
                           reason(error));
    }

    const std::string line = request + '\n';
    for (size_t sent = 0; sent < line.size();) {
        const ssize_t n = send(socket.fd(), line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        // The box may refuse an oversized request and hang up before reading all of it;
        // its reply is still waiting to be read.
        if (n < 0)
            break;
        sent += static_cast<size_t>(n);
    }

    std::string reply;
    char chunk[4096];
    for (;;) {
        pollfd waiting{socket.fd(), POLLIN, 0};
        const int ready = poll(&waiting, 1, kReplyTimeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            throw ControlError("cannot wait for the simulated AD101 box: " + reason(errno));
        if (ready == 0)
            throw ControlError("the simulated AD101 box at " + m_socketPath + " did not answer");
        const ssize_t n = recv(socket.fd(), chunk, sizeof(chunk), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw ControlError("lost the connection to the simulated AD101 box: " + reason(errno));
        if (n == 0)
            throw ControlError("the simulated AD101 box hung up without a complete reply");
        reply.append(chunk, static_cast<size_t>(n));
        const size_t end = reply.find('\n');
        if (end != std::string::npos)
            return reply.substr(0, end);
    }
}
