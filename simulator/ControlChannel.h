// Tavix CallerID simulator: the box's control channel, both ends: the box listens, tavix-sim and
// the tests are its clients.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>

// The current user's address of the control channel: tavix-ad101.sock in the user's runtime
// folder (a folder no other user can enter), or on Windows the named pipe
// \\.\pipe\tavix-ad101-<user name>. Throws std::runtime_error when there is none.
std::string defaultControlAddress();

// The box cannot be reached, or it did not answer.
class ControlError : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

// Talks to a running box: one request line out, one reply line back, one connection each.
class ControlClient
{
  public:
    explicit ControlClient(std::string address) : m_address(std::move(address)) {}

    const std::string& address() const { return m_address; }
    // Sends `request` (a newline is added) and returns the reply without its newline.
    // Throws ControlError.
    std::string request(const std::string& request) const;

  private:
    std::string m_address;
};

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
