// Tavix CallerID benchmarks: from the box posting a caller ID to the connector's reply in the log,
// against a bare libcurl GET of the same URL on the same local HTTPS server; the same while
// another line's request waits for its reply; and a click on a window while requests wait.
#include "BenchDevice.h"

#include "HttpsServer.h"
#include "log/ActivityLog.h"
#include "monitor/DeviceEventHandler.h"
#include "monitor/DeviceEvents.h"
#include "monitor/DeviceWindow.h"
#include "monitor/LineStatusModel.h"
#include "notify/CallNotifier.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

namespace {

using namespace std::chrono_literals;

const QString kUser = QStringLiteral("counter");
const QString kPassword = QStringLiteral("secret");

// Answers at once, except requests for line 1, which wait longer than any run.
HttpsServer& server()
{
    static HttpsServer instance({.delay = 600s, .delayOnly = "line=1"});
    return instance;
}

// Requests the server holds back, received so far.
size_t slowRequests()
{
    size_t count = 0;
    for (const auto& request : server().requests())
        count += request.value("line") == "1";
    return count;
}

// Messages that came down the window's chain, past the handler.
size_t g_delivered = 0;
int32_t countDelivered(AD101WindowHandle, uint32_t, int32_t, int32_t)
{
    ++g_delivered;
    return 0;
}

class MainWindowStandIn : public DeviceEventListener
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

struct CallPath
{
    CallPath()
        : folder(std::filesystem::temp_directory_path() / "tavix-bench-connector"),
          log(folder / "tavix.log"), device(BenchDevice::resolver()),
          notifier(log, server().host(), HttpsServer::caFile()), windows(notifier),
          handler(device, table, log, windows)
    {
        std::filesystem::create_directories(folder);
        table.build();
        window.replaceWindowProcedure(&countDelivered);
        window.installDeviceWindowProc(&handler);
    }
    void post(int32_t line)
    {
        ++posted;
        window.post(WM_DEVICE_EVENT, line * 65536 + EV_BACK_CID, 0);
    }
    ~CallPath() { std::filesystem::remove_all(folder); }

    // A caller ID on `line` as the box posts it, until its reply is in the log; `waiting`
    // requests of other lines stay pending throughout.
    void call(int32_t line, size_t waiting = 0)
    {
        post(line);
        do
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        while (g_delivered < posted || notifier.pendingCount() > waiting);
    }

    std::filesystem::path folder;
    ActivityLog log;
    DeviceLibrary device;
    LineStatusModel table;
    CallNotifier notifier;
    MainWindowStandIn windows;
    DeviceEventHandler handler;
    DeviceWindow window;
    size_t posted = g_delivered;
};

// Line index 1 is sent as line 2, which the server answers at once.
void BM_CallerToConnector(benchmark::State& state)
{
    CallPath path;
    for (auto _ : state)
        path.call(1);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CallerToConnector)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The same while line index 0's caller (sent as line 1) waits for a reply that does not come.
void BM_CallerToConnector_FirstLinePending(benchmark::State& state)
{
    CallPath path;
    const size_t before = slowRequests();
    path.post(0);
    while (slowRequests() == before)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    for (auto _ : state)
        path.call(1, 1);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CallerToConnector_FirstLinePending)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Each request on a fresh connection: the program's first call after start-up.
void BM_CallerToConnector_Fresh(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto path = std::make_unique<CallPath>();
        state.ResumeTiming();
        path->call(1);
        state.PauseTiming();
        path.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CallerToConnector_Fresh)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The floor: the same URL with a plain libcurl handle, the same TLS checks and authorities.
class BareGet
{
  public:
    BareGet() : m_curl(curl_easy_init())
    {
        const ActivityLog unused("/dev/null");
        const CallNotifier urls(unused, server().host());
        m_url = urls.connectorUrl("0123456789", "1", kUser, kPassword);
        curl_easy_setopt(m_curl, CURLOPT_URL, m_url.c_str());
        // As the program trusts a shop's extra authority: the system's bundle and the file.
        const char* systemBundle = nullptr;
        curl_easy_getinfo(m_curl, CURLINFO_CAINFO, &systemBundle);
        m_authorities =
            readAll(systemBundle ? systemBundle : "/etc/ssl/certs/ca-certificates.crt") + "\n" +
            readAll(HttpsServer::caFile());
        curl_blob blob{m_authorities.data(), m_authorities.size(), CURL_BLOB_NOCOPY};
        curl_easy_setopt(m_curl, CURLOPT_CAINFO_BLOB, &blob);
        curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &BareGet::discard);
    }
    ~BareGet() { curl_easy_cleanup(m_curl); }
    void get() { benchmark::DoNotOptimize(curl_easy_perform(m_curl)); }

  private:
    static size_t discard(char*, size_t size, size_t count, void*) { return size * count; }
    static std::string readAll(const std::string& file)
    {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    CURL* m_curl;
    std::string m_url;
    std::string m_authorities;
};

void BM_Floor_BareGetReused(benchmark::State& state)
{
    BareGet bare;
    for (auto _ : state)
        bare.get();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Floor_BareGetReused)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_Floor_BareGetFresh(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto bare = std::make_unique<BareGet>();
        state.ResumeTiming();
        bare->get();
        state.PauseTiming();
        bare.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Floor_BareGetFresh)->Unit(benchmark::kMicrosecond)->UseRealTime();

// A click on a button of a shown window, from the event queue to its handler; with `pending`
// callers waiting for the web application meanwhile.
void clickDelay(benchmark::State& state, int pending)
{
    CallPath path;
    for (int i = 0; i < pending; ++i)
        path.post(0);
    while (path.notifier.pendingCount() < static_cast<size_t>(pending))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);

    QWidget window;
    auto* button = new QPushButton(QStringLiteral("SAVE"), &window);
    window.show();
    bool clicked = false;
    QObject::connect(button, &QPushButton::clicked, [&] { clicked = true; });
    const QPointF centre = QRectF(button->rect()).center();
    for (auto _ : state) {
        clicked = false;
        for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
            QCoreApplication::postEvent(
                button, new QMouseEvent(type, centre, button->mapToGlobal(centre), Qt::LeftButton,
                                        Qt::LeftButton, Qt::NoModifier));
        while (!clicked)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    state.SetItemsProcessed(state.iterations());
}
void BM_Click_Idle(benchmark::State& state)
{
    clickDelay(state, 0);
}
void BM_Click_FourCallsPending(benchmark::State& state)
{
    clickDelay(state, 4);
}
BENCHMARK(BM_Click_Idle)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_Click_FourCallsPending)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    server().stop();
    return 0;
}
