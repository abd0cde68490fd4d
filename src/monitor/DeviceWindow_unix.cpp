// Tavix CallerID: the device's window where there is no window system to post to: a MessagePort.
#include "monitor/DeviceWindow.h"

#include "monitor/MessagePort.h"

struct DeviceWindow::Impl {
    MessagePort port;
};

DeviceWindow::DeviceWindow(QWidget&) : d(std::make_unique<Impl>()) {}

DeviceWindow::~DeviceWindow() = default;

HWND DeviceWindow::window() const
{
    return d->port.handle();
}

void DeviceWindow::post(UINT message, int32_t wParam, int32_t lParam)
{
    d->port.post(message, wParam, lParam);
}
