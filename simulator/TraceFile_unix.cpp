// Tavix CallerID simulator: the trace file that TAVIX_SIM_TRACE names.
#include "simulator/TraceFile.h"

#include <fcntl.h>
#include <unistd.h>

void TraceFile::append(const char* path, const std::string& text)
{
    const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    // One write with O_APPEND keeps lines whole even if another process shares the file.
    [[maybe_unused]] const ssize_t written = write(fd, text.data(), text.size());
    close(fd);
}
