// Tavix CallerID simulator: the client side of the box's control socket.
#pragma once

#include <stdexcept>
#include <string>

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
    explicit ControlClient(std::string socketPath) : m_socketPath(std::move(socketPath)) {}

    const std::string& socketPath() const { return m_socketPath; }
    // Sends `request` (a newline is added) and returns the reply without its newline.
    // Throws ControlError.
    std::string request(const std::string& request) const;

  private:
    std::string m_socketPath;
};
