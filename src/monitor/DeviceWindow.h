// Tavix CallerID: the window whose handle the device library is given and posts its events to.
#pragma once

#include "device/ad101_api.h"
#include "monitor/WindowSystem.h"

#include <cstdint>
#include <memory>

class QWidget;

// On Windows the native window of its owner, whose procedure chain DeviceWindowProc joins; on
// other systems a MessagePort standing in for it. The handle stays the same for the object's
// life; a new owner has a new one.
class DeviceWindow
{
public:
    explicit DeviceWindow(QWidget& owner);
    ~DeviceWindow();
    DeviceWindow(const DeviceWindow&) = delete;
    DeviceWindow& operator=(const DeviceWindow&) = delete;

    HWND window() const;
    // The same, as the device library takes it.
    AD101WindowHandle handle() const { return reinterpret_cast<AD101WindowHandle>(window()); }

    // Posts a message as the device library does: from any thread, queued, handled later by the
    // window's procedure on the owner's thread.
    void post(UINT message, int32_t wParam, int32_t lParam);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
