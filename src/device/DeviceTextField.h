// Tavix CallerID: fixed-width text exchanged with the device library.
#pragma once

#include <string>
#include <vector>

// A buffer of `width` characters plus one NUL. It is all NUL before each device call,
// and afterwards its whole width is the content: the device's text followed by what
// remains of the fill. Nothing ever shortens it.
class DeviceTextField
{
  public:
    explicit DeviceTextField(int width) : m_buffer(static_cast<size_t>(width) + 1, '\0') {}

    int width() const { return static_cast<int>(m_buffer.size()) - 1; }
    void clear() { std::fill(m_buffer.begin(), m_buffer.end(), '\0'); }
    char* buffer() { return m_buffer.data(); }
    // The full width, NUL characters included.
    std::string text() const { return std::string(m_buffer.data(), m_buffer.size() - 1); }

  private:
    std::vector<char> m_buffer;
};
