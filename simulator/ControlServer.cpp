// Tavix CallerID simulator: the box's control socket.
#include "simulator/ControlServer.h"

#include "simulator/ControlChannel.h"

#include <algorithm>

namespace {

// One client is served at a time; one that connects and says nothing must not lock out
// the others for long.
constexpr int kClientIdleTimeoutMs = 5000;

} // namespace

ControlServer::ControlServer(std::string path, Handler handler, std::string tooLongReply)
    : m_path(std::move(path)), m_handler(std::move(handler)),
      m_tooLongReply(std::move(tooLongReply)), m_listener(std::make_unique<ControlListener>(m_path))
{
    m_thread = std::thread(&ControlServer::run, this);
}

ControlServer::~ControlServer()
{
    m_listener->stop();
    m_thread.join();
}

bool ControlServer::ownsPath() const
{
    return m_listener->ownsAddress();
}

void ControlServer::run()
{
    while (m_listener->accept()) {
        serve();
        m_listener->hangUp();
    }
}

void ControlServer::serve()
{
    std::string pending;
    char chunk[4096];
    for (;;) {
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos && end <= kMaxRequestBytes) {
            if (!m_listener->send(m_handler(pending.substr(0, end)) + '\n'))
                return;
            pending.erase(0, end + 1);
        }
        if (std::min(end, pending.size()) > kMaxRequestBytes) {
            m_listener->send(m_tooLongReply + '\n');
            return;
        }
        const std::ptrdiff_t n = m_listener->receive(chunk, sizeof(chunk), kClientIdleTimeoutMs);
        if (n <= 0) {
            // A last request without its newline still counts.
            if (n == 0 && !pending.empty())
                m_listener->send(m_handler(pending) + '\n');
            return;
        }
        pending.append(chunk, static_cast<size_t>(n));
    }
}
