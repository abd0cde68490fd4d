// Tavix CallerID simulator: the control channel as a Unix stream socket file.
#include "simulator/ControlChannel.h"

#include "platform/UserFolders.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A client that stops reading a long reply must not hold the socket forever.
constexpr timeval kClientSendTimeout{5, 0};
// A box that accepted but does not answer is broken; do not hang the caller forever.
constexpr int kReplyTimeoutMs = 10000;

// The address of a socket file; throws std::runtime_error when the path does not fit.
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

std::runtime_error socketError(const std::string& what, const std::string& path)
{
    return std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}

bool someoneListens(const sockaddr_un& address)
{
    const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0)
        return false;
    const bool answered =
        connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    close(probe);
    return answered;
}

// A socket file left behind by a program that died is removed; a live box or any other kind
// of file is left alone.
void removeStaleSocket(const std::string& path, const sockaddr_un& address)
{
    struct stat status
    {
    };
    if (lstat(path.c_str(), &status) != 0)
        return;
    if (!S_ISSOCK(status.st_mode))
        throw std::runtime_error(path + " exists and is not a socket");
    if (someoneListens(address))
        throw std::runtime_error("another simulated box already answers at " + path);
    if (unlink(path.c_str()) != 0 && errno != ENOENT)
        throw socketError("cannot remove the stale socket", path);
}

int listenOn(const std::string& path)
{
    const sockaddr_un address = unixSocketAddress(path);
    removeStaleSocket(path, address);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw socketError("cannot create a socket for", path);
    // bind() creates the file with the process umask; narrow it for that one call so the
    // file is never reachable by others, not even briefly.
    const mode_t previousMask = umask(0177);
    const int bound = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    const int bindError = errno;
    umask(previousMask);
    if (bound != 0) {
        close(fd);
        errno = bindError;
        throw socketError("cannot bind", path);
    }
    if (listen(fd, 8) != 0) {
        close(fd);
        unlink(path.c_str());
        throw socketError("cannot listen on", path);
    }
    return fd;
}

} // namespace

std::string defaultControlAddress()
{
    return (UserFolders::runtimeFolder() / "tavix-ad101.sock").string();
}

struct ControlListener::Native
{
    std::string path;
    std::pair<dev_t, ino_t> socketFile{};
    int listener = -1;
    int client = -1;
    int stopPipe[2] = {-1, -1};

    // Waits until `fd` is readable; false when stopping or after `timeoutMs`.
    bool waitReadable(int fd, int timeoutMs) const
    {
        pollfd waiting[2] = {{fd, POLLIN, 0}, {stopPipe[0], POLLIN, 0}};
        for (;;) {
            const int ready = poll(waiting, 2, timeoutMs);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0 || waiting[1].revents != 0)
                return false;
            return waiting[0].revents != 0;
        }
    }
};

ControlListener::ControlListener(const std::string& address) : m_native(std::make_unique<Native>())
{
    Native& native = *m_native;
    native.path = address;
    native.listener = listenOn(address);
    struct stat status
    {
    };
    if (stat(address.c_str(), &status) == 0)
        native.socketFile = {status.st_dev, status.st_ino};
    if (pipe2(native.stopPipe, O_CLOEXEC) != 0) {
        close(native.listener);
        unlink(address.c_str());
        throw socketError("cannot create the stop pipe for", address);
    }
}

ControlListener::~ControlListener()
{
    hangUp();
    close(m_native->listener);
    close(m_native->stopPipe[0]);
    close(m_native->stopPipe[1]);
    // Only our own file: another box may have taken the path over since.
    if (ownsAddress())
        unlink(m_native->path.c_str());
}

bool ControlListener::ownsAddress() const
{
    struct stat status
    {
    };
    return lstat(m_native->path.c_str(), &status) == 0 &&
           std::pair(status.st_dev, status.st_ino) == m_native->socketFile;
}

bool ControlListener::accept()
{
    while (m_native->waitReadable(m_native->listener, -1)) {
        const int client = accept4(m_native->listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &kClientSendTimeout,
                   sizeof(kClientSendTimeout));
        m_native->client = client;
        return true;
    }
    return false;
}

std::ptrdiff_t ControlListener::receive(char* buffer, size_t size, int timeoutMs)
{
    for (;;) {
        if (!m_native->waitReadable(m_native->client, timeoutMs))
            return -1;
        const ssize_t n = recv(m_native->client, buffer, size, 0);
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 ? -1 : n;
    }
}

bool ControlListener::send(const std::string& text)
{
    for (size_t sent = 0; sent < text.size();) {
        const ssize_t n =
            ::send(m_native->client, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

void ControlListener::hangUp()
{
    if (m_native->client >= 0)
        close(std::exchange(m_native->client, -1));
}

void ControlListener::stop()
{
    [[maybe_unused]] const ssize_t written = write(m_native->stopPipe[1], "x", 1);
}

std::string ControlClient::request(const std::string& request) const
{
    sockaddr_un address{};
    try {
        address = unixSocketAddress(m_address);
    } catch (const std::runtime_error& error) {
        throw ControlError(error.what());
    }
    Socket socket;
    if (socket.fd() < 0)
        throw ControlError("cannot create a socket: " + reason(errno));
    if (connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        const int error = errno;
        if (error == ENOENT || error == ECONNREFUSED)
            throw ControlError("no simulated AD101 box is running at " + m_address +
                               " (the box starts when a program calls AD101_InitDevice)");
        throw ControlError("cannot reach the simulated AD101 box at " + m_address + ": " +
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
            throw ControlError("the simulated AD101 box at " + m_address + " did not answer");
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
