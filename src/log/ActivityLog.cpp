// Tavix CallerID: the append-only activity log.
#include "log/ActivityLog.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <system_error>

std::filesystem::path ActivityLog::defaultPath()
{
    std::filesystem::path state;
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && *xdg == '/')
        state = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        state = std::filesystem::path(home) / ".local" / "state";
    else
        state = std::filesystem::temp_directory_path();
    return state / "tavix" / "tavix.log";
}

TimeOfDay ActivityLog::localTimeOfDay()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_hour, local.tm_min, local.tm_sec};
}

ActivityLog::ActivityLog(std::filesystem::path path, Clock clock)
    : m_path(std::move(path)), m_clock(std::move(clock))
{
}

void ActivityLog::WriteLog(std::string_view text) const
{
    std::FILE* file = std::fopen(m_path.c_str(), "ab");
    if (!file && errno == ENOENT && m_path.has_parent_path()) {
        // The folder is made only when it is missing, not checked on every entry.
        std::error_code ignored;
        std::filesystem::create_directories(m_path.parent_path(), ignored);
        file = std::fopen(m_path.c_str(), "ab");
    }
    if (!file)
        throw LogError("Cannot open the log file " + m_path.string() + ": " + std::strerror(errno));

    const TimeOfDay t = m_clock();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "> %02d%02d%02d: ", t.hour % 100, t.minute % 100,
                  t.second % 100);
    std::string entry;
    entry.reserve(text.size() + 24);
    entry.append(stamp).append(text).append("\r\n...\r\n");

    // One write of the whole entry, so that a reader never sees half of it.
    const size_t written = std::fwrite(entry.data(), 1, entry.size(), file);
    const int writeErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (written != entry.size() || !closed)
        throw LogError("Cannot write the log file " + m_path.string() + ": " +
                       std::strerror(written != entry.size() ? writeErrno : errno));
}
