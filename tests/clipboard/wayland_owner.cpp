// The tests' Wayland clipboard owner: a client that sets the selection through data-control, which needs no
// window or focus, and misbehaves by a plan; its command line and what it prints are in
// tests/clipboard/owner_plan.h. One plan of its own, "flood:COUNT FORM FILE", owns nothing: it asks the
// selection COUNT times for FORM into pipes it never reads, then prints "ready <ns>" and waits to be killed.

#include "tests/clipboard/owner_plan.h"

#include "wayland-wlr-data-control-unstable-v1-client-protocol.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <wayland-client.h>

namespace {

constexpr std::string_view missteps[] = {"none", "silent", "skip", "die", "empty", "replace", "flood"};

struct Owner
{
    wl_display* display = nullptr;
    wl_seat* seat = nullptr;
    zwlr_data_control_manager_v1* manager = nullptr;
    zwlr_data_control_device_v1* device = nullptr;
    zwlr_data_control_source_v1* current = nullptr;
    zwlr_data_control_offer_v1* selection = nullptr;
    OwnerPlan plan;
    // Step 0 is the offer itself, which cannot go wrong: a misstep there is taken at the first request.
    int step = 0;
    long long takenAt = 0;
    bool silent = false;
    bool done = false;

    void connect();
    void offer(const OwnerPlan::Forms& forms);
    void send(const std::string& mimeType, int descriptor);
};

constexpr wl_registry_listener registryListener{
    [](void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version) {
        auto& owner = *static_cast<Owner*>(data);
        if (std::string_view(interface) == wl_seat_interface.name && !owner.seat) {
            owner.seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        } else if (std::string_view(interface) == zwlr_data_control_manager_v1_interface.name) {
            owner.manager = static_cast<zwlr_data_control_manager_v1*>(
                wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, std::min(version, 2U)));
        }
    },
    [](auto...) {}};

constexpr zwlr_data_control_source_v1_listener sourceListener{
    [](void* data, zwlr_data_control_source_v1*, const char* mimeType, std::int32_t descriptor) {
        static_cast<Owner*>(data)->send(mimeType, descriptor);
    },
    [](void* data, zwlr_data_control_source_v1* source) {
        auto& owner = *static_cast<Owner*>(data);
        owner.done = owner.done || source == owner.current;
        zwlr_data_control_source_v1_destroy(source);
    }};

// Offers get no listener: their events are dropped.
constexpr zwlr_data_control_device_v1_listener deviceListener{
    [](auto...) {},
    [](void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
        static_cast<Owner*>(data)->selection = offer;
    },
    [](auto...) {}, [](auto...) {}};

void Owner::connect()
{
    seat = nullptr;
    manager = nullptr;
    selection = nullptr;
    display = wl_display_connect(nullptr);
    if (!display) {
        std::_Exit(1);
    }
    wl_registry_add_listener(wl_display_get_registry(display), &registryListener, this);
    wl_display_roundtrip(display);
    if (!seat || !manager) {
        std::_Exit(1);
    }
    device = zwlr_data_control_manager_v1_get_data_device(manager, seat);
    zwlr_data_control_device_v1_add_listener(device, &deviceListener, this);
    // The device announces the selection there is now.
    wl_display_roundtrip(display);
}

void Owner::offer(const OwnerPlan::Forms& forms)
{
    current = zwlr_data_control_manager_v1_create_data_source(manager);
    zwlr_data_control_source_v1_add_listener(current, &sourceListener, this);
    for (const auto& form : forms) {
        zwlr_data_control_source_v1_offer(current, form.first.c_str());
    }
    takenAt = monotonicNanoseconds();
    zwlr_data_control_device_v1_set_selection(device, current);
}

