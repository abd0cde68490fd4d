// Tavix CallerID simulator: the simulated AD101 box behind the exported library entries.
#include "simulator/SimulatedBox.h"

#include "monitor/DeviceEvents.h"
#include "simulator/BoxController.h"
#include "simulator/ControlChannel.h"
#include "simulator/ControlServer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

using Clock = EventScheduler::Clock;

// Writes at most `width` characters and the NUL, whatever the stored text's length.
void copyText(char* buffer, const std::string& text, int width)
{
    if (!buffer)
        return;
    const size_t length = std::min(text.size(), static_cast<size_t>(width));
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

bool isLine(int32_t line)
{
    return line >= 0 && line < kBoxLineCount;
}

LineState freshLine(int32_t index, uint64_t epoch)
{
    LineState line;
    line.cpuId = "A1B" + std::to_string(index);
    // Steps still scheduled for the line's previous life must not match.
    line.epoch = epoch;
    return line;
}

// What a box with four connected lines reports when it is opened: each channel's device
// report, then each CPU identifier, then each channel enabled.
std::vector<DeviceEvent> openingEvents()
{
    std::vector<DeviceEvent> events;
    for (int32_t kind : {EV_BACK_DEVICE, EV_BACK_CPU_ID, EV_BACK_ENABLE}) {
        for (int32_t line = 0; line < kBoxLineCount; ++line)
            events.push_back(lineEvent(line, kind));
    }
    return events;
}

} // namespace

SimulatedBox::SimulatedBox()
{
    for (size_t line = 0; line < m_lines.size(); ++line)
        m_lines[line] = freshLine(static_cast<int32_t>(line), 0);
}

SimulatedBox::~SimulatedBox()
{
    // The socket thread calls into the box, so it goes first.
    m_server.reset();
    closeSession();
}

int32_t SimulatedBox::AD101_InitDevice(AD101WindowHandle window)
{
    closeSession();
    m_worker.start();
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_target = EventTarget::fromHandle(window);
        // Every opening finds a box fresh from the factory.
        m_settings = {};
        for (size_t line = 0; line < m_lines.size(); ++line)
            m_lines[line] = freshLine(static_cast<int32_t>(line), m_lines[line].epoch + 1);
        postSoon(openingEvents());
    }
    startControlSocket();
    return 1;
}

int32_t SimulatedBox::AD101_GetDevice()
{
    std::lock_guard lock(m_mutex);
    return m_open ? 1 : 0;
}

int32_t SimulatedBox::AD101_FreeDevice()
{
    const bool wasOpen = AD101_GetDevice() != 0;
    closeSession();
    return wasOpen ? 1 : 0;
}

void SimulatedBox::closeSession()
{
    {
        std::lock_guard lock(m_mutex);
        m_open = false;
        m_target = {};
    }
    // Joins the worker: once this returns, nothing is posted any more.
    m_worker.stop();
}

void SimulatedBox::startControlSocket()
{
    try {
        const std::string path = defaultControlAddress();
        if (m_server && m_server->path() == path && m_server->ownsPath())
            return;
        m_server.reset();
        m_server = std::make_unique<ControlServer>(
            path,
            [this](const std::string& request) { return BoxController(*this).handle(request); },
            BoxController::tooLongReply());
    } catch (const std::exception& error) {
        // The box works without its socket; only tavix-sim cannot reach it.
        std::fprintf(stderr, "tavix-ad101: no control socket: %s\n", error.what());
    }
}

template <typename Query> int32_t SimulatedBox::query(int32_t line, Query query)
{
    std::lock_guard lock(m_mutex);
    if (!m_open || !isLine(line))
        return 0;
    return query(m_lines[static_cast<size_t>(line)]);
}

template <typename Command> int32_t SimulatedBox::command(Command command)
{
    std::lock_guard lock(m_mutex);
    if (!m_open)
        return 0;
    command(m_settings);
    return 1;
}

int32_t SimulatedBox::AD101_SetLED(int32_t line, int32_t code)
{
    return query(line, [code](LineState& state) { return state.led = code, 1; });
}

int32_t SimulatedBox::AD101_SetBusy(int32_t line, int32_t flag)
{
    return query(line, [flag](LineState& state) { return state.busy = flag, 1; });
}

int32_t SimulatedBox::AD101_ShowCollateralPhoneDialed(int32_t show)
{
    return command([show](BoxSettings& settings) { settings.showCollateralPhoneDialed = show; });
}

int32_t SimulatedBox::AD101_SetDialOutStartTalkingTime(int32_t seconds)
{
    return command(
        [seconds](BoxSettings& settings) { settings.dialOutStartTalkingTime = seconds; });
}

