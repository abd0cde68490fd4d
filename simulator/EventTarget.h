// Tavix CallerID simulator: where the box posts its events.
#pragma once

#include "device/ad101_api.h"
#include "simulator/BoxState.h"

#include <vector>

// The program's window, as the handle given to AD101_InitDevice names it: a real window on
// Windows, the address of an AD101MessagePort elsewhere. Anything else gives a target that
// posts nothing. Small and copyable.
class EventTarget
{
  public:
    EventTarget() = default;
    static EventTarget fromHandle(AD101WindowHandle handle);

    // Posts WM_DEVICE_EVENT for each event, in order, and returns at once. Any thread.
    void post(const std::vector<DeviceEvent>& events) const;

  private:
    explicit EventTarget(AD101WindowHandle handle) : m_handle(handle) {}

    AD101WindowHandle m_handle = 0;
};
