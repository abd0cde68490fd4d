// Tavix CallerID simulator: posting to the program's window.
#include "simulator/EventTarget.h"

#include "monitor/DeviceEvents.h"

#include <windows.h>

namespace {

HWND asWindow(AD101WindowHandle handle)
{
    return reinterpret_cast<HWND>(handle);
}

} // namespace

EventTarget EventTarget::fromHandle(AD101WindowHandle handle)
{
    return handle != 0 && IsWindow(asWindow(handle)) ? EventTarget(handle) : EventTarget();
}

void EventTarget::post(const std::vector<DeviceEvent>& events) const
{
    if (m_handle == 0)
        return;
    // A window destroyed meanwhile makes PostMessage fail, which is all there is to do then.
    for (const DeviceEvent& event : events) {
        PostMessageA(asWindow(m_handle), WM_DEVICE_EVENT,
                     static_cast<WPARAM>(static_cast<uint32_t>(event.wParam)),
                     static_cast<LPARAM>(event.lParam));
    }
}