void Owner::send(const std::string& mimeType, int descriptor)
{
    std::printf("asked %s %lld\n", mimeType.c_str(), monotonicNanoseconds());
    const std::string_view now = ++step == std::max(plan.step, 1) ? std::string_view(plan.misstep) : "none";
    if (now != "none") {
        std::printf("misstep %s\n", std::string(now).c_str());
    }
    silent = silent || now == "silent";
    if (silent || now == "skip") {
        // Left open on purpose, for as long as the owner lives.
        return;
    }
    if (now == "replace") {
        close(descriptor);
        plan.forms = plan.replacement.empty() ? plan.forms : plan.replacement;
        return offer(plan.forms);
    }
    const auto found = std::ranges::find(plan.forms, mimeType, [](const auto& form) { return form.first; });
    // Not copied: a copy of a large content would keep a busy machine's reader waiting.
    static const std::string nothing;
    const auto& bytes = found == plan.forms.end() || now == "empty" ? nothing : found->second;
    if (now == "die") {
        static_cast<void>(write(descriptor, bytes.data(), bytes.size() / 2));
        // The pipe ends only once the compositor has dropped our selection, as when a process dies before its
        // pipes close: the reader must not take what came for the whole.
        wl_display_disconnect(display);
        connect();
        for (int round = 0; selection && round < 100; ++round) {
            poll(nullptr, 0, 50);
            wl_display_roundtrip(display);
        }
        std::_Exit(0);
    }
    for (std::size_t sent = 0; sent < bytes.size(); poll(nullptr, 0, sent < bytes.size() ? plan.pause : 0)) {
        const auto length = std::min(bytes.size() - sent, plan.chunk == 0 ? bytes.size() : std::size_t(plan.chunk));
        const auto written = write(descriptor, bytes.data() + sent, length);
        if (written <= 0) {
            break;
        }
        sent += static_cast<std::size_t>(written);
    }
    close(descriptor);
}

/// Asks the selection, which must be there, `count` times for `mimeType`, keeping the ends to read from open and
/// unread.
void flood(Owner& owner, int count, const std::string& mimeType)
{
    for (int request = 0; request < count; ++request) {
        int ends[2] = {-1, -1};
        if (pipe2(ends, O_CLOEXEC) != 0) {
            std::_Exit(1);
        }
        zwlr_data_control_offer_v1_receive(owner.selection, mimeType.c_str(), ends[1]);
        // Sent before the next: descriptors left waiting in our buffer would overflow it.
        pollfd socket{wl_display_get_fd(owner.display), POLLOUT, 0};
        while (wl_display_flush(owner.display) < 0 && errno == EAGAIN) {
            poll(&socket, 1, -1);
        }
        // The end to read from stays open, unread, for as long as the owner lives.
        close(ends[1]);
    }
    wl_display_roundtrip(owner.display);
    std::printf("ready %lld\n", monotonicNanoseconds());
    while (wl_display_dispatch(owner.display) >= 0) {
    }
}

} // namespace

int main(int argc, char** argv)
{
    auto plan = OwnerPlan::parse(argc, argv, missteps);
    if (!plan) {
        return 2;
    }
    // A reader that goes away must not end the owner.
    std::signal(SIGPIPE, SIG_IGN);
    Owner owner;
    owner.plan = std::move(*plan);
    owner.connect();
    if (owner.plan.misstep == "flood") {
        flood(owner, owner.plan.step, owner.plan.forms.front().first);
        return 0;
    }
    if (owner.plan.seed) {
        std::mt19937_64 random(*owner.plan.seed);
        owner.plan.misstep = missteps[std::discrete_distribution<int>({40, 8, 10, 16, 10, 16})(random)];
        owner.plan.step = std::uniform_int_distribution<int>(1, 2)(random);
        const int chunks[] = {0, 1024, 65536};
        owner.plan.chunk = chunks[std::uniform_int_distribution<int>(0, 2)(random)];
        owner.plan.pause = owner.plan.chunk == 0 ? 0 : std::uniform_int_distribution<int>(0, 3)(random);
    }
    owner.offer(owner.plan.forms);
    // Once the compositor has answered, it has made us the selection.
    wl_display_roundtrip(owner.display);
    std::printf("ready %lld\n", owner.takenAt);
    while (!owner.done && wl_display_dispatch(owner.display) >= 0) {
    }
    return 0;
}
