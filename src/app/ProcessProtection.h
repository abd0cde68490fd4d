// Tavix CallerID: what the process's memory holds stays in it.
#pragma once

// The settings' password is in memory while the program runs: a crash leaves no core file
// holding it, and other processes of the same user cannot read the memory.
void protectProcessMemory();
