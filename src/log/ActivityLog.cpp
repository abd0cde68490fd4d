// Tavix CallerID: the append-only activity log.
#include "log/ActivityLog.h"

#include "log/LogFile.h"
#include "log/LogObserver.h"
#include "platform/AppendFile.h"
#include "platform/LocalTime.h"

#include <cstdio>
#include <ctime>
#include <exception>
#include <string>

namespace {

// Every C0 control character but NUL, and DEL: the line breaks (CR, LF, VT, FF and the file,
// group and record separators, which some readers also take as the end of a line), and the
// others, which a terminal acts on (ESC starts the sequences that move the cursor and erase
// lines, BS steps back). NUL is the device fields' fill and stays.
bool isControl(unsigned char c)
{
    return (c < 0x20 && c != '\0') || c == 0x7F;
}

// The length of the UTF-8 control character at the start of `text` (the C1 controls, NEL among
// them, and the LINE and PARAGRAPH SEPARATORs), or 0.
size_t utf8Control(std::string_view text)
{
    if (text.size() >= 2 && text[0] == '\xC2' && static_cast<unsigned char>(text[1]) >= 0x80 &&
        static_cast<unsigned char>(text[1]) <= 0x9F)
        return 2;
    if (text.starts_with("\xE2\x80\xA8") || text.starts_with("\xE2\x80\xA9"))
        return 3;
    return 0;
}

// A text holding a line break would let a device text or a web reply write a line that reads
// as an entry of its own, and one holding a terminal's control sequence would draw one.
void appendOnOneLine(std::string& entry, std::string_view text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (isControl(c)) {
            entry += ' ';
        } else if (const size_t length = c >= 0xC2 ? utf8Control(text.substr(i)) : 0) {
            entry += ' ';
            i += length - 1;
        } else {
            entry += text[i];
        }
    }
}

} // namespace

std::filesystem::path ActivityLog::defaultPath()
{
    return defaultLogFile();
}

TimeOfDay ActivityLog::localTimeOfDay()
{
    const std::tm local = localTime(std::time(nullptr));
    return {local.tm_hour, local.tm_min, local.tm_sec};
}

ActivityLog::ActivityLog(std::filesystem::path path, Clock clock)
    : m_path(std::move(path)), m_clock(std::move(clock))
{}

void ActivityLog::WriteLog(std::string_view text) const noexcept
{
    try {
        const TimeOfDay t = m_clock();
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "> %02d%02d%02d: ", t.hour % 100, t.minute % 100,
                      t.second % 100);
        std::string entry;
        entry.reserve(text.size() + 24);
        entry.append(stamp);
        appendOnOneLine(entry, text);
        entry.append("\r\n...\r\n");
        try {
            AppendFile::appendWhole(m_path, entry);
        } catch (const AppendError& error) {
            throw LogError("Cannot write the log file " + m_path.string() + ": " + error.what());
        }
    } catch (const std::exception& error) {
        entryFailed(error.what());
        return;
    } catch (...) {
        entryFailed("An unknown fault stopped an entry of the log");
        return;
    }
    entryWritten();
}

void ActivityLog::entryFailed(const char* reason) const noexcept
{
    if (!m_writable)
        return;
    m_writable = false;
    if (m_observer) {
        try {
            m_observer->logUnwritable(reason);
        } catch (...) {
            // The observer's own failure changes nothing for the log.
        }
    }
}

void ActivityLog::entryWritten() const noexcept
{
    if (m_writable)
        return;
    m_writable = true;
    if (m_observer) {
        try {
            m_observer->logWritableAgain();
        } catch (...) {
            // As above: the entry is written whatever the observer does.
        }
    }
}
