// Tavix CallerID simulator: the record of every library call the box received.
#pragma once

#include <mutex>
#include <string>
#include <vector>

// One text line per call, oldest first ("AD101_SetLED 0 3"). When TAVIX_SIM_TRACE names a
// file, each line is also appended to it at once, so that the calls of a program's last
// moments survive the program. Thread-safe.
class CallTrace
{
  public:
    void append(std::string line);
    std::vector<std::string> lines() const;
    // Returns the lines and forgets them.
    std::vector<std::string> take();

  private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};
