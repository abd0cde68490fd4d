// Tavix CallerID simulator: the box's control socket.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

class ControlListener;

// Listens on the control channel (owner-only) on a thread of its own and answers request
// lines one connection at a time: each line the client sends gets one reply line back.
class ControlServer
{
  public:
    // Gets one request line without its newline; returns the reply without its newline.
    using Handler = std::function<std::string(const std::string& request)>;

    static constexpr size_t kMaxRequestBytes = 64 * 1024;

    // Takes the address (see ControlListener) and starts listening. `tooLongReply` answers a
    // request longer than kMaxRequestBytes, after which the connection is closed. Throws
    // std::runtime_error when the address cannot be had.
    ControlServer(std::string path, Handler handler, std::string tooLongReply);
    // Stops listening and gives the address up.
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    const std::string& path() const { return m_path; }
    // False once the socket file was removed or replaced by someone else.
    bool ownsPath() const;

  private:
    void run();
    void serve();

    std::string m_path;
    Handler m_handler;
    std::string m_tooLongReply;
    std::unique_ptr<ControlListener> m_listener;
    std::thread m_thread;
};
