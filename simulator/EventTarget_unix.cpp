// Tavix CallerID simulator: posting through the program's message port.
#include "simulator/EventTarget.h"

#include "monitor/DeviceEvents.h"

EventTarget EventTarget::fromHandle(AD101WindowHandle handle)
{
    // Anything that cannot be a port (null, the first pages, a misaligned value, a wrong
    // magic) leaves the box silent.
    const auto address = reinterpret_cast<uintptr_t>(handle);
    if (address < 65536 || address % alignof(AD101MessagePort) != 0)
        return {};
    const auto* port = reinterpret_cast<const AD101MessagePort*>(address);
    return port->magic == AD101_PORT_MAGIC && port->post ? EventTarget(handle) : EventTarget();
}

void EventTarget::post(const std::vector<DeviceEvent>& events) const
{
    const auto* port = reinterpret_cast<const AD101MessagePort*>(m_handle);
    // The magic is checked again: a port being destroyed clears it.
    for (const DeviceEvent& event : events) {
        if (port && port->magic == AD101_PORT_MAGIC)
            port->post(port->context, WM_DEVICE_EVENT, event.wParam, event.lParam);
    }
}
