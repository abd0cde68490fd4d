// Tavix CallerID: the device's window on Windows: a native window whose procedure chain
// DeviceWindowProc joins.
#include "monitor/DeviceWindow.h"

#include "monitor/DeviceEventHandler.h"
#include "monitor/DeviceEvents.h"

#include <windows.h>

// The window procedure that DeviceWindowProc replaced; every message goes on to it.
WNDPROC OldWindowProc = nullptr;

namespace {

DeviceEventHandler* g_activeHandler = nullptr;
DeviceWindowProcedure g_replacedProcedure = nullptr;

constexpr const wchar_t* kOwnWindowClass = L"TavixDeviceWindow";

// The device posts signed 32-bit values; on 64-bit Windows they arrive widened.
int32_t narrowed(WPARAM value)
{
    return static_cast<int32_t>(value);
}
int32_t narrowed(LPARAM value)
{
    return static_cast<int32_t>(value);
}

LRESULT CALLBACK replacedProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return g_replacedProcedure(reinterpret_cast<AD101WindowHandle>(window), message,
                               narrowed(wParam), narrowed(lParam));
}

HWND makeOwnWindow()
{
    static const ATOM windowClass = [] {
        WNDCLASSW description{};
        description.lpfnWndProc = &DefWindowProcW;
        description.hInstance = GetModuleHandleW(nullptr);
        description.lpszClassName = kOwnWindowClass;
        return RegisterClassW(&description);
    }();
    if (!windowClass)
        return nullptr;
    // Message-only: never shown, never enumerated, receives what is posted to it.
    return CreateWindowExW(0, kOwnWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

} // namespace

// Hands WM_DEVICE_EVENT to the installed handler, then passes every message, unchanged, to
// OldWindowProc and returns its result.
LRESULT CALLBACK DeviceWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DEVICE_EVENT && g_activeHandler)
        g_activeHandler->HandleDeviceEvent(narrowed(wParam), narrowed(lParam));
    return CallWindowProcW(OldWindowProc, window, message, wParam, lParam);
}

struct DeviceWindow::Impl
{
    HWND window = nullptr;
    bool own = false;
};

// For a window of a widget: the owner's window flags are all set by the time it gives its
// native window, so Qt keeps this window for the owner's whole life.
DeviceWindow::DeviceWindow(std::uintptr_t nativeWindow) : d(std::make_unique<Impl>())
{
    d->window = reinterpret_cast<HWND>(nativeWindow);
    // A platform without native windows (Qt's offscreen one) gives ids that are no windows:
    // the device then posts to a window of our own, as without a window at all.
    if (!d->window || !IsWindow(d->window)) {
        d->window = makeOwnWindow();
        d->own = true;
    }
}

DeviceWindow::~DeviceWindow()
{
    g_activeHandler = nullptr;
    if (d->own && d->window)
        DestroyWindow(d->window);
}

AD101WindowHandle DeviceWindow::handle() const
{
    return reinterpret_cast<AD101WindowHandle>(d->window);
}

void DeviceWindow::installDeviceWindowProc(DeviceEventHandler* handler)
{
    g_activeHandler = handler;
    const auto previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(d->window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DeviceWindowProc)));
    // Installing again must not make the procedure its own predecessor.
    if (previous != &DeviceWindowProc)
        OldWindowProc = previous;
}

void DeviceWindow::replaceWindowProcedure(DeviceWindowProcedure procedure)
{
    g_replacedProcedure = procedure;
    SetWindowLongPtrW(d->window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&replacedProcedure));
}

void DeviceWindow::post(uint32_t message, int32_t wParam, int32_t lParam)
{
    // As the device library does: signed values, widened on 64-bit Windows.
    PostMessageW(d->window, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
}

int32_t DeviceWindow::send(uint32_t message, int32_t wParam, int32_t lParam)
{
    return static_cast<int32_t>(
        SendMessageW(d->window, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)));
}

void DeviceWindow::deliverPosted()
{
    MSG message;
    while (PeekMessageW(&message, d->window, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
}
