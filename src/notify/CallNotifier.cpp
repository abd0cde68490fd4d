// Tavix CallerID: the web notification of an incoming caller ID.
#include "notify/CallNotifier.h"

#include "log/ActivityLog.h"
#include "notify/ConnectorHost.h"
#include "notify/LoginStore.h"
#include "notify/Redaction.h"

#include <QMetaObject>

#include <charconv>
#include <cstdio>
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

constexpr const char* kConnectorPath = "/includes/content/caller_id/connector.php";
// Of an error page's body, the log keeps the start: enough to say what went wrong.
constexpr size_t kErrorBodyStart = 200;

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

// The device's field is padded with NULs; only the text before them is the number.
std::string_view callerDigits(const std::string& callerID)
{
    return std::string_view(callerID).substr(0, callerID.find('\0'));
}

// At most `bytes` of `text`, never cutting a UTF-8 character.
std::string startOf(const std::string& text, size_t bytes)
{
    if (text.size() <= bytes)
        return text;
    size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end) + "...";
}

// A setting's value as a message shows it: control characters as \xNN.
std::string shown(const std::string& value)
{
    std::string text;
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            text += escaped;
        } else {
            text += c;
        }
    }
    return text;
}

std::string settingsFile()
{
    return "section [" + std::string(LoginStore::kSection) + "] of " +
           LoginStore::fileName().toStdString();
}

std::string callerOnLine(const std::string& caller, const std::string& lineNumber)
{
    return "the caller " + (caller.empty() ? std::string("(no number)") : caller) + " on line " +
           lineNumber;
}

} // namespace

CallNotifier::CallNotifier(const ActivityLog& log, std::string host, std::string caFile,
                           std::chrono::milliseconds timeout)
    : m_log(log), m_host(std::move(host)),
      m_transfer([this](HttpsTransfer::RequestId id,
                        TransferResult result) { completed(id, std::move(result)); },
                 timeout, std::move(caFile))
{
    if (!m_host.empty())
        m_hostProblem = ConnectorHost::problem(QString::fromStdString(m_host)).toStdString();
    if (!m_hostProblem.empty()) {
        const std::string text = "The setting \"host\" in " + settingsFile() + " is \"" +
                                 shown(m_host) +
                                 "\", which is not a web application host: " + m_hostProblem +
                                 ". Callers are logged but not sent until it is corrected in "
                                 "Settings (a host name or address, optionally with :port).";
        // Once the event loop runs, when whoever shows it is connected.
        QMetaObject::invokeMethod(
            this, [this, text] { reportProblem(text); }, Qt::QueuedConnection);
    } else if (!m_host.empty()) {
        m_transfer.checkAuthorities();
    }
}

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

    // The values are encoded here rather than by QUrlQuery, which leaves "+" as it is: a form
    // decoder would read it as a blank.
    const std::string query =
        "action=newcall&user=" +
        percentEncoded(std::string_view(userUtf8.constData(), userUtf8.size())) +
        "&line=" + number + "&password=" +
        percentEncoded(std::string_view(passwordUtf8.constData(), passwordUtf8.size())) +
        "&caller=" + percentEncoded(callerDigits(callerID));
    const QUrl url = ConnectorHost(QString::fromStdString(m_host))
                         .url(QString::fromLatin1(kConnectorPath), QString::fromLatin1(query));
    return url.toString(QUrl::FullyEncoded).toStdString();
}

