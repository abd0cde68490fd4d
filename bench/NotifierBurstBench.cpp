// Tavix CallerID benchmarks: a burst of callers against a local HTTPS connector that answers in
// 50 ms: every caller delivered once, the time to drain the burst, and the peak of memory and of
// connections to the connector meanwhile.
#include "HttpsServer.h"
#include "log/ActivityLog.h"
#include "notify/CallNotifier.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

using namespace std::chrono_literals;

constexpr int kBurst = 1500;

// A field of /proc/self/status in KiB ("VmHWM", "VmRSS").
double statusKiB(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field + ":", 0) == 0)
            return std::stod(line.substr(field.size() + 1));
    return 0;
}

// Established connections of this machine to `port` from the client's side.
int connectionsTo(uint16_t port)
{
    int count = 0;
    for (const char* table : {"/proc/self/net/tcp", "/proc/self/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line); // the heading
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state;
            fields >> slot >> local >> remote >> state;
            const unsigned remotePort =
                std::stoul(remote.substr(remote.find(':') + 1), nullptr, 16);
            count += remotePort == port && state == "01";
        }
    }
    return count;
}

void BM_Burst(benchmark::State& state)
{
    HttpsServer server({.delay = 50ms});
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / "tavix-bench-burst";
    std::filesystem::create_directories(folder);
    const ActivityLog log(folder / "tavix.log");
    for (auto _ : state) {
        std::filesystem::remove(folder / "tavix.log");
        CallNotifier notifier(log, server.host(), HttpsServer::caFile());
        const double before = statusKiB("VmRSS");
        std::ofstream("/proc/self/clear_refs") << "5"; // the peak from here on
        int peakConnections = 0;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kBurst; ++i)
            notifier.SendCall(std::to_string(100000 + i), std::to_string(i % 4), "counter",
                              "secret");
        // The kernel walks its whole table of connections for each look, so only a few a second.
        auto nextLook = start;
        while (notifier.pendingCount() > 0) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            if (const auto now = std::chrono::steady_clock::now(); now >= nextLook) {
                peakConnections = std::max(peakConnections, connectionsTo(server.port()));
                nextLook = now + 250ms;
            }
        }
        const double drain =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double peak = statusKiB("VmHWM");

        std::ifstream entries(folder / "tavix.log");
        int delivered = 0;
        for (std::string line; std::getline(entries, line);)
            delivered += line.rfind("> ", 0) == 0 && line.ends_with(": OK\r");
        std::set<std::string> callers;
        size_t requests = 0;
        for (const auto& request : server.requests()) {
            callers.insert(request.value("caller"));
            ++requests;
        }
        state.SetIterationTime(drain);
        state.counters["callers"] = kBurst;
        state.counters["delivered"] = delivered;
        state.counters["sent_once"] =
            requests == callers.size() ? static_cast<double>(requests) : -1;
        state.counters["drain_s"] = drain;
        state.counters["rss_before_MiB"] = before / 1024;
        state.counters["peak_rss_MiB"] = peak / 1024;
        state.counters["KiB_per_caller"] = (peak - before) / kBurst;
        state.counters["peak_connections"] = peakConnections;
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_Burst)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
