// Tavix CallerID: the program without its windows: line monitoring, the web notification and
// what the two windows show.
#include "monitor/CallerIdCore.h"

#include "device/DeviceLibrary.h"
#include "device/LedCode.h"
#include "log/ActivityLog.h"
#include "monitor/DeviceWindow.h"
#include "notify/CallNotifier.h"

#include <QFile>

#include <cstdio>
#include <exception>
#include <limits>
#include <stdexcept>
#include <utility>

namespace {

using namespace std::chrono_literals;

// Pruning waits until the program has started, then runs once a day.
constexpr auto kFirstPrune = 30s;
constexpr auto kPruneInterval = 24h;

} // namespace

CallerIdCore::CallerIdCore(DeviceLibrary& device, const ActivityLog& log, QObject* parent)
    : QObject(parent), m_device(device), m_log(log)
{
    // Whichever notifier reported it: each connects its delivered() to callDelivered().
    connect(this, &CallerIdCore::callDelivered, this, &CallerIdCore::recordDelivery);
    m_pruning.setSingleShot(false);
    connect(&m_pruning, &QTimer::timeout, this, &CallerIdCore::prune);
}

CallerIdCore::~CallerIdCore() = default;

void CallerIdCore::buildLineTable()
{
    m_lineStatus.build();
}

void CallerIdCore::openDevice(std::uintptr_t nativeWindow)
{
    m_handler.reset();
    m_deviceWindow = std::make_unique<DeviceWindow>(nativeWindow);
    m_handler = std::make_unique<DeviceEventHandler>(m_device, m_lineStatus, m_log, *this);
    m_deviceWindow->installDeviceWindowProc(m_handler.get());
    try {
        m_device.AD101_InitDevice(m_deviceWindow->handle());
        m_device.AD101_GetDevice();
    } catch (...) {
        // A device that did not open posts nothing; its window goes with the failed start.
        m_deviceWindow->installDeviceWindowProc(nullptr);
        m_handler.reset();
        m_deviceWindow.reset();
        throw;
    }
}

void CallerIdCore::lightCurrentLine()
{
    m_device.AD101_SetLED(m_currentLine, LED_GREEN_ON);
    m_log.WriteLog("Turn line " + std::to_string(m_currentLine) + "'s light to green");
}

std::string CallerIdCore::closeDevice()
{
    if (!m_deviceWindow)
        return {};
    // No notification is handled from here on, even one that a message box would let through.
    m_deviceWindow->installDeviceWindowProc(nullptr);
    m_handler.reset();
    std::string failure;
    try {
        m_device.AD101_FreeDevice();
    } catch (const std::exception& error) {
        failure = error.what();
    }
    // Only a freed device has stopped posting to the window's handle.
    m_deviceWindow.reset();
    return failure;
}

void CallerIdCore::switchOffCurrentLine()
{
    m_device.AD101_SetLED(m_currentLine, LED_OFF);
}

void CallerIdCore::abandonPendingCalls()
{
    if (m_notifier)
        m_notifier->abandonPending();
    // What an earlier notifier still had pending never reports.
    m_deliveries.clear();
    if (m_history)
        m_history->abandonPending();
}

QString CallerIdCore::openCallHistory(const QString& file)
{
    m_pruning.stop();
    m_deliveries.clear();
    m_history = std::make_unique<CallHistory>(file);
    connect(m_history.get(), &CallHistory::failing, this, &CallerIdCore::callHistoryProblem);
    const QString problem = m_history->open();
    if (m_history->isOpen()) {
        m_history->abandonPending();
        m_pruning.start(kFirstPrune);
    }
    if (!problem.isEmpty())
        emit callHistoryProblem(problem);
    return problem;
}

void CallerIdCore::prune()
{
    m_pruning.setInterval(kPruneInterval);
    if (m_history)
        m_history->prune();
}

bool CallerIdCore::sendAgain(CallRecord::Id id)
{
    if (!m_notifier || !m_history)
        return false;
    const CallRecord record = m_history->find(id);
    if (record.id == 0 || !record.canSendAgain())
        return false;
    const QByteArray number = record.number.toLatin1();
    const CallNotifier::Started started = m_notifier->SendCall(
        number.toStdString(), std::to_string(record.line - 1), m_loginUser, m_loginPassword);
    if (started.delivery.state == CallDelivery::State::Pending)
        m_deliveries[started.id] = id;
    m_tracker.setDelivery(id, started.delivery);
    return true;
}

void CallerIdCore::recordDelivery(CallNotifier::CallId call, const CallDelivery& delivery)
{
    const auto found = m_deliveries.find(call);
    if (found == m_deliveries.end())
        return;
    const CallRecord::Id id = found->second;
    m_deliveries.erase(found);
    m_tracker.setDelivery(id, delivery);
}

