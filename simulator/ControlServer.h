// Tavix CallerID simulator: the box's control socket.
#pragma once

#include <functional>
#include <string>
#include <thread>
#include <utility>

#include <sys/types.h>

// Listens on a Unix stream socket (owner-only) on a thread of its own and answers request
// lines one connection at a time: each line the client sends gets one reply line back.
class ControlServer
{
  public:
    // Gets one request line without its newline; returns the reply without its newline.
    using Handler = std::function<std::string(const std::string& request)>;

    static constexpr size_t kMaxRequestBytes = 64 * 1024;

    // Binds the socket, replacing a stale socket file that nobody answers on, and starts
    // listening. `tooLongReply` answers a request longer than kMaxRequestBytes, after which
    // the connection is closed. Throws std::runtime_error when the socket cannot be had.
    ControlServer(std::string path, Handler handler, std::string tooLongReply);
    // Stops listening and removes the socket file.
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    const std::string& path() const { return m_path; }
    // False once the socket file was removed or replaced by someone else.
    bool ownsPath() const;

  private:
    void run();
    void serve(int client);
    bool sendAll(int client, const std::string& text);
    // Waits until `fd` is readable; false when stopping or when the client idles too long.
    bool waitReadable(int fd, int timeoutMs);

    std::string m_path;
    Handler m_handler;
    std::string m_tooLongReply;
    std::pair<dev_t, ino_t> m_socketFile{};
    int m_listener = -1;
    int m_stopPipe[2] = {-1, -1};
    std::thread m_thread;
};
