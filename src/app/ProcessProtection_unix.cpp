// Tavix CallerID: no core file and no ptrace access for the program's memory; no signal from the
// file-size limit; no runtime folder of Qt's in /tmp.
#include "app/ProcessProtection.h"

#include "platform/UserFolders.h"

#include <csignal>
#include <cstdlib>

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

void protectProcess()
{
    protectProcessMemory();
    // By default SIGXFSZ ends the process, with the device open; ignored, the write fails with
    // EFBIG, and the log loses that entry whole as on a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    // QGuiApplication asks for the runtime folder and, when XDG_RUNTIME_DIR names no private
    // one, makes $TMPDIR/runtime-<user> (/tmp: a shared folder). The program's own choice is
    // private. Without one the program stops at start-up for want of a folder for its files;
    // until then Qt's fallback is pointed where nothing can be made.
    try {
        const std::filesystem::path runtime = UserFolders::runtimeFolder();
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    } catch (const UserFolderError&) {
        unsetenv("XDG_RUNTIME_DIR");
        setenv("TMPDIR", "/proc/self/fd", 1);
    }
}
