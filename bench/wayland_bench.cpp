// Velmora on a private headless sway, measured from outside: `velmora --toggle` to its panel shown (sway's
// window event "new" for Velmora's app id, as `swaymsg` reports it), and a short text copied by another
// application (the Wayland tests' data-control owner) to Velmora's first request for it and to the end of the
// work. Beside it clipman, when installed, as its README runs it (`wl-paste -t text --watch clipman store`),
// for the copies alone. Prints one table of medians and longest times.
//
//   build/bench/wayland_bench [--toggles N] [--copies N]

#include "bench/clipboard_copy.h"
#include "bench/program_run.h"
#include "tests/support/sway_compositor.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

void measure(ProgramRun& program, int toggles, int copies, Figures& figures)
{
    // Sway's events as `swaymsg -m -r` writes them, a JSON object a line.
    const auto events = program.file("events");
    // Its IPC socket lies beside its Wayland one.
    const ChildProcess swaymsg(
        {"sh", "-c",
         "exec swaymsg -s \"$(dirname \"$WAYLAND_DISPLAY\")\"/sway-ipc.*.sock -r -m -t subscribe "
         "'[\"window\",\"tick\"]'"},
        ChildProcess::Output::Logged, events);
    std::streamoff read = 0;
    // Reads on until an event `change` of Velmora's window came, or with none sway's first tick: whether within 10 s.
    const auto waitFor = [&](const char* change) {
        const auto isMatch = [change](const std::string& line) {
            const auto event = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
            return change ? event["change"].toString() == QLatin1String(change) &&
                                event["container"]["app_id"].toString() == QLatin1String("com.hollin.velmora")
                          : event.contains(QLatin1String("first"));
        };
        return waitUntil([&] { return std::ranges::any_of(newLines(events, read), isMatch); }, 10s);
    };
    // Sway answers a subscription to ticks with one at once: from then on no window event is missed.
    if (!waitFor(nullptr)) {
        figures.failure = "swaymsg did not subscribe to sway's events";
        return;
    }
    // From the start of `velmora --toggle` to the event `change` of the panel's window, within 10 s.
    const auto toggle = [&](const char* change) {
        const auto started = Clock::now();
        ChildProcess command({VELMORA_EXECUTABLE, "--toggle"}, ChildProcess::Output::Quiet, {}, program.environment());
        const auto seen = waitFor(change) ? std::optional(Clock::now() - started) : std::nullopt;
        // It ends once answered; only one that hangs is ended with the object.
        waitUntil([&command] { return !command.isRunning(); }, 10s);
        return seen;
    };
    // Each opens a hidden panel on an idle Velmora; the first, which builds the panel, is not timed.
    for (int round = 0; toggles > 0 && round <= toggles; ++round) {
        const auto shown = toggle("new");
        if (!shown || !toggle("close") || !program.settle(1s, 10'000'000, 30s)) {
            figures.failure = "--toggle did not show and hide the panel within 10 s, or Velmora stayed busy";
            return;
        }
        if (round > 0) {
            figures["--toggle to the panel shown, median / max (ms)"].push_back(milliseconds(*shown));
        }
    }
    const auto idle = program.idleCpu(5s).first;
    figures["CPU while idle (ms per s)"].push_back(idle);
    std::unique_ptr<ClipboardCopy> serving;
    for (int copy = 1; copy <= copies; ++copy) {
        if (!followCopy(program, serving, "Wayland copy " + std::to_string(copy), {"text/plain;charset=utf-8"},
                        "copy of a short text to ", 300ms, idle, figures)) {
            return;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::map<std::string, int> settings{{"--toggles", 30}, {"--copies", 50}};
    if (!readSettings(argc, argv, settings, "[--toggles N] [--copies N]")) {
        return 2;
    }
    const auto compositor = SwayCompositor::start();
    if (!compositor) {
        std::fprintf(stderr, "cannot start sway\n");
        return 1;
    }
    std::vector<Figures> columns(1);
    // Its socket is named after the display, which the compositor chose.
    const auto isListening = [](const ProgramRun& run) {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(run.file("runtime"), ignored)) {
            if (entry.path().extension() == ".socket") {
                return true;
            }
        }
        return false;
    };
    if (const auto program = ProgramRun::start({VELMORA_EXECUTABLE}, "wayland", isListening, columns[0].failure)) {
        measure(*program, settings["--toggles"], settings["--copies"], columns[0]);
    }
    if (std::system("command -v clipman >/dev/null") == 0) {
        const auto program = ProgramRun::start(
            {"wl-paste", "-t", "text", "--watch", "clipman", "store"}, "wayland",
            [](const ProgramRun&) { return true; }, columns.emplace_back().failure);
        if (program) {
            measure(*program, 0, settings["--copies"], columns.back());
        }
    }
    std::printf("Over %d toggles and %d copies, on a private headless sway.\n\n", settings["--toggles"],
                settings["--copies"]);
    return printTable({"Velmora", "clipman"}, columns) ? 0 : 1;
}
