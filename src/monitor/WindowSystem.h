// Tavix CallerID: a window's chain of window procedures. On Windows these are the system's own
// calls; elsewhere the same names stand in for them over MessagePort, the window there.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include "monitor/MessagePort.h"

#include <cstdint>

using HWND = AD101WindowHandle;
using UINT = uint32_t;
using WPARAM = int32_t;
using LPARAM = int32_t;
using LRESULT = int32_t;
using LONG_PTR = intptr_t;
using WNDPROC = WindowProc;
#define CALLBACK
constexpr int GWLP_WNDPROC = -4;

// Replaces the window procedure of `window` and returns the previous one, as a pointer-sized
// value. Only GWLP_WNDPROC is supported; anything else, or a handle that is no window, gives 0.
LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR newValue);
// Calls `procedure` (the default procedure when it is null) and returns its result.
LRESULT CallWindowProcW(WNDPROC procedure, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
#endif
