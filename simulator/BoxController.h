// Tavix CallerID simulator: answers the requests that arrive on the control socket.
#pragma once

#include <string>

class SimulatedBox;

// The control protocol: one JSON object per request line, one JSON object per reply line,
// {"ok":true,...} or {"ok":false,"error":"..."}. A bad request never changes the box.
class BoxController
{
  public:
    explicit BoxController(SimulatedBox& box) : m_box(box) {}

    // Never throws.
    std::string handle(const std::string& request);
    static std::string tooLongReply();

  private:
    SimulatedBox& m_box;
};
