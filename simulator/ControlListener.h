// Tavix CallerID simulator: the operating system's end of the box's control channel.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

// A local address that only the current user can reach, and the one client being served on
// it: a Unix stream socket file, or on Windows a named pipe. Every wait ends early once stop()
// was called from another thread.
class ControlListener
{
  public:
    // Takes the address. Throws std::runtime_error when it cannot be had, for instance
    // because another box answers there.
    explicit ControlListener(const std::string& address);
    // Gives the address up, unless someone else has taken it over.
    ~ControlListener();
    ControlListener(const ControlListener&) = delete;
    ControlListener& operator=(const ControlListener&) = delete;

    // False once the address was removed or taken over by someone else.
    bool ownsAddress() const;
    // Waits for the next client; false once stopped.
    bool accept();
    // Reads what the current client sent: the number of bytes, 0 once the client has closed
    // its side, -1 when reading failed, the client idled for `timeoutMs` or on stop().
    std::ptrdiff_t receive(char* buffer, size_t size, int timeoutMs);
    // False when the client is gone or stops reading for long.
    bool send(const std::string& text);
    // Ends the connection with the current client; what was sent is still delivered.
    void hangUp();
    void stop();

  private:
    struct Native;
    std::unique_ptr<Native> m_native;
};
