// Tavix CallerID: no core file and no ptrace access for the program's memory.
#include "app/ProcessProtection.h"

#include <sys/prctl.h>
#include <sys/resource.h>

void protectProcessMemory()
{
    // Not dumpable: no core file whatever the system's core pattern says, and no ptrace attach
    // by the same user. The zero core limit holds for any process this one starts.
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
}
