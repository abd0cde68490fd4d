// Tavix CallerID simulator: where the box's control channel is reached.
#include "simulator/ControlAddress.h"

#include "simulator/SocketPath.h"

std::string defaultControlAddress()
{
    return defaultSocketPath();
}