int32_t SimulatedBox::AD101_SetRingOffTime(int32_t seconds)
{
    return command([seconds](BoxSettings& settings) { settings.ringOffTime = seconds; });
}

int32_t SimulatedBox::AD101_ReadParameter(int32_t line)
{
    return query(line, [this, line](LineState&) {
        // Answered later, like the hardware's round trip.
        postSoon({lineEvent(line, EV_PARAMETER)});
        return 1;
    });
}

int32_t SimulatedBox::AD101_GetParameter(int32_t line, AD101TimingParameters* record)
{
    return query(line, [record](LineState& state) {
        if (!record)
            return 0;
        *record = state.parameters;
        return 1;
    });
}

int32_t SimulatedBox::AD101_SetParameter(int32_t line, const AD101TimingParameters* record)
{
    return query(line, [record](LineState& state) {
        if (!record)
            return 0;
        state.parameters = *record;
        return 1;
    });
}

int32_t SimulatedBox::AD101_GetCallerID(int32_t line, char* callerId, char* name, char* time)
{
    return query(line, [=](LineState& state) {
        copyText(callerId, state.callerId, AD101_CALLERID_WIDTH);
        copyText(name, state.name, AD101_NAME_WIDTH);
        copyText(time, state.time, AD101_TIME_WIDTH);
        return state.callerId.empty() ? 0 : 1;
    });
}

int32_t SimulatedBox::AD101_GetRingIndex(int32_t line)
{
    return query(line, [](LineState& state) { return state.rings; });
}

int32_t SimulatedBox::getText(int32_t line, char* buffer, std::string LineState::*text, int width)
{
    return query(line, [=](LineState& state) {
        copyText(buffer, state.*text, width);
        return 1;
    });
}

int32_t SimulatedBox::AD101_GetDialDigit(int32_t line, char* digits)
{
    return getText(line, digits, &LineState::digits, AD101_DIGITS_WIDTH);
}

int32_t SimulatedBox::AD101_GetCollateralDialDigit(int32_t line, char* digits)
{
    return getText(line, digits, &LineState::collateral, AD101_DIGITS_WIDTH);
}

int32_t SimulatedBox::AD101_GetCPUVersion(int32_t line, char* version)
{
    return getText(line, version, &LineState::cpuVersion, AD101_CPUVERSION_WIDTH);
}

int32_t SimulatedBox::AD101_GetCPUID(int32_t line, char* id)
{
    return getText(line, id, &LineState::cpuId, AD101_CPUID_WIDTH);
}

BoxSnapshot SimulatedBox::snapshot() const
{
    std::lock_guard lock(m_mutex);
    return {m_open, m_settings, m_lines};
}

BoxSettings SimulatedBox::settings() const
{
    std::lock_guard lock(m_mutex);
    return m_settings;
}

void SimulatedBox::requireOpen() const
{
    if (!m_open)
        throw BoxError("the box is closed (AD101_FreeDevice was called, or AD101_InitDevice "
                       "not yet)");
}

LineState& SimulatedBox::openLine(int32_t line)
{
    requireOpen();
    if (!isLine(line))
        throw BoxError("no line " + std::to_string(line) + ": the box has lines 0 to 3");
    return m_lines[static_cast<size_t>(line)];
}

void SimulatedBox::post(int32_t wParam, int32_t lParam)
{
    std::lock_guard lock(m_mutex);
    requireOpen();
    postSoon({{wParam, lParam}});
}

void SimulatedBox::postSoon(std::vector<DeviceEvent> events)
{
    m_worker.schedule(Clock::now(), [this, events = std::move(events)] {
        std::unique_lock lock(m_mutex);
        if (!m_open)
            return;
        const EventTarget target = m_target;
        lock.unlock();
        target.post(events);
    });
}

void SimulatedBox::changeLine(int32_t line, const std::function<void(LineState&)>& change)
{
    std::lock_guard lock(m_mutex);
    change(openLine(line));
}

void SimulatedBox::play(int32_t line, const Scenario& scenario)
{
    std::lock_guard lock(m_mutex);
    LineState& state = openLine(line);
    if (scenario.takesOverLine)
        ++state.epoch;
    const uint64_t epoch = state.epoch;
    const auto start = Clock::now();
    for (const ScenarioStep& step : scenario.steps) {
        m_worker.schedule(start + step.at,
                          [this, line, epoch, step] { runStep(line, epoch, step); });
    }
}

void SimulatedBox::runStep(int32_t line, uint64_t epoch, const ScenarioStep& step)
{
    std::unique_lock lock(m_mutex);
    LineState& state = m_lines[static_cast<size_t>(line)];
    if (!m_open || state.epoch != epoch)
        return;
    const std::vector<DeviceEvent> events = step.apply(line, state);
    const EventTarget target = m_target;
    lock.unlock();
    target.post(events);
}
