// Tavix CallerID simulator: where the simulated box's control socket lives.
#pragma once

#include <string>

#include <sys/un.h>

// $XDG_RUNTIME_DIR/tavix-ad101.sock, or /tmp/tavix-ad101-<uid>.sock when XDG_RUNTIME_DIR
// is unset or empty.
std::string defaultSocketPath();

// The address of a socket file; throws std::runtime_error when the path does not fit.
sockaddr_un unixSocketAddress(const std::string& path);
