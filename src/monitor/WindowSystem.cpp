// Tavix CallerID: the two window-system calls that route a window's messages, over MessagePort.
#include "monitor/WindowSystem.h"

intptr_t SetWindowLongA(HWND window, int index, intptr_t newValue)
{
    MessagePort* port = MessagePort::fromHandle(window);
    if (!port || index != GWL_WNDPROC)
        return 0;
    return reinterpret_cast<intptr_t>(port->setWindowProc(reinterpret_cast<WNDPROC>(newValue)));
}

int32_t CallWindowProcA(WNDPROC procedure, HWND window, uint32_t message, int32_t wParam,
                        int32_t lParam)
{
    if (!procedure)
        procedure = &MessagePort::defaultWindowProc;
    return procedure(window, message, wParam, lParam);
}
