// Tavix CallerID simulator: the record of every library call the box received.
#include "simulator/CallTrace.h"

#include <cstdlib>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Opened and closed per line: nothing is lost when the program ends abruptly, and a test may
// point the variable elsewhere between calls. An empty value counts as unset.
void appendToTraceFile(const std::string& line)
{
    const char* path = std::getenv("TAVIX_SIM_TRACE");
    if (!path || !*path)
        return;
    const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const std::string text = line + '\n';
    // One write with O_APPEND keeps lines whole even if another process shares the file.
    [[maybe_unused]] const ssize_t written = write(fd, text.data(), text.size());
    close(fd);
}

} // namespace

void CallTrace::append(std::string line)
{
    std::lock_guard lock(m_mutex);
    appendToTraceFile(line);
    m_lines.push_back(std::move(line));
}

std::vector<std::string> CallTrace::lines() const
{
    std::lock_guard lock(m_mutex);
    return m_lines;
}

std::vector<std::string> CallTrace::take()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_lines, {});
}
