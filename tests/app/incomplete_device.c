/* Tavix CallerID tests: a device library that has only its first entry. */
#include "device/ad101_api.h"

int32_t AD101_CALL AD101_InitDevice(AD101WindowHandle hWnd)
{
    (void)hWnd;
    return 1;
}
