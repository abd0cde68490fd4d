// Tavix CallerID: nothing to do on Windows.
#include "app/ProcessProtection.h"

// Windows writes no core file into the working folder: a crash goes to Windows Error Reporting,
// which keeps no memory dump unless an administrator has turned local dumps on. Other users'
// processes cannot open this one's memory.
void protectProcessMemory() {}

// Windows has neither a file-size signal nor Qt's runtime folder in a shared place.
void protectProcess() {}
