// Tavix CallerID: the append-only activity log.
#pragma once

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string_view>

class LogObserver;

// The log file could not be opened or written; the entry is lost.
class LogError : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

struct TimeOfDay
{
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Appends entries of two lines, "> hhmmss: text" and "...", each ended by CR LF. Every call
// opens the file, writes and closes it, so nothing is held open between entries. The log has
// one writer, the GUI thread.
class ActivityLog
{
  public:
    using Clock = std::function<TimeOfDay()>;

    // The per-user log: tavix.log in UserFolders::programFolder(), which this makes private when
    // it is missing; on Windows C:\tavix.log where it can be written, else tavix.log in the
    // user's own program folder. Throws UserFolderError when there is no place for it.
    static std::filesystem::path defaultPath();
    static TimeOfDay localTimeOfDay();

    explicit ActivityLog(std::filesystem::path path = defaultPath(), Clock clock = &localTimeOfDay);

    const std::filesystem::path& path() const { return m_path; }

    // Null: nobody is told.
    void setObserver(LogObserver* observer) { m_observer = observer; }
    // False while the last entry failed.
    bool writable() const { return m_writable; }

    // Writes `text` byte for byte, NUL characters included, except that every other control
    // character (line breaks, ESC, BS, DEL, the C1 controls) becomes one blank: an entry is
    // always exactly its two lines, and nothing in it moves a terminal's cursor. The entry is
    // written whole or not at all; a failure goes to the observer, never to the caller.
    void WriteLog(std::string_view text) const noexcept;

  private:
    void entryFailed(const char* reason) const noexcept;
    void entryWritten() const noexcept;

    std::filesystem::path m_path;
    Clock m_clock;
    LogObserver* m_observer = nullptr;
    mutable bool m_writable = true;
};
