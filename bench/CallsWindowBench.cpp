// Tavix CallerID benchmarks: the Calls window over a full calls list (100,000 calls): opening it
// with its first page, a page read deep in the list, and one scroll step drawn.
#include "monitor/CallHistory.h"
#include "ui/CallListModel.h"
#include "ui/CallsWindow.h"
#include "ui/MessageBoxes.h"

#include <QApplication>
#include <QScrollBar>
#include <QTableView>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

fs::path freshFolder()
{
    std::string pattern = (fs::temp_directory_path() / "tavix-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        std::abort();
    return pattern;
}

// The history files made so far, by size, in a folder of their own. Closed and removed by main()
// while Qt's SQL module is still there to close them.
struct Histories
{
    fs::path folder = freshFolder();
    std::map<int, std::unique_ptr<CallHistory>> made;
};
Histories* histories = nullptr;

// A history file of `calls` calls, a minute apart, ending now; made once per size.
CallHistory& history(int calls)
{
    const fs::path& folder = histories->folder;
    auto& slot = histories->made[calls];
    if (slot)
        return *slot;
    const QString file =
        QString::fromStdString((folder / ("calls-" + std::to_string(calls) + ".sqlite")).string());
    slot = std::make_unique<CallHistory>(file);
    if (!slot->open().isEmpty())
        std::abort();
    const QDateTime now = QDateTime::currentDateTime();
    for (int i = calls; i > 0; --i) {
        CallRecord record;
        record.time = now.addSecs(-60LL * i);
        record.line = 1 + i % 4;
        record.number = QStringLiteral("01%1").arg(i, 8, 10, QLatin1Char('0'));
        record.name = QStringLiteral("Caller %1").arg(i);
        record.progress = i % 3 ? CallRecord::Progress::Answered : CallRecord::Progress::Missed;
        record.talkSeconds = i % 3 ? i % 600 : -1;
        record.delivery = i % 7 ? CallDelivery::State::Sent : CallDelivery::State::Failed;
        record.deliveryDetail = i % 7 ? QStringLiteral("OK") : QStringLiteral("Timed out");
        record.seen = true;
        slot->add(record);
    }
    return *slot;
}

MessageBoxes g_boxes;

void showAndDraw(QWidget& window)
{
    window.show();
    // The first page drawn, not only laid out.
    window.grab();
    QCoreApplication::processEvents();
}

// Time from nothing to the window shown with its first page, over `range(0)` stored calls.
void BM_OpenCallsWindow(benchmark::State& state)
{
    CallHistory& calls = history(int(state.range(0)));
    for (auto _ : state) {
        CallsWindow window(
            calls, [](CallRecord::Id) { return false; }, g_boxes);
        showAndDraw(window);
        benchmark::DoNotOptimize(window.model().rowCount());
    }
    state.counters["calls"] = double(state.range(0));
}
BENCHMARK(BM_OpenCallsWindow)->Arg(0)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

// One page of the table read after `range(0)` rows: keyset paging costs the same at any depth.
void BM_FetchPage(benchmark::State& state)
{
    CallHistory& calls = history(100000);
    const QList<CallRecord> newest = calls.fetch(CallHistory::Filter::All, {}, 0, 1);
    const CallRecord::Id before = newest.first().id - state.range(0);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            calls.fetch(CallHistory::Filter::All, {}, before, CallListModel::kPageSize));
    state.counters["depth"] = double(state.range(0));
}
BENCHMARK(BM_FetchPage)->Arg(0)->Arg(99000)->Unit(benchmark::kMicrosecond)->UseRealTime();

// One page down in the open window, drawn: what a frame of scrolling costs, pages read as the
// view reaches them.
void BM_ScrollStep(benchmark::State& state)
{
    CallHistory& calls = history(100000);
    CallsWindow window(
        calls, [](CallRecord::Id) { return false; }, g_boxes);
    showAndDraw(window);
    auto* table = window.findChild<QTableView*>(QStringLiteral("tblCalls"));
    QScrollBar* bar = table->verticalScrollBar();
    for (auto _ : state) {
        if (bar->value() >= bar->maximum() && !window.model().canFetchMore())
            bar->setValue(0);
        bar->setValue(bar->value() + bar->pageStep());
        table->viewport()->repaint();
        QCoreApplication::processEvents();
    }
    state.counters["rows_read"] = double(window.model().rowCount());
}
BENCHMARK(BM_ScrollStep)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Histories made;
    histories = &made;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    made.made.clear();
    fs::remove_all(made.folder);
    return 0;
}
