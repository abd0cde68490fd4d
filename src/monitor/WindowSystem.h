// Tavix CallerID: the two window-system calls that route a window's messages, over MessagePort.
#pragma once

#include "monitor/MessagePort.h"

#include <cstdint>

using HWND = AD101WindowHandle;
using WNDPROC = WindowProc;
constexpr int GWL_WNDPROC = -4;

// Replaces the window procedure of `window` and returns the previous one, as a pointer-sized
// value. Only GWL_WNDPROC is supported; anything else, or a handle that is no window, gives 0.
intptr_t SetWindowLongA(HWND window, int index, intptr_t newValue);
// Calls `procedure` (the default procedure when it is null) and returns its result.
int32_t CallWindowProcA(WNDPROC procedure, HWND window, uint32_t message, int32_t wParam,
                        int32_t lParam);
