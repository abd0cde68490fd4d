// Tavix CallerID: the web notification of an incoming caller ID.
#include "notify/CallNotifier.h"

#include "log/ActivityLog.h"

#include <curl/curl.h>

#include <charconv>
#include <cstdint>
#include <exception>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string_view>

namespace {

// The line number as people count it: the 0-based index plus one, in signed 16 bits.
std::string lineNumber(const std::string& line)
{
    std::string_view digits = line;
    while (!digits.empty() && digits.front() == ' ')
        digits.remove_prefix(1);
    while (!digits.empty() && digits.back() == ' ')
        digits.remove_suffix(1);
    if (digits.size() > 1 && digits.front() == '+' && digits[1] != '-')
        digits.remove_prefix(1);

    int16_t index = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
    if (digits.empty() || error == std::errc::invalid_argument ||
        end != digits.data() + digits.size())
        throw std::invalid_argument("Type mismatch: the line \"" + line + "\" is not a number");
    if (error == std::errc::result_out_of_range)
        throw std::out_of_range("Overflow: the line " + line + " is outside -32768 to 32767");
    if (index == std::numeric_limits<int16_t>::max())
        throw std::out_of_range("Overflow: the line number " + line + " + 1 is above 32767");
    return std::to_string(index + 1);
}

// Deliberately unlike a plain concatenation: encoded, a "&", "=", "#", "+" or blank in a login
// reaches the connector as saved instead of splitting or cutting the query.
std::string percentEncoded(std::string_view value)
{
    // The handle argument has been unused since libcurl 7.82.
    const std::unique_ptr<char, decltype(&curl_free)> encoded(
        curl_easy_escape(nullptr, value.data(), static_cast<int>(value.size())), &curl_free);
    if (!encoded)
        throw std::bad_alloc();
    return encoded.get();
}

} // namespace

CallNotifier::CallNotifier(const ActivityLog& log, std::string host, std::string caFile,
                           std::chrono::milliseconds timeout)
    : m_log(log), m_host(std::move(host)), m_transfer(timeout, std::move(caFile))
{
}

CallNotifier::~CallNotifier() = default;

std::string CallNotifier::connectorUrl(const std::string& callerID, const std::string& line,
                                       const QString& user, const QString& password) const
{
    const std::string number = lineNumber(line);
    // The device's field is padded with NULs; only the digits before them are the number.
    const std::string_view caller = std::string_view(callerID).substr(0, callerID.find('\0'));
    const QByteArray userUtf8 = user.toUtf8();
    const QByteArray passwordUtf8 = password.toUtf8();

    return "https://" + m_host + "/includes/content/caller_id/connector.php?action=newcall" +
           "&user=" + percentEncoded(std::string_view(userUtf8.constData(), userUtf8.size())) +
           "&line=" + number + "&password=" +
           percentEncoded(std::string_view(passwordUtf8.constData(), passwordUtf8.size())) +
           "&caller=" + percentEncoded(caller);
}

void CallNotifier::SendCall(const std::string& callerID, const std::string& line,
                            const QString& user, const QString& password)
{
    try {
        m_log.WriteLog(m_transfer.OpenURL(connectorUrl(callerID, line, user, password)));
    } catch (const std::exception& error) {
        // Only the error's entry: an extra empty "reply" would read as if the connector had
        // answered. A failure to write this entry goes to the caller.
        m_log.WriteLog(error.what());
    }
}
