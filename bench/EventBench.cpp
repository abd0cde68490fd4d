// Tavix CallerID benchmarks: what one notification costs, and whether a backlog or a large log
// makes each one dearer.
#include "BenchDevice.h"

#include "device/DeviceLibrary.h"
#include "log/ActivityLog.h"
#include "monitor/DeviceEventHandler.h"
#include "monitor/DeviceEvents.h"
#include "monitor/DeviceWindow.h"
#include "monitor/LineStatusModel.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

TimeOfDay fixedClock()
{
    return {9, 30, 5};
}

fs::path freshFolder()
{
    std::string pattern = (fs::temp_directory_path() / "tavix-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        std::abort();
    return pattern;
}

class Lamps : public DeviceEventListener
{
  public:
    void LightOn(int32_t) override {}
    void LightOff(int32_t) override {}
    void SendCall(const std::string&, const std::string&) override {}
    bool showPhoneNumberTicked() const override { return true; }
    void showTimingParameters(int32_t, const AD101TimingParameters&) override {}
};

// Messages that came down the window's chain, past the handler.
size_t g_delivered = 0;
int32_t countDelivered(AD101WindowHandle, uint32_t, int32_t, int32_t)
{
    ++g_delivered;
    return 0;
}

// The program's event path over a fast fake device, logging into a fresh folder.
struct EventPath
{
    explicit EventPath(uintmax_t logBytes = 0)
        : folder(freshFolder()), log(folder / "tavix.log", &fixedClock),
          device(BenchDevice::resolver()), handler(device, table, log, lamps)
    {
        if (logBytes) {
            // A log that has already grown: appending must cost the same.
            const int fd = ::open(log.path().c_str(), O_CREAT | O_WRONLY, 0600);
            if (fd < 0 || ftruncate(fd, static_cast<off_t>(logBytes)) != 0)
                std::abort();
            ::close(fd);
        }
        table.build();
        window.replaceWindowProcedure(&countDelivered);
        window.installDeviceWindowProc(&handler);
    }
    ~EventPath() { fs::remove_all(folder); }

    fs::path folder;
    ActivityLog log;
    DeviceLibrary device;
    LineStatusModel table;
    Lamps lamps;
    DeviceEventHandler handler;
    DeviceWindow window;
};

constexpr int32_t wparam(int32_t line, int32_t kind)
{
    return line * 65536 + kind;
}

// The floor: the same entry bytes appended with open, write and close in a plain loop.
void BM_Floor_AppendEntry(benchmark::State& state)
{
    const fs::path folder = freshFolder();
    const std::string path = (folder / "tavix.log").string();
    const std::string entry = "> 093005: HK ON STATE PRA\r\n...\r\n";
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "ab");
        std::fwrite(entry.data(), 1, entry.size(), f);
        std::fclose(f);
    }
    state.SetItemsProcessed(state.iterations());
    fs::remove_all(folder);
}
BENCHMARK(BM_Floor_AppendEntry);

void runEvent(benchmark::State& state, int32_t wParam, int32_t lParam)
{
    EventPath path;
    for (auto _ : state)
        path.window.send(WM_DEVICE_EVENT, wParam, lParam);
    state.SetItemsProcessed(state.iterations());
}

// A hook change: one log entry and one cell.
void BM_Event_LineState(benchmark::State& state)
{
    runEvent(state, wparam(2, EV_LINE_STATE), LS_HOOK_ON_PRA);
}
BENCHMARK(BM_Event_LineState);

// A device report: one log entry, a device call and two cells.
void BM_Event_BackDevice(benchmark::State& state)
{
    runEvent(state, wparam(1, EV_BACK_DEVICE), 0);
}
BENCHMARK(BM_Event_BackDevice);

// A call event without the web request: one log entry, a device call and a cell.
void BM_Event_Collateral(benchmark::State& state)
{
    runEvent(state, wparam(3, EV_BACK_COLLATERAL), 0);
}
BENCHMARK(BM_Event_Collateral);

// N notifications posted through the port, then drained by the event loop; reported per
// notification so that growth with N or with the log's size shows as a higher figure.
void BM_Backlog(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    EventPath path(static_cast<uintmax_t>(state.range(1)) * 1024 * 1024);
    for (auto _ : state) {
        g_delivered = 0;
        for (int i = 0; i < count; ++i)
            path.window.post(WM_DEVICE_EVENT, wparam(i % 4, EV_LINE_STATE), LS_HOOK_ON_PRA);
        QCoreApplication::processEvents();
        if (g_delivered != static_cast<size_t>(count))
            state.SkipWithError("the event loop left notifications behind");
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.counters["queued"] = count;
    state.counters["log_MB"] = static_cast<double>(state.range(1));
}
BENCHMARK(BM_Backlog)
    ->Args({100, 0})
    ->Args({1000, 0})
    ->Args({10000, 0})
    ->Args({10000, 100})
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // An event loop for the backlog; no widgets, no display.
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
