// Tavix CallerID benchmarks: what keeping the calls list costs a caller ID on the event path.
#include "BenchDevice.h"

#include "device/DeviceLibrary.h"
#include "log/ActivityLog.h"
#include "monitor/CallerIdCore.h"
#include "monitor/DeviceEvents.h"
#include "monitor/DeviceWindow.h"

#include <QCoreApplication>
#include <QSettings>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

fs::path freshFolder()
{
    std::string pattern = (fs::temp_directory_path() / "tavix-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        std::abort();
    return pattern;
}

// The whole core over a fast fake device, without a web application host (so no request),
// its log and its calls list in a fresh folder.
struct CorePath
{
    explicit CorePath(bool history)
        : folder(freshFolder()), log(folder / "tavix.log",
                                     [] {
                                         return TimeOfDay{9, 30, 5};
                                     }),
          device(BenchDevice::resolver()), core(device, log)
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(folder.string()));
        core.loadSettings();
        if (history &&
            !core.openCallHistory(QString::fromStdString((folder / "calls.sqlite").string()))
                 .isEmpty())
            std::abort();
        core.buildLineTable();
        core.openDevice(0);
    }
    ~CorePath()
    {
        core.closeDevice();
        fs::remove_all(folder);
    }

    fs::path folder;
    ActivityLog log;
    DeviceLibrary device;
    CallerIdCore core;
};

// The GUI thread waits for the commits in real time, so that is what is timed.
// A missed call as the core sees it: the caller ID (six log entries, the refused request),
// then the missed-call event. With the list: one row added and one updated, each committed.
void missedCalls(benchmark::State& state, bool history)
{
    CorePath path(history);
    DeviceWindow& window = *path.core.deviceWindow();
    for (auto _ : state) {
        window.send(WM_DEVICE_EVENT, 65536 + EV_BACK_CID, 0);
        window.send(WM_DEVICE_EVENT, 65536 + EV_MISSED_CALL, 0);
    }
    if (history && path.core.callHistory()->count(CallHistory::Filter::Missed, "") <
                       static_cast<int>(std::min<int64_t>(state.iterations(), 100000)))
        state.SkipWithError("calls went missing from the list");
    state.SetItemsProcessed(state.iterations());
}

void BM_MissedCall_WithoutList(benchmark::State& state)
{
    missedCalls(state, false);
}
BENCHMARK(BM_MissedCall_WithoutList)->UseRealTime();

void BM_MissedCall_WithList(benchmark::State& state)
{
    missedCalls(state, true);
}
BENCHMARK(BM_MissedCall_WithList)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