CallNotifier::Started CallNotifier::SendCall(const std::string& callerID, const std::string& line,
                                             const QString& user, const QString& password)
{
    const CallId id = s_nextId++;
    PendingCall call;
    try {
        call = {lineNumber(line), std::string(callerDigits(callerID)),
                password.toUtf8().toStdString()};
    } catch (const std::exception& error) {
        // Only the error's entry: an extra empty "reply" would read as if the connector had
        // answered.
        m_log.WriteLog(error.what());
        return {id, {CallDelivery::State::Failed, firstLine(error.what())}};
    }
    const std::string who = callerOnLine(call.caller, call.lineNumber);
    if (m_host.empty()) {
        // Not even a name lookup: there is nobody to ask.
        m_log.WriteLog(
            "No web application host is set, so " + who +
            " was not sent to it. Set the web application's host in Settings (or \"host\" in " +
            settingsFile() + ", then restart the program).");
        return {id, {CallDelivery::State::NotSent, "No web application host is set"}};
    }
    if (!m_hostProblem.empty()) {
        m_log.WriteLog(
            "The web application's host \"" + shown(m_host) + "\" is not usable (" + m_hostProblem +
            "), so " + who +
            " was not sent to it. Correct the web application's host in Settings (or \"host\" "
            "in " +
            settingsFile() + ", then restart the program).");
        return {id,
                {CallDelivery::State::NotSent,
                 firstLine("The web application's host is not usable: " + m_hostProblem)}};
    }
    if (m_pending.size() >= kMaxWaitingRequests) {
        m_log.WriteLog("Too many callers are waiting for the web application (" +
                       std::to_string(kMaxWaitingRequests) + "), so " + who +
                       " was not sent to it.");
        return {id, {CallDelivery::State::NotSent, "Too many callers were waiting"}};
    }
    std::string url = connectorUrl(callerID, line, user, password);
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
        if (id == 0) {
            reportProblem(result.text);
            continue;
        }
        const auto found = m_pending.find(id);
        if (found == m_pending.end())
            continue;
        const PendingCall call = std::move(found->second);
        m_pending.erase(found);
        if (result.notSent)
            reportProblem(result.text);
        m_log.WriteLog(entryFor(call, result));
        emit delivered(id, deliveryOf(call, result));
    }
}

std::string CallNotifier::entryFor(const PendingCall& call, const TransferResult& result) const
{
    const std::string text = Redaction::withoutSecrets(result.text, call.password, kConnectorPath);
    const std::string who = callerOnLine(call.caller, call.lineNumber);
    if (result.notSent)
        return "The request for " + who + " was not sent to the web application: " + text;
    if (!result.ok)
        return "No reply from the web application for " + who + ": " + text;
    const std::string status = "HTTP " + std::to_string(result.status);
    if (result.status < 200 || result.status > 299)
        return status + " from the web application for " + who + ": " +
               (text.empty() ? std::string("(no text)") : startOf(text, kErrorBodyStart));
    // The reply as it came: the web application's own words.
    if (text.empty())
        return "Empty reply (" + status + ") from the web application for " + who + ".";
    return text;
}

CallDelivery CallNotifier::deliveryOf(const PendingCall& call, const TransferResult& result) const
{
    using State = CallDelivery::State;
    const std::string text = Redaction::withoutSecrets(result.text, call.password, kConnectorPath);
    if (result.notSent)
        return {State::NotSent, firstLine(text)};
    if (!result.ok)
        return {State::Failed, firstLine(text)};
    const std::string status = "HTTP " + std::to_string(result.status);
    if (result.status < 200 || result.status > 299)
        return {State::Failed, firstLine(status + ": " + text)};
    return {State::Sent, text.empty() ? "Empty reply (" + status + ")" : firstLine(text)};
}

void CallNotifier::reportProblem(const std::string& text)
{
    if (text == m_reportedProblem)
        return;
    m_reportedProblem = text;
    emit settingsProblem(QString::fromStdString(text));
}

void CallNotifier::abandonPending()
{
    m_transfer.abandon();
    // Replies that arrived before the transfer stopped are logged as replies.
    logCompleted();
    for (const auto& [id, call] : m_pending)
        m_log.WriteLog("No reply from the web application yet for " +
                       callerOnLine(call.caller, call.lineNumber) +
                       ": the request was abandoned because the program is closing.");
    const auto abandoned = std::exchange(m_pending, {});
    for (const auto& [id, call] : abandoned)
        emit delivered(id, {CallDelivery::State::Abandoned,
                            "The program closed before the web application answered"});
}
