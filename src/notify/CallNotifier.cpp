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

std::atomic<CallNotifier::CallId> CallNotifier::s_nextId{1};

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

// A text's first line, cut to the length a list shows, never inside a UTF-8 sequence.
std::string firstLine(const std::string& text)
{
    std::string line = text.substr(0, text.find_first_of("\r\n"));
    if (line.size() > CallDelivery::kDetailLength) {
        size_t end = CallDelivery::kDetailLength;
        while (end > 0 && (static_cast<unsigned char>(line[end]) & 0xC0) == 0x80)
            --end;
        line.resize(end);
    }
    return line;
}

CallDelivery deliveryOf(const TransferResult& result)
{
    return {result.ok ? CallDelivery::State::Sent : CallDelivery::State::Failed,
            firstLine(result.text)};
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
    blockSignals(true);
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

CallNotifier::Started CallNotifier::SendCall(const std::string& callerID, const std::string& line,
                                             const QString& user, const QString& password)
{
    const CallId id = s_nextId++;
    std::string url;
    PendingCall call;
    try {
        url = connectorUrl(callerID, line, user, password);
        call = {lineNumber(line), std::string(callerDigits(callerID))};
    } catch (const std::exception& error) {
        // Only the error's entry: an extra empty "reply" would read as if the connector had
        // answered.
        m_log.WriteLog(error.what());
        return {id, {CallDelivery::State::Failed, firstLine(error.what())}};
    }
    if (m_host.empty()) {
        // Not even a name lookup: there is nobody to ask.
        m_log.WriteLog("No web application host is set, so the caller on line " + call.lineNumber +
                       " was not sent to it. Set \"host\" in section [" + LoginStore::kSection +
                       "] of " + LoginStore::fileName().toStdString() +
                       " and restart the program.");
        return {id, {CallDelivery::State::NotSent, "No web application host is set"}};
    }
    m_pending.emplace(id, std::move(call));
    m_transfer.start(id, std::move(url));
    return {id, {}};
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
        emit delivered(id, deliveryOf(result));
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
    const auto abandoned = std::exchange(m_pending, {});
    for (const auto& [id, call] : abandoned)
        emit delivered(id, {CallDelivery::State::Abandoned,
                            "The program closed before the web application answered"});
}
