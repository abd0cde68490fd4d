// Tavix CallerID: the append-only activity log.
#pragma once

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string_view>

// The log file could not be opened or written; the entry is lost.
class LogError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct TimeOfDay {
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Appends entries of two lines, "> hhmmss: text" and "...", each ended by CR LF. Every call
// opens the file, writes and closes it, so nothing is held open between entries.
class ActivityLog
{
public:
    using Clock = std::function<TimeOfDay()>;

    // The per-user log: $XDG_STATE_HOME/tavix/tavix.log, or ~/.local/state/tavix/tavix.log.
    static std::filesystem::path defaultPath();
    static TimeOfDay localTimeOfDay();

    explicit ActivityLog(std::filesystem::path path = defaultPath(), Clock clock = &localTimeOfDay);

    const std::filesystem::path& path() const { return m_path; }

    // Writes `text` byte for byte. Throws LogError when the entry cannot be written.
    void WriteLog(std::string_view text) const;

private:
    std::filesystem::path m_path;
    Clock m_clock;
};
