// Tavix CallerID simulator: where the simulated box's control socket lives.
#pragma once

#include <string>

#include <sys/un.h>

// tavix-ad101.sock in the user's runtime folder (UserFolders::runtimeFolder()), a folder no
// other user can enter. Throws UserFolderError (a std::runtime_error) when there is none.
std::string defaultSocketPath();

// The address of a socket file; throws std::runtime_error when the path does not fit.
sockaddr_un unixSocketAddress(const std::string& path);
