// Tavix CallerID: the device's window on Windows: the owner's own native window.
#include "monitor/DeviceWindow.h"

#include <QWidget>

struct DeviceWindow::Impl {
    HWND window = nullptr;
};

// winId() makes the native window now, before the device is given its handle; the owner's
// window flags are all set by then, so Qt keeps this window for the owner's whole life.
DeviceWindow::DeviceWindow(QWidget& owner) : d(std::make_unique<Impl>())
{
    d->window = reinterpret_cast<HWND>(owner.winId());
}

DeviceWindow::~DeviceWindow() = default;

HWND DeviceWindow::window() const
{
    return d->window;
}

void DeviceWindow::post(UINT message, int32_t wParam, int32_t lParam)
{
    // As the device library does: signed values, widened on 64-bit Windows.
    PostMessageW(d->window, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
}
