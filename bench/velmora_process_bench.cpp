// The velmora executable measured from outside, on a private Xvfb with openbox and a tint2 tray:
// the time from starting it to a hot key that opens the panel, and the CPU it takes while idle.

#include "bench/x_client.h"
#include "tests/support/x_server.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto idleDuration = 60s;

/// A child process, ended when the object goes.
class Child
{
public:
    explicit Child(std::vector<std::string> arguments)
    {
        std::vector<char*> argv;
        for (auto& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        // Quiet: what they print would run into the benchmark's table.
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&m_pid, argv[0], &quiet, nullptr, argv.data(), environ) != 0) {
            m_pid = 0;
        }
        posix_spawn_file_actions_destroy(&quiet);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }

    [[nodiscard]] pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = 0;
};

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

std::unique_ptr<XClient> g_client;

void BM_StartUpToHotKey(benchmark::State& state)
{
    for (auto _ : state) {
        g_client->discardEvents();
        const auto start = Clock::now();
        const Child velmora({VELMORA_EXECUTABLE});
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
BENCHMARK(BM_StartUpToHotKey)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_IdleCpu(benchmark::State& state)
{
    for (auto _ : state) {
        const Child velmora({VELMORA_EXECUTABLE});
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
BENCHMARK(BM_IdleCpu)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    const auto server = XServer::start(XServer::WindowManager::Openbox);
    if (!server) {
        std::fprintf(stderr, "cannot start Xvfb with openbox\n");
        return 1;
    }
    // Without a session bus Qt takes the XEmbed tray that tint2 hosts.
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    g_client = XClient::open();
    const Child tray({"/usr/bin/tint2", "-c", VELMORA_TINT2RC});
    for (int attempt = 0; attempt < 100 && g_client && !g_client->hasSystemTray(); ++attempt) {
        std::this_thread::sleep_for(50ms);
    }
    if (!g_client || !g_client->hasSystemTray()) {
        std::fprintf(stderr, "no X client or no tray host\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    g_client.reset();
    benchmark::Shutdown();
    return 0;
}
