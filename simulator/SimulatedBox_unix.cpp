// Tavix CallerID simulator: the one box of the process.
#include "simulator/SimulatedBox.h"

SimulatedBox& SimulatedBox::instance()
{
    // Destroyed at exit, which stops its threads and removes the socket file.
    static SimulatedBox box;
    return box;
}
