// Tavix CallerID: the window whose handle the device library is given and posts its events to.
#pragma once

#include "device/ad101_api.h"

#include <cstdint>
#include <memory>

class DeviceEventHandler;

// A window procedure in the device's terms: wParam and lParam as the signed 32-bit values the
// library posts, on every system.
using DeviceWindowProcedure = int32_t (*)(AD101WindowHandle window, uint32_t message,
                                          int32_t wParam, int32_t lParam);

// On Windows a native window, whose procedure chain DeviceWindowProc joins; elsewhere a message
// port standing in for one. Messages posted from any thread are handled on the thread that made
// the object, by its event loop, one at a time and in order. The handle stays the same for the
// object's life. One at a time: DeviceWindowProc is one per process.
class DeviceWindow
{
  public:
    // nativeWindow: on Windows the window whose procedure is replaced (its native handle as a
    // number, as QWidget::winId() gives it); 0, or an id that is no window (as Qt's offscreen
    // platform gives), makes a hidden window of the object's own.
    // Elsewhere it is not used.
    explicit DeviceWindow(std::uintptr_t nativeWindow = 0);
    ~DeviceWindow();
    DeviceWindow(const DeviceWindow&) = delete;
    DeviceWindow& operator=(const DeviceWindow&) = delete;

    // The handle given to the device library.
    AD101WindowHandle handle() const;

    // Puts DeviceWindowProc in place of the window's procedure, keeping that one as
    // OldWindowProc, and makes `handler` the one it hands WM_DEVICE_EVENT to (null: none, from
    // now on). Every message, handled or not, then goes on unchanged to OldWindowProc.
    void installDeviceWindowProc(DeviceEventHandler* handler);

    // For tests watching what comes down the chain: makes `procedure` the window's own
    // procedure, the one DeviceWindowProc replaces. Before installDeviceWindowProc().
    void replaceWindowProcedure(DeviceWindowProcedure procedure);

    // Posts a message as the device library does: from any thread, queued.
    void post(uint32_t message, int32_t wParam, int32_t lParam);
    // Runs the window's procedure for a message now, as the system does for a message sent to
    // the window, and returns its result.
    int32_t send(uint32_t message, int32_t wParam, int32_t lParam);
    // Handles every message posted to the window so far (the event loop does this by itself).
    void deliverPosted();

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
