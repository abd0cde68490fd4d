// Tavix CallerID tests: loads the device library the way the program does and says how it went.
#include "device/DeviceLibrary.h"

#include <cstdio>

int main()
{
    try {
        DeviceLibrary device;
        device.resolveAll();
        device.AD101_GetDevice();
        std::puts("loaded");
        return 0;
    } catch (const DeviceError& error) {
        std::puts(error.what());
        return 2;
    }
}
