// Tavix CallerID simulator: the record of every library call the box received.
#include "simulator/CallTrace.h"

#include "platform/AppendFile.h"

#include <cstdlib>
#include <utility>

namespace {

// Looked up per line: a test may point the variable elsewhere between calls. An empty value
// counts as unset. Opened and closed per line, so nothing is lost when the program ends
// abruptly; a file that cannot be written is skipped, the trace in memory still has the line.
void appendToTraceFile(const std::string& line)
{
    const char* path = std::getenv("TAVIX_SIM_TRACE");
    if (!path || !*path)
        return;
    try {
        AppendFile::appendWhole(path, line + '\n');
    } catch (const AppendError&) {
    }
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
