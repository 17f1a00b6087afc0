
// The velmora executable measured from outside, on a private Xvfb with openbox and a tint2 tray:
// the time from starting it to a hot key that opens the panel, and the CPU it takes while idle.

#include "bench/bench_desktop.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto idleDuration = 60s;

/// A child process, ended when the object goes.
/// CPU time and context switches of one thread, from /proc.
struct ThreadSample
{
    std::string name;
    double cpuNanoseconds = 0;
    double switches = 0;
};

std::string firstLine(const std::string& path)
{
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

std::map<std::string, ThreadSample> sampleThreads(pid_t pid)
{
    std::map<std::string, ThreadSample> threads;
    const std::string taskDirectory = "/proc/" + std::to_string(pid) + "/task";
    DIR* directory = opendir(taskDirectory.c_str());
    if (!directory) {
        return threads;
    }
    while (const dirent* entry = readdir(directory)) {
        const std::string tid = entry->d_name;
        if (tid == "." || tid == "..") {
            continue;
        }
        const std::string path = taskDirectory + "/" + tid;
        ThreadSample sample;
        sample.name = firstLine(path + "/comm");
        // schedstat: nanoseconds on a CPU, nanoseconds waiting, time slices run.
        std::ifstream schedstat(path + "/schedstat");
        schedstat >> sample.cpuNanoseconds;
        std::ifstream status(path + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
                sample.switches += std::stod(line.substr(line.find(':') + 1));
            }
        }
        threads[tid] = sample;
    }
    closedir(directory);
    return threads;
}

XClient* g_client = nullptr;

void StartUpToHotKey(benchmark::State& state)
{
    for (auto _ : state) {
        g_client->discardEvents();
        const auto start = Clock::now();
        const ChildProcess velmora({VELMORA_EXECUTABLE});
        // Pressed every 2 ms: the first press after the grab opens the panel.
        const bool opened = g_client->waitForMap(320, 420, 5s, 2ms);
        const auto elapsed = Clock::now() - start;
        if (!opened) {
            state.SkipWithError("the hot key never opened the panel");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(elapsed).count());
    }
}
BENCHMARK(StartUpToHotKey)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);

void IdleCpu(benchmark::State& state)
{
    for (auto _ : state) {
        const ChildProcess velmora({VELMORA_EXECUTABLE});
        std::this_thread::sleep_for(2s);
        const auto before = sampleThreads(velmora.pid());
        std::this_thread::sleep_for(idleDuration);
        const auto after = sampleThreads(velmora.pid());
        state.SetIterationTime(std::chrono::duration<double>(idleDuration).count());

        double cpu = 0;
        std::map<std::string, double> wakeups;
        for (const auto& [tid, end] : after) {
            const auto begin = before.find(tid);
            const ThreadSample start = begin != before.end() ? begin->second : ThreadSample{end.name, 0, 0};
            cpu += end.cpuNanoseconds - start.cpuNanoseconds;
            wakeups[end.name] += end.switches - start.switches;
        }
        const double seconds = std::chrono::duration<double>(idleDuration).count();
        state.counters["cpu_percent"] = cpu / (seconds * 1e9) * 100;
        for (const auto& [name, count] : wakeups) {
            state.counters["wakeups_per_s:" + name] = count / seconds;
        }
    }
}
BENCHMARK(IdleCpu)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    const auto desktop = BenchDesktop::start(VELMORA_TINT2RC);
    if (!desktop) {
        return 1;
    }
    g_client = &desktop->client();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
