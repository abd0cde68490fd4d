// Tavix CallerID benchmarks: from the box posting a caller ID to the connector's reply, against
// a bare libcurl GET of the same URL on the same local HTTPS server.
#include "BenchDevice.h"

#include "HttpsServer.h"
#include "log/ActivityLog.h"
#include "monitor/DeviceEventHandler.h"
#include "monitor/DeviceEvents.h"
#include "monitor/LineStatusTable.h"
#include "monitor/MessagePort.h"
#include "monitor/MonitorLinks.h"
#include "notify/CallNotifier.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace {

const QString kUser = QStringLiteral("counter");
const QString kPassword = QStringLiteral("secret");

HttpsServer& server()
{
    static HttpsServer instance;
    return instance;
}

class MainWindowStandIn : public MainWindowLink, public DiagnosticsLink
{
public:
    explicit MainWindowStandIn(CallNotifier& notifier) : m_notifier(notifier) {}
    void LightOn(int32_t) override {}
    void LightOff(int32_t) override {}
    void SendCall(const std::string& callerID, const std::string& line) override
    {
        m_notifier.SendCall(callerID, line, kUser, kPassword);
    }
    bool showPhoneNumberTicked() const override { return true; }
    void showTimingParameters(int32_t, const AD101TimingParameters&) override {}

private:
    CallNotifier& m_notifier;
};

struct CallPath {
    CallPath()
        : folder(std::filesystem::temp_directory_path() / "tavix-bench-connector"),
          log(folder / "tavix.log"), device(benchdevice::resolver()),
          notifier(log, server().host(), HttpsServer::caFile()), windows(notifier),
          handler(device, table, log, &windows, &windows)
    {
        std::filesystem::create_directories(folder);
        table.build();
        InstallDeviceWindowProc(port.handle(), handler);
    }
    ~CallPath() { std::filesystem::remove_all(folder); }

    std::filesystem::path folder;
    ActivityLog log;
    DeviceLibrary device;
    LineStatusTable table;
    CallNotifier notifier;
    MainWindowStandIn windows;
    DeviceEventHandler handler;
    MessagePort port;
};

// The caller ID posted as the box does, handled through the event loop, request included.
void BM_CallerToConnector(benchmark::State& state)
{
    CallPath path;
    for (auto _ : state) {
        path.port.post(WM_DEVICE_EVENT, 1 * 65536 + EV_BACK_CID, 0);
        QCoreApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CallerToConnector)->Unit(benchmark::kMicrosecond);

// The floor: the same URL fetched with a bare transfer that keeps its connection.
void BM_Floor_BareGetReused(benchmark::State& state)
{
    const ActivityLog unused("/dev/null");
    const CallNotifier urls(unused, server().host());
    const std::string url = urls.connectorUrl("0123456789", "1", kUser, kPassword);
    HttpsTransfer transfer(kRequestTimeout, HttpsServer::caFile());
    for (auto _ : state)
        benchmark::DoNotOptimize(transfer.OpenURL(url));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Floor_BareGetReused)->Unit(benchmark::kMicrosecond);

// Each request on a fresh connection: the program's first call after start-up.
void BM_CallerToConnector_Fresh(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto path = std::make_unique<CallPath>();
        state.ResumeTiming();
        path->port.post(WM_DEVICE_EVENT, 1 * 65536 + EV_BACK_CID, 0);
        QCoreApplication::processEvents();
        state.PauseTiming();
        path.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CallerToConnector_Fresh)->Unit(benchmark::kMicrosecond);

void BM_Floor_BareGetFresh(benchmark::State& state)
{
    const ActivityLog unused("/dev/null");
    const CallNotifier urls(unused, server().host());
    const std::string url = urls.connectorUrl("0123456789", "1", kUser, kPassword);
    for (auto _ : state) {
        state.PauseTiming();
        auto transfer = std::make_unique<HttpsTransfer>(kRequestTimeout, HttpsServer::caFile());
        state.ResumeTiming();
        benchmark::DoNotOptimize(transfer->OpenURL(url));
        state.PauseTiming();
        transfer.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Floor_BareGetFresh)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    server().stop();
    return 0;
}
