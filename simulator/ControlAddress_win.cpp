// Tavix CallerID simulator: where the box's control channel is reached.
#include "simulator/ControlAddress.h"

#include <windows.h>

#include <lmcons.h>

std::string defaultControlAddress()
{
    std::string address = R"(\\.\pipe\tavix-ad101)";
    // Pipe names are machine-wide; the user's name keeps two users' boxes apart. Should it be
    // unknown, the pipe's access list still keeps other users out.
    char user[UNLEN + 1] = {};
    DWORD size = sizeof(user);
    if (GetUserNameA(user, &size) && user[0] != '\0')
        address += std::string("-") + user;
    return address;
}
