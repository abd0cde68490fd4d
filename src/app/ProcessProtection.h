// Tavix CallerID: what the process's memory holds stays in it, and nothing in the environment
// ends it or sends its files to a shared folder.
#pragma once

// The settings' password is in memory while the program runs: a crash leaves no core file
// holding it, and other processes of the same user cannot read the memory.
void protectProcessMemory();

// First thing in main(), before Qt starts: protectProcessMemory(); a log at the file-size limit
// is a full log rather than the end of the program (SIGXFSZ ignored); and Qt is given the
// program's own runtime folder where the environment names none that is private, so that it
// never makes one of its own in /tmp.
void protectProcess();
