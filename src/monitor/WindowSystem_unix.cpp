// Tavix CallerID: the two window-system calls that route a window's messages, over MessagePort.
#include "monitor/WindowSystem.h"

LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR newValue)
{
    MessagePort* port = MessagePort::fromHandle(window);
    if (!port || index != GWLP_WNDPROC)
        return 0;
    return reinterpret_cast<LONG_PTR>(port->setWindowProc(reinterpret_cast<WNDPROC>(newValue)));
}

LRESULT CallWindowProcW(WNDPROC procedure, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!procedure)
        procedure = &MessagePort::defaultWindowProc;
    return procedure(window, message, wParam, lParam);
}
