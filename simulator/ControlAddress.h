// Tavix CallerID simulator: where the box's control channel is reached.
#pragma once

#include <string>

// The current user's address of the control channel: the socket file of SocketPath.h, or on
// Windows the named pipe \\.\pipe\tavix-ad101-<user name>. Throws std::runtime_error when
// there is none.
std::string defaultControlAddress();
