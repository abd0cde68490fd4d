// Tavix CallerID simulator: the one box of the process.
#include "simulator/SimulatedBox.h"

#include <windows.h>

SimulatedBox& SimulatedBox::instance()
{
    // Never destroyed: by the time a DLL's statics are destroyed at exit, Windows has ended
    // the box's threads wherever they were, possibly holding a lock the destructor would
    // wait for. The pipe goes with the process. For the same reason the library stays
    // loaded once the box exists: FreeLibrary must not pull the code from under its threads.
    static SimulatedBox* const box = [] {
        HMODULE self = nullptr;
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCSTR>(&SimulatedBox::instance), &self);
        return new SimulatedBox;
    }();
    return *box;
}
