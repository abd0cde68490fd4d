// Tavix CallerID tests: a program's side of the simulated box, for the tests that drive it.
#include "SimulatorHarness.h"

#include "monitor/DeviceEvents.h"
#include "simulator/ControlChannel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace {

SimulatorHarness* g_harness = nullptr;

// Long enough for a loaded machine; reached only when something is wrong.
constexpr qint64 kDeadlineMs = 20000;
constexpr int32_t kMarkerWParam = 0x7EADBEEF;

} // namespace

SimulatorHarness::SimulatorHarness()
    : m_runtimeEnv("XDG_RUNTIME_DIR", m_runtimeDir.path().string()),
      m_window(std::make_unique<DeviceWindow>())
{
    if (g_harness)
        throw std::logic_error("one SimulatorHarness at a time");
    g_harness = this;
    m_window->replaceWindowProcedure(&record);
}

SimulatorHarness::~SimulatorHarness()
{
    if (m_opened)
        m_device.AD101_FreeDevice();
    m_window.reset();
    g_harness = nullptr;
}

std::string SimulatorHarness::controlAddress() const
{
    return defaultControlAddress();
}

std::string SimulatorHarness::addressWithoutABox() const
{
#if defined(_WIN32)
    // Pipe names are the machine's: a box this process opened earlier still serves the user's.
    return R"(\\.\pipe\tavix-ad101-nobody-)" + std::to_string(QCoreApplication::applicationPid());
#else
    return (m_runtimeDir / "nobody.sock").string();
#endif
}

int32_t SimulatorHarness::record(AD101WindowHandle, uint32_t message, int32_t wParam,
                                 int32_t lParam)
{
    const Message received{message, wParam, lParam};
    g_harness->m_received.push_back(received);
    if (g_harness->m_onMessage)
        g_harness->m_onMessage(received);
    return 0;
}

SimulatorHarness::Message SimulatorHarness::event(int32_t line, int32_t kind, int32_t lParam)
{
    return {WM_DEVICE_EVENT, line * 65536 + kind, lParam};
}

void SimulatorHarness::open()
{
    m_device.AD101_InitDevice(m_window->handle());
    m_opened = true;
    EXPECT_TRUE(waitForMessages(12)) << "the box did not report its lines";
    forget();
}

bool SimulatorHarness::waitUntil(const std::function<bool()>& done)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
        if (elapsed.elapsed() > kDeadlineMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

bool SimulatorHarness::waitForMessages(size_t count)
{
    return waitUntil([&] { return m_received.size() >= count; });
}

bool SimulatorHarness::waitForMessage(const Message& message)
{
    return waitUntil([&] {
        return std::find(m_received.begin(), m_received.end(), message) != m_received.end();
    });
}

void SimulatorHarness::settle(std::chrono::milliseconds duration)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < duration.count())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

void SimulatorHarness::drain()
{
    const Message marker{WM_DEVICE_EVENT, kMarkerWParam, 0};
    EXPECT_TOOL_OK(tool({"post", QString::number(kMarkerWParam), "0"}));
    EXPECT_TRUE(waitForMessage(marker));
    m_received.erase(std::remove(m_received.begin(), m_received.end(), marker), m_received.end());
}

SimulatorHarness::ToolRun SimulatorHarness::tool(const QStringList& arguments,
                                                 const QByteArray& input)
{
    QProcess process;
    // Beside the test, as the build puts every program in one folder.
    process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/tavix-sim"), arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(kDeadlineMs)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "tavix-sim " << arguments.join(' ').toStdString() << " did not finish";
        return {-1, {}, {}};
    }
    // A Windows console program ends its lines with CR LF.
    const auto text = [](QByteArray bytes) { return bytes.replace("\r\n", "\n").toStdString(); };
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            text(process.readAllStandardOutput()), text(process.readAllStandardError())};
}

nlohmann::json SimulatorHarness::status()
{
    const ToolRun run = tool({"status"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    try {
        return nlohmann::json::parse(run.out);
    } catch (const nlohmann::json::exception& error) {
        ADD_FAILURE() << "status is not JSON: " << error.what() << "\n" << run.out;
        return {};
    }
}

std::vector<std::string> SimulatorHarness::trace()
{
    const ToolRun run = tool({"trace"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> lines;
    std::istringstream in(run.out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}
