// A Wayland client that sets the selection through data-control, which needs no window or focus, offers the
// bytes of each FILE as its MIME type, and takes one misstep, for the tests of the bounded reader:
//
//   velmora_test_selection_owner MISSTEP[:CHUNK[:PAUSE]] MIME FILE [MIME FILE ...]
//   velmora_test_selection_owner random:SEED MIME FILE [MIME FILE ...]
//
// Missteps: none; silent (answers no request, keeping the pipe open); skip (leaves the first request so);
// die (sends half of the first request, then exits); empty (closes the first pipe at once); replace (sets the
// selection again, with the same offer, before answering the first request). CHUNK > 0 sends the data in
// pieces of that many bytes, PAUSE ms apart. random:SEED draws the misstep and the chunking.
// Prints "copied <ns>" as it sets the selection, "ready" once it owns it, "asked <mime> <ns>" for each request
// and "misstep <name>" when it takes it, times on the monotonic clock; exits when another client takes the
// selection.

#include "wayland-wlr-data-control-unstable-v1-client-protocol.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <csignal>
#include <ctime>
#include <poll.h>
#include <unistd.h>

#include <wayland-client.h>

namespace {

constexpr std::string_view missteps[] = {"none", "silent", "skip", "die", "empty", "replace"};

long long monotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

struct Owner
{
    wl_seat* seat = nullptr;
    zwlr_data_control_manager_v1* manager = nullptr;
    zwlr_data_control_device_v1* device = nullptr;
    zwlr_data_control_source_v1* current = nullptr;
    std::map<std::string, std::string> payloads;
    // Taken at the next request; "silent" at every one.
    std::string_view misstep = "none";
    std::size_t chunk = 0;
    int pause = 0;
    std::mt19937_64 random;
    // Pipes left open on purpose.
    std::vector<int> held;
    bool done = false;

    void offer();
    void send(const std::string& mimeType, int descriptor);
};

void onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version)
{
    auto& owner = *static_cast<Owner*>(data);
    if (std::string_view(interface) == wl_seat_interface.name && !owner.seat) {
        owner.seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (std::string_view(interface) == zwlr_data_control_manager_v1_interface.name) {
        owner.manager = static_cast<zwlr_data_control_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, std::min(version, 2U)));
    }
}

void onGlobalRemove(void*, wl_registry*, std::uint32_t) {}

constexpr wl_registry_listener registryListener{&onGlobal, &onGlobalRemove};

void onSend(void* data, zwlr_data_control_source_v1*, const char* mimeType, std::int32_t descriptor)
{
    static_cast<Owner*>(data)->send(mimeType, descriptor);
}

void onCancelled(void* data, zwlr_data_control_source_v1* source)
{
    auto& owner = *static_cast<Owner*>(data);
    owner.done = owner.done || source == owner.current;
    zwlr_data_control_source_v1_destroy(source);
}

constexpr zwlr_data_control_source_v1_listener sourceListener{&onSend, &onCancelled};

void Owner::offer()
{
    current = zwlr_data_control_manager_v1_create_data_source(manager);
    zwlr_data_control_source_v1_add_listener(current, &sourceListener, this);
    for (const auto& [mimeType, bytes] : payloads) {
        zwlr_data_control_source_v1_offer(current, mimeType.c_str());
    }
    std::printf("copied %lld\n", monotonicNanoseconds());
    zwlr_data_control_device_v1_set_selection(device, current);
}

void Owner::send(const std::string& mimeType, int descriptor)
{
    std::printf("asked %s %lld\n", mimeType.c_str(), monotonicNanoseconds());
    const auto now = misstep;
    misstep = now == "silent" ? now : "none";
    if (now != "none") {
        std::printf("misstep %s\n", std::string(now).c_str());
    }
    if (now == "replace") {
        offer();
    }
    if (now == "silent" || now == "skip") {
        held.push_back(descriptor);
        return;
    }
    const auto found = payloads.find(mimeType);
    const std::string bytes = found == payloads.end() || now == "empty" ? std::string() : found->second;
    const auto end = now == "die" ? bytes.size() / 2 : bytes.size();
    for (std::size_t sent = 0; sent < end;) {
        const auto length = std::min(end - sent, chunk == 0 ? end : chunk);
        const auto written = write(descriptor, bytes.data() + sent, length);
        if (written <= 0) {
            break;
        }
        sent += static_cast<std::size_t>(written);
        if (pause > 0 && sent < end) {
            poll(nullptr, 0, pause);
        }
    }
    if (now == "die") {
        std::_Exit(0);
    }
    close(descriptor);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4 || argc % 2 != 0) {
        return 2;
    }
    // A reader that goes away must not end the owner.
    std::signal(SIGPIPE, SIG_IGN);
    // Line by line, so that nothing printed is lost when the owner dies.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Owner owner;
    for (int index = 2; index + 1 < argc; index += 2) {
        std::ifstream file(argv[index + 1], std::ios::binary);
        owner.payloads[argv[index]] = {std::istreambuf_iterator<char>(file), {}};
    }
    char name[32] = "";
    unsigned long long first = 0;
    int pause = 0;
    std::sscanf(argv[1], "%31[^:]:%llu:%d", name, &first, &pause);
    if (std::string_view(name) == "random") {
        owner.random.seed(first);
        owner.misstep = missteps[std::discrete_distribution<int>({40, 8, 10, 16, 10, 16})(owner.random)];
        const std::size_t chunks[] = {0, 1024, 65536};
        owner.chunk = chunks[std::uniform_int_distribution<int>(0, 2)(owner.random)];
        owner.pause = owner.chunk == 0 ? 0 : std::uniform_int_distribution<int>(0, 3)(owner.random);
    } else if (std::ranges::find(missteps, std::string_view(name)) != std::end(missteps)) {
        owner.misstep = *std::ranges::find(missteps, std::string_view(name));
        owner.chunk = first;
        owner.pause = pause;
    } else {
        return 2;
    }

    auto* display = wl_display_connect(nullptr);
    if (!display) {
        return 1;
    }
    auto* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &owner);
    wl_display_roundtrip(display);
    if (!owner.seat || !owner.manager) {
        return 1;
    }
    owner.device = zwlr_data_control_manager_v1_get_data_device(owner.manager, owner.seat);
    owner.offer();
    // Once the compositor has answered, it has made us the selection.
    wl_display_roundtrip(display);
    std::printf("ready\n");
    while (!owner.done && wl_display_dispatch(display) >= 0) {
    }
    return 0;
}
