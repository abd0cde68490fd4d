// Tavix CallerID: the web notification of an incoming caller ID.
#include "notify/CallNotifier.h"

#include "log/ActivityLog.h"
#include "notify/LoginStore.h"

#include <QMetaObject>

#include <charconv>
#include <cstdint>
#include <exception>
#include <limits>
#include <stdexcept>
#include <string_view>
#include <utility>

#ifndef TAVIX_CONNECTOR_HOST
#define TAVIX_CONNECTOR_HOST ""
#endif
const char* const kDefaultConnectorHost = TAVIX_CONNECTOR_HOST;

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
// reaches the connector as saved instead of splitting or cutting the query. Everything but the
// unreserved characters (letters, digits, "-._~") is encoded, as UTF-8.
std::string percentEncoded(std::string_view value)
{
    const QByteArray encoded =
        QByteArray(value.data(), static_cast<qsizetype>(value.size())).toPercentEncoding();
    return encoded.toStdString();
}

// The device's field is padded with NULs; only the text before them is the number.
std::string_view callerDigits(const std::string& callerID)
{
    return std::string_view(callerID).substr(0, callerID.find('\0'));
}

} // namespace

CallNotifier::CallNotifier(const ActivityLog& log, std::string host, std::string caFile,
                           std::chrono::milliseconds timeout)
    : m_log(log), m_host(std::move(host)),
      m_transfer([this](HttpsTransfer::RequestId id,
                        TransferResult result) { completed(id, std::move(result)); },
                 timeout, std::move(caFile))
{}

CallNotifier::~CallNotifier()
{
    abandonPending();
}

std::string CallNotifier::connectorUrl(const std::string& callerID, const std::string& line,
                                       const QString& user, const QString& password) const
{
    const std::string number = lineNumber(line);
    const QByteArray userUtf8 = user.toUtf8();
    const QByteArray passwordUtf8 = password.toUtf8();

    return "https://" + m_host + "/includes/content/caller_id/connector.php?action=newcall" +
           "&user=" + percentEncoded(std::string_view(userUtf8.constData(), userUtf8.size())) +
           "&line=" + number + "&password=" +
           percentEncoded(std::string_view(passwordUtf8.constData(), passwordUtf8.size())) +
           "&caller=" + percentEncoded(callerDigits(callerID));
}

void CallNotifier::SendCall(const std::string& callerID, const std::string& line,
                            const QString& user, const QString& password)
{
    std::string url;
    PendingCall call;
    try {
        url = connectorUrl(callerID, line, user, password);
        call = {lineNumber(line), std::string(callerDigits(callerID))};
    } catch (const std::exception& error) {
        // Only the error's entry: an extra empty "reply" would read as if the connector had
        // answered.
        m_log.WriteLog(error.what());
        return;
    }
    if (m_host.empty()) {
        // Not even a name lookup: there is nobody to ask.
        m_log.WriteLog("No web application host is set, so the caller on line " + call.lineNumber +
                       " was not sent to it. Set \"host\" in section [" + LoginStore::kSection +
                       "] of " + LoginStore::fileName().toStdString() +
                       " and restart the program.");
        return;
    }
    const HttpsTransfer::RequestId id = m_nextId++;
    m_pending.emplace(id, std::move(call));
    m_transfer.start(id, std::move(url));
}

void CallNotifier::completed(HttpsTransfer::RequestId id, TransferResult result)
{
    bool wake = false;
    {
        std::lock_guard lock(m_mutex);
        m_completed.emplace_back(id, std::move(result));
        wake = !std::exchange(m_wakeScheduled, true);
    }
    // One queued call per batch; the log has one writer, this object's thread.
    if (wake)
        QMetaObject::invokeMethod(this, &CallNotifier::logCompleted, Qt::QueuedConnection);
}

void CallNotifier::logCompleted()
{
    std::vector<std::pair<HttpsTransfer::RequestId, TransferResult>> done;
    {
        std::lock_guard lock(m_mutex);
        done.swap(m_completed);
        m_wakeScheduled = false;
    }
    for (auto& [id, result] : done) {
        if (m_pending.erase(id) == 0)
            continue;
        // The reply body as it came, or the error's description.
        m_log.WriteLog(result.text);
    }
}

void CallNotifier::abandonPending()
{
    m_transfer.abandon();
    // Replies that arrived before the transfer stopped are logged as replies.
    logCompleted();
    for (const auto& [id, call] : m_pending)
        m_log.WriteLog("No reply from the web application yet for the caller " +
                       (call.caller.empty() ? std::string("(no number)") : call.caller) +
                       " on line " + call.lineNumber +
                       ": the request was abandoned because the program is closing.");
    m_pending.clear();
}
