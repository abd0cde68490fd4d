// Tavix CallerID simulator: the box's control socket.
#include "simulator/ControlServer.h"

#include "simulator/SocketPath.h"

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

// One client is served at a time; one that connects and says nothing must not lock out
// the others for long.
constexpr int kClientIdleTimeoutMs = 5000;
constexpr timeval kClientSendTimeout{5, 0};

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

ControlServer::ControlServer(std::string path, Handler handler, std::string tooLongReply)
    : m_path(std::move(path)), m_handler(std::move(handler)),
      m_tooLongReply(std::move(tooLongReply))
{
    m_listener = listenOn(m_path);
    struct stat status
    {
    };
    if (stat(m_path.c_str(), &status) == 0)
        m_socketFile = {status.st_dev, status.st_ino};
    if (pipe2(m_stopPipe, O_CLOEXEC) != 0) {
        close(m_listener);
        unlink(m_path.c_str());
        throw socketError("cannot create the stop pipe for", m_path);
    }
    m_thread = std::thread(&ControlServer::run, this);
}

ControlServer::~ControlServer()
{
    [[maybe_unused]] const ssize_t written = write(m_stopPipe[1], "x", 1);
    m_thread.join();
    close(m_listener);
    close(m_stopPipe[0]);
    close(m_stopPipe[1]);
    // Only our own file: another box may have taken the path over since.
    if (ownsPath())
        unlink(m_path.c_str());
}

bool ControlServer::ownsPath() const
{
    struct stat status
    {
    };
    return lstat(m_path.c_str(), &status) == 0 &&
           std::pair(status.st_dev, status.st_ino) == m_socketFile;
}

bool ControlServer::waitReadable(int fd, int timeoutMs)
{
    pollfd waiting[2] = {{fd, POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
    for (;;) {
        const int ready = poll(waiting, 2, timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || waiting[1].revents != 0)
            return false;
        return waiting[0].revents != 0;
    }
}

void ControlServer::run()
{
    while (waitReadable(m_listener, -1)) {
        const int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        // A client that stops reading a long reply must not hold the socket forever.
        setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &kClientSendTimeout,
                   sizeof(kClientSendTimeout));
        serve(client);
        close(client);
    }
}

void ControlServer::serve(int client)
{
    std::string pending;
    char chunk[4096];
    for (;;) {
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos && end <= kMaxRequestBytes) {
            if (!sendAll(client, m_handler(pending.substr(0, end)) + '\n'))
                return;
            pending.erase(0, end + 1);
        }
        if (std::min(end, pending.size()) > kMaxRequestBytes) {
            sendAll(client, m_tooLongReply + '\n');
            return;
        }
        if (!waitReadable(client, kClientIdleTimeoutMs))
            return;
        const ssize_t n = recv(client, chunk, sizeof(chunk), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A last request without its newline still counts.
            if (n == 0 && !pending.empty())
                sendAll(client, m_handler(pending) + '\n');
            return;
        }
        pending.append(chunk, static_cast<size_t>(n));
    }
}

bool ControlServer::sendAll(int client, const std::string& text)
{
    for (size_t sent = 0; sent < text.size();) {
        const ssize_t n = send(client, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}