CallRecord::Id CallerIdCore::HistoryStore::add(const CallRecord& record)
{
    return m_history ? m_history->add(record) : 0;
}

void CallerIdCore::HistoryStore::update(const CallRecord& record)
{
    if (m_history)
        m_history->update(record);
}

CallRecord CallerIdCore::HistoryStore::find(CallRecord::Id id) const
{
    return m_history ? m_history->find(id) : CallRecord{};
}

AD101WindowHandle CallerIdCore::deviceWindowHandle() const
{
    return m_deviceWindow ? m_deviceWindow->handle() : nullptr;
}

QString CallerIdCore::loadSettings()
{
    LoginStore::Values stored;
    QString problem;
    try {
        stored = m_store.read();
    } catch (const SettingsError& error) {
        problem = QString::fromStdString(error.what());
    }
    m_loginUser = stored.username;
    m_loginPassword = stored.password;
    const std::string host =
        stored.host.isEmpty() ? std::string(kDefaultConnectorHost) : stored.host.toStdString();
    m_notifier =
        std::make_unique<CallNotifier>(m_log, host, QFile::encodeName(stored.caFile).toStdString());
    connect(m_notifier.get(), &CallNotifier::delivered, this, &CallerIdCore::callDelivered);
    connect(m_notifier.get(), &CallNotifier::settingsProblem, this, &CallerIdCore::settingsProblem);
    return problem;
}

void CallerIdCore::saveLogin(const QString& user, const QString& password)
{
    m_store.saveLogin(user, password);
    // What callers are sent with is what the store really holds.
    const LoginStore::Values stored = m_store.read();
    m_loginUser = stored.username;
    m_loginPassword = stored.password;
}

bool CallerIdCore::lampLit(int32_t line) const
{
    return line >= 0 && line < kLineCount && m_lamps[static_cast<size_t>(line)];
}

void CallerIdCore::LightOn(int32_t line)
{
    switchLamp(line, true);
}

void CallerIdCore::LightOff(int32_t line)
{
    switchLamp(line, false);
}

void CallerIdCore::switchLamp(int32_t line, bool lit)
{
    m_currentLine = line;
    if (line < std::numeric_limits<int16_t>::min() || line > std::numeric_limits<int16_t>::max())
        throw std::overflow_error("Overflow: line " + std::to_string(line) +
                                  " is beyond any lamp index");
    if (line < 0 || line >= kLineCount)
        throw std::out_of_range("There is no lamp for line " + std::to_string(line));
    m_lamps[static_cast<size_t>(line)] = lit;
    emit lampSwitched(line, lit);
}

void CallerIdCore::SendCall(const std::string& callerID, const std::string& line)
{
    if (!m_notifier)
        throw std::logic_error("The login and the web application's settings are not loaded: "
                               "no web notification");
    m_lastCall = m_notifier->SendCall(callerID, line, m_loginUser, m_loginPassword);
}

void CallerIdCore::showTimingParameters(int32_t line, const AD101TimingParameters& record)
{
    // The diagnostics window's line selector Combo1 lists the four lines.
    if (line < 0 || line >= kLineCount)
        throw std::out_of_range("Combo1 has no entry for line " + std::to_string(line));
    emit timingParametersReported(line, record);
}

void CallerIdCore::lineEvent(const LineEvent& event) noexcept
{
    try {
        const bool callerId = event.kind == EV_BACK_CID;
        const CallRecord::Id id =
            m_tracker.handle(event, callerId ? m_lastCall.delivery : CallDelivery{});
        if (callerId && id != 0 && m_lastCall.delivery.state == CallDelivery::State::Pending)
            m_deliveries[m_lastCall.id] = id;
    } catch (...) {
        // The calls list never costs a caller's handling either.
    }
    if (event.kind != EV_BACK_CID)
        return;
    try {
        const auto latin1 = [](const std::string& text) {
            return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
        };
        emit callerArrived({event.line, latin1(event.number), latin1(event.name),
                            latin1(event.time), m_lastCall.id, m_lastCall.delivery});
    } catch (...) {
        // What is shown of a caller never costs the caller's handling.
    }
}

void CallerIdCore::logUnwritable(const std::string& reason)
{
    std::fprintf(stderr, "tavix-callerid: %s\n", reason.c_str());
    emit logFailing(QString::fromLocal8Bit(reason.c_str()));
}

void CallerIdCore::logWritableAgain()
{
    std::fprintf(stderr, "tavix-callerid: the activity log %s can be written again\n",
                 m_log.path().string().c_str());
    emit logWritingAgain();
}
