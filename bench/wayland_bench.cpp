// Velmora on a private headless sway, measured from outside: `velmora --toggle` to its panel shown (sway's
// window event "new" for Velmora's app id, read from sway's IPC socket), and a short text copied by another
// application (the Wayland tests' data-control owner) to Velmora's first request for it and to the end of the
// work. Prints one table of medians and longest times.
//
//   build/bench/wayland_bench [--toggles N] [--copies N]

#include "bench/clipboard_copy.h"
#include "bench/figures.h"
#include "bench/program_run.h"
#include "tests/support/sway_compositor.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

/// Sway's window events, read straight from its IPC socket so that each comes with the moment it arrived.
class WindowEvents
{
public:
    /// Subscribes on the socket sway made beside the Wayland one; null when it does not answer.
    static std::unique_ptr<WindowEvents> subscribe();

    WindowEvents(const WindowEvents&) = delete;
    WindowEvents& operator=(const WindowEvents&) = delete;
    ~WindowEvents() { close(m_socket); }

    /// When the event `change` of Velmora's window arrived; nothing if it did not before `deadline`.
    [[nodiscard]] std::optional<Clock::time_point> waitFor(const char* change, Clock::time_point deadline);

private:
    explicit WindowEvents(int socket) : m_socket(socket) {}
    /// The payload of the next message: "i3-ipc", its length and type as native 32-bit integers, then JSON.
    [[nodiscard]] std::optional<QJsonObject> next(Clock::time_point deadline);

    int m_socket;
    std::string m_received;
    /// When the last bytes came in.
    Clock::time_point m_arrived;
};

std::unique_ptr<WindowEvents> WindowEvents::subscribe()
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::error_code error;
    const auto directory = std::filesystem::path(std::getenv("WAYLAND_DISPLAY")).parent_path();
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        if (entry.path().filename().string().starts_with("sway-ipc.")) {
            entry.path().string().copy(address.sun_path, sizeof address.sun_path - 1);
        }
    }
    std::unique_ptr<WindowEvents> events(new WindowEvents(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)));
    const std::string payload = R"(["window"])";
    // Type 2 subscribes.
    const std::uint32_t header[] = {static_cast<std::uint32_t>(payload.size()), 2};
    std::string message = "i3-ipc" + std::string(sizeof header, '\0') + payload;
    std::memcpy(message.data() + 6, header, sizeof header);
    if (connect(events->m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        write(events->m_socket, message.data(), message.size()) != static_cast<ssize_t>(message.size())) {
        return nullptr;
    }
    const auto reply = events->next(Clock::now() + 10s);
    return reply && (*reply)["success"].toBool() ? std::move(events) : nullptr;
}

std::optional<QJsonObject> WindowEvents::next(Clock::time_point deadline)
{
    constexpr std::size_t headerSize = 14;
    for (char chunk[65536];;) {
        std::uint32_t length = 0;
        if (m_received.size() >= headerSize) {
            std::memcpy(&length, m_received.data() + 6, sizeof length);
        }
        if (m_received.size() >= headerSize && m_received.size() >= headerSize + length) {
            const auto message = QJsonDocument::fromJson(QByteArray(m_received.data() + headerSize, length)).object();
            m_received.erase(0, headerSize + length);
            return message;
        }
        pollfd readable{m_socket, POLLIN, 0};
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const auto read =
            wait > 0 && poll(&readable, 1, static_cast<int>(wait)) == 1 ? ::read(m_socket, chunk, sizeof chunk) : -1;
        if (read <= 0) {
            return std::nullopt;
        }
        m_arrived = Clock::now();
        m_received.append(chunk, static_cast<std::size_t>(read));
    }
}

std::optional<Clock::time_point> WindowEvents::waitFor(const char* change, Clock::time_point deadline)
{
    while (const auto event = next(deadline)) {
        if ((*event)["change"].toString() == QLatin1String(change) &&
            (*event)["container"]["app_id"].toString() == QLatin1String("com.hollin.velmora")) {
            return m_arrived;
        }
    }
    return std::nullopt;
}

/// Runs `velmora --toggle` beside the running one and waits for the event `change` of its panel: the time from
/// the start of the command, or nothing within 10 s.
std::optional<Clock::duration> toggle(ProgramRun& program, WindowEvents& events, const char* change)
{
    const auto started = Clock::now();
    ChildProcess command({VELMORA_EXECUTABLE, "--toggle"}, ChildProcess::Output::Quiet, {}, program.environment());
    const auto seen = events.waitFor(change, started + 10s);
    // It ends once answered; only one that hangs is ended with the object.
    while (command.isRunning() && Clock::now() < started + 10s) {
        std::this_thread::sleep_for(1ms);
    }
    return seen ? std::optional(*seen - started) : std::nullopt;
}

void measure(ProgramRun& program, WindowEvents& events, const std::map<std::string, int>& settings, Figures& figures)
{
    // Each opens a hidden panel on an idle Velmora; the first, which builds the panel, is not timed.
    for (int round = 0; round <= settings.at("--toggles"); ++round) {
        const auto shown = toggle(program, events, "new");
        if (!shown || !toggle(program, events, "close") || !program.settle(1s, 10'000'000, 30s)) {
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
    for (int copy = 1; copy <= settings.at("--copies"); ++copy) {
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
    if (!readSettings(argc, argv, settings)) {
        return 2;
    }
    const auto compositor = SwayCompositor::start();
    const auto events = compositor ? WindowEvents::subscribe() : nullptr;
    if (!events) {
        std::fprintf(stderr, "no headless sway that answers on its IPC socket\n");
        return 1;
    }
    std::vector<Figures> columns(1);
    const auto isListening = [](const ProgramRun& run) {
        return std::filesystem::exists(run.file("runtime/velmora-default.socket"));
    };
    if (const auto program = ProgramRun::start({VELMORA_EXECUTABLE}, "wayland", isListening, columns[0].failure)) {
        measure(*program, *events, settings, columns[0]);
    }
    std::printf("Over %d toggles and %d copies, on a private headless sway.\n\n", settings["--toggles"],
                settings["--copies"]);
    const bool isWhole = printTable({"Velmora"}, columns);
    std::printf("\nVelmora ran with a private HOME and no session bus. Toggle: from posix_spawn of `velmora --toggle`\n"
                "to sway's window event \"new\" on its IPC socket, with the panel hidden and Velmora idle before.\n"
                "Copies: the tests' data-control owner, from just before its set_selection to the request; end of\n"
                "the work as on X11 (its threads' CPU time rose by at most 1 to 5 ms over 300 ms).\n");
    return isWhole ? 0 : 1;
}
