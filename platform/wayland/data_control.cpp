#include "platform/wayland/data_control.h"

#include "platform/clipboard_formats.h"
#include "platform/selection_source.h"
#include "wayland-ext-data-control-v1-client-protocol.h"
#include "wayland-wlr-data-control-unstable-v1-client-protocol.h"

#include <QGuiApplication>

#include <algorithm>
#include <array>
#include <csignal>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <wayland-client.h>

namespace platform::wayland {

namespace {

using Clock = std::chrono::steady_clock;

// Both protocols number their requests alike and send the same events in the same order; only the names
// differ. What follows speaks to either through these numbers.
constexpr std::uint32_t createDataSourceRequest = 0;
constexpr std::uint32_t getDataDeviceRequest = 1;
constexpr std::uint32_t setSelectionRequest = 0;
constexpr std::uint32_t offerRequest = 0;
constexpr std::uint32_t receiveRequest = 0;
// Of the device, the source and the offer; the manager's comes after its two others.
constexpr std::uint32_t destroyRequest = 1;
constexpr std::uint32_t managerDestroyRequest = 2;

// A reader of our selection that takes nothing for this long is dropped, and one still reading after the
// deadline too: a page now and then must not hold its bytes for good.
constexpr auto writerPatience = std::chrono::seconds(5);
constexpr auto writerDeadline = std::chrono::seconds(30);
// Readers served at once; each holds a descriptor, and a flood of requests must not take them all.
constexpr std::size_t maximumWriters = 16;
constexpr std::size_t writeChunkSize = 64 * 1024;

struct DeviceListener
{
    void (*dataOffer)(void*, wl_proxy*, wl_proxy*);
    void (*selection)(void*, wl_proxy*, wl_proxy*);
    void (*finished)(void*, wl_proxy*);
    void (*primarySelection)(void*, wl_proxy*, wl_proxy*);
};

struct OfferListener
{
    void (*offer)(void*, wl_proxy*, const char*);
};

struct SourceListener
{
    void (*send)(void*, wl_proxy*, const char*, std::int32_t);
    void (*cancelled)(void*, wl_proxy*);
};

struct CallbackListener
{
    void (*done)(void*, wl_proxy*, std::uint32_t);
};

template <typename Listener> void addListener(wl_proxy* proxy, const Listener& listener, void* data)
{
    // The layout of the listener that wayland-scanner writes for the interface, as libwayland expects it.
    wl_proxy_add_listener(proxy, reinterpret_cast<void (**)(void)>(const_cast<Listener*>(&listener)), data);
}

void destroyProxy(wl_proxy* proxy)
{
    if (proxy) {
        wl_proxy_marshal_flags(proxy, destroyRequest, nullptr, wl_proxy_get_version(proxy), WL_MARSHAL_FLAG_DESTROY);
    }
}

/// The globals of a connection that data-control needs: a seat and the managers of either protocol.
struct Globals
{
    struct Global
    {
        std::uint32_t name = 0;
        std::uint32_t version = 0;
    };

    std::optional<Global> seat;
    std::map<std::string, Global, std::less<>> managers;
};

void onGlobal(void* data, wl_registry* /*registry*/, std::uint32_t name, const char* interface, std::uint32_t version)
{
    auto& globals = *static_cast<Globals*>(data);
    if (std::string_view(interface) == wl_seat_interface.name) {
        // The first seat, as Qt's clipboard takes it.
        globals.seat = globals.seat.value_or(Globals::Global{name, version});
    } else {
        globals.managers.emplace(interface, Globals::Global{name, version});
    }
}

constexpr wl_registry_listener registryListener{&onGlobal, [](void*, wl_registry*, std::uint32_t) {}};

} // namespace

struct DataControl::Protocol
{
    const wl_interface* manager;
    const wl_interface* device;
    const wl_interface* source;
};

// Made with its proxy in onDataOffer() and deleted with it in destroyOffer(); meanwhile libwayland holds it as
// the proxy's user data.
struct DataControl::Offer
{
    wl_proxy* proxy;
    std::vector<QByteArray> mimeTypes;
};

struct DataControl::Writer
{
    FileDescriptor descriptor;
    Made bytes;
    Clock::time_point started;
    qsizetype written = 0;
    // When it last took something, or its bytes were ready; unset while they are being made.
    std::optional<Clock::time_point> lastProgress;

    [[nodiscard]] bool isReady() const { return bytes->wait_for(std::chrono::seconds(0)) == std::future_status::ready; }
    [[nodiscard]] Clock::time_point givesUpAt() const
    {
        return std::min(started + writerDeadline,
                        lastProgress ? *lastProgress + writerPatience : Clock::time_point::max());
    }
};

namespace {

/// Makes the bytes of `form`, slow work on a thread of its own, which no one waits for: a reader that goes
/// leaves them to be finished and dropped, and the dispatching thread never stalls on a large picture's
/// encoding.
std::shared_ptr<const std::shared_future<QByteArray>> startMaking(const DataControl::Offered& form)
{
    std::promise<QByteArray> promise;
    auto made = std::make_shared<const std::shared_future<QByteArray>>(promise.get_future().share());
    if (form.work == DataControl::Offered::Work::Quick) {
        promise.set_value(form.make());
    } else {
        std::thread([promise = std::move(promise), make = form.make]() mutable { promise.set_value(make()); }).detach();
    }
    return made;
}

} // namespace

std::unique_ptr<DataControl> DataControl::create(std::function<void()> selectionChanged)
{
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        return nullptr;
    }
    // A connection of our own, read by our thread alone: a flood of requests for our selection then never waits
    // on the GUI thread to be read, which the compositor would answer by dropping the whole connection.
    auto* display = wl_display_connect(nullptr);
    if (!display) {
        return nullptr;
    }
    Globals globals;
    auto* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &globals);
    wl_display_roundtrip(display);
    // The standard protocol first, where the compositor has it.
    static constexpr std::array protocols{
        Protocol{&ext_data_control_manager_v1_interface, &ext_data_control_device_v1_interface,
                 &ext_data_control_source_v1_interface},
        Protocol{&zwlr_data_control_manager_v1_interface, &zwlr_data_control_device_v1_interface,
                 &zwlr_data_control_source_v1_interface},
    };
    const auto* protocol = std::ranges::find_if(
        protocols, [&](const Protocol& each) { return globals.managers.contains(each.manager->name); });
    if (!globals.seat || protocol == protocols.end()) {
        wl_registry_destroy(registry);
        wl_display_disconnect(display);
        return nullptr;
    }
    const auto bind = [&](const Globals::Global& global, const wl_interface* interface) {
        const auto version = std::min<std::uint32_t>(global.version, interface->version);
        return static_cast<wl_proxy*>(wl_registry_bind(registry, global.name, interface, version));
    };
    auto* seat = bind(*globals.seat, &wl_seat_interface);
    std::unique_ptr<DataControl> control(
        new DataControl(display, bind(globals.managers.find(protocol->manager->name)->second, protocol->manager),
                        *protocol, std::move(selectionChanged)));
    wl_registry_destroy(registry);
    control->m_device = static_cast<wl_proxy*>(
        wl_proxy_marshal_flags(control->m_managerOnQueue, getDataDeviceRequest, protocol->device,
                               wl_proxy_get_version(control->m_managerOnQueue), 0, nullptr, seat));
    static constexpr DeviceListener deviceListener{&onDataOffer, &onSelection, &onFinished, &onPrimarySelection};
    addListener(control->m_device, deviceListener, control.get());
    // Takes in the selection there before us, which is nobody's change, before the thread starts.
    const bool answered = wl_display_roundtrip_queue(display, control->m_queue) >= 0;
    // The device keeps what it needs of the seat.
    wl_proxy_destroy(seat);
    if (!answered) {
        return nullptr;
    }
    control->m_started = true;
    control->m_thread = std::jthread([raw = control.get()](const std::stop_token& stop) { raw->run(stop); });
    return control;
}

DataControl::DataControl(wl_display* display, wl_proxy* manager, const Protocol& protocol,
                         std::function<void()> selectionChanged)
    : m_display(display), m_manager(manager), m_protocol(protocol), m_selectionChanged(std::move(selectionChanged)),
      m_queue(wl_display_create_queue(display)), m_syncAnswered(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      m_wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    m_managerOnQueue = static_cast<wl_proxy*>(wl_proxy_create_wrapper(m_manager));
    wl_proxy_set_queue(m_managerOnQueue, m_queue);
}

DataControl::~DataControl()
{
    if (m_thread.joinable()) {
        m_thread.request_stop();
        eventfd_write(m_wake.get(), 1);
        m_thread.join();
    }
    m_writers.clear();
    destroyOffer(m_current);
    for (const auto& [source, offered] : m_sources) {
        destroyProxy(source);
    }
    destroyProxy(m_device);
    wl_proxy_wrapper_destroy(m_managerOnQueue);
    wl_proxy_marshal_flags(m_manager, managerDestroyRequest, nullptr, wl_proxy_get_version(m_manager),
                           WL_MARSHAL_FLAG_DESTROY);
    wl_display_flush(m_display);
    wl_event_queue_destroy(m_queue);
    wl_display_disconnect(m_display);
}

DataControl::Selection DataControl::selection() const
{
    const std::scoped_lock lock(m_selectionMutex);
    return m_current ? Selection{m_serial, m_current->mimeTypes} : Selection{};
}

bool DataControl::ownsSelection() const
{
    const std::scoped_lock lock(m_selectionMutex);
    return m_ownSource != nullptr;
}

FileDescriptor DataControl::receive(std::uint64_t serial, const QByteArray& mimeType)
{
    std::array<int, 2> pipe{-1, -1};
    if (::pipe2(pipe.data(), O_CLOEXEC) != 0) {
        return {};
    }
    FileDescriptor readEnd(pipe[0]);
    const FileDescriptor writeEnd(pipe[1]);
    {
        const std::scoped_lock lock(m_selectionMutex);
        if (!m_current || serial != m_serial) {
            return {};
        }
        // libwayland sends a duplicate of the descriptor: ours closes here, and the owner's end is the
        // only one left, so that its close ends the transfer.
        wl_proxy_marshal_flags(m_current->proxy, receiveRequest, nullptr, wl_proxy_get_version(m_current->proxy), 0,
                               mimeType.constData(), writeEnd.get());
    }
    wl_display_flush(m_display);
    return readEnd;
}

bool DataControl::isCurrent(std::uint64_t serial, Clock::time_point deadline, int interruption)
{
    // A dying owner's pipe may close a moment before its connection: by the end of a first round trip the
    // compositor has nearly always seen that end, and by the end of a second it has told us. Nothing tells
    // more: an owner preempted between the two closes still passes for one that finished.
    if (!roundtrip(deadline, interruption) || !roundtrip(deadline, interruption)) {
        return false;
    }
    const std::scoped_lock lock(m_selectionMutex);
    return m_current && serial == m_serial;
}

bool DataControl::roundtrip(Clock::time_point deadline, int interruption)
{
    wl_proxy* callback = nullptr;
    std::uint64_t answersBefore = 0;
    {
        // Made and listened to while nothing of our queue is dispatched, so that its answer cannot slip by.
        const std::scoped_lock lock(m_dispatchMutex);
        auto* display = static_cast<wl_display*>(wl_proxy_create_wrapper(m_display));
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(display), m_queue);
        callback = reinterpret_cast<wl_proxy*>(wl_display_sync(display));
        wl_proxy_wrapper_destroy(display);
        static constexpr CallbackListener callbackListener{&onSyncDone};
        addListener(callback, callbackListener, this);
        answersBefore = m_syncAnswers.load();
    }
    wl_display_flush(m_display);
    const auto isAnswered = [&] { return m_syncAnswers.load() != answersBefore; };
    std::array descriptors{pollfd{m_syncAnswered.get(), POLLIN, 0}, pollfd{interruption, POLLIN, 0}};
    for (auto now = Clock::now(); !isAnswered() && now < deadline && descriptors[1].revents == 0; now = Clock::now()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        poll(descriptors.data(), descriptors.size(), static_cast<int>(std::min<std::int64_t>(left.count(), 1000)));
        eventfd_t value = 0;
        eventfd_read(m_syncAnswered.get(), &value);
    }
    const std::scoped_lock lock(m_dispatchMutex);
    wl_proxy_destroy(callback);
    return isAnswered();
}

void DataControl::setSelection(std::vector<Offered> offered)
{
    {
        // The offer destroyed below may be in the middle of its events on the dispatching thread.
        const std::scoped_lock lock(m_dispatchMutex, m_selectionMutex);
        auto* source =
            static_cast<wl_proxy*>(wl_proxy_marshal_flags(m_managerOnQueue, createDataSourceRequest, m_protocol.source,
                                                          wl_proxy_get_version(m_managerOnQueue), 0, nullptr));
        static constexpr SourceListener sourceListener{&onSend, &onCancelled};
        addListener(source, sourceListener, this);
        for (const auto& form : offered) {
            wl_proxy_marshal_flags(source, offerRequest, nullptr, wl_proxy_get_version(source), 0,
                                   form.mimeType.constData());
        }
        wl_proxy_marshal_flags(m_device, setSelectionRequest, nullptr, wl_proxy_get_version(m_device), 0, source);
        std::vector<Form> forms;
        for (auto& form : offered) {
            forms.push_back({std::move(form), {}});
        }
        m_sources.emplace(source, std::move(forms));
        m_ownSource = source;
        // Reads of the selection before ours end with nothing.
        destroyOffer(std::exchange(m_current, nullptr));
        ++m_serial;
    }
    wl_display_flush(m_display);
}

void DataControl::run(const std::stop_token& stop)
{
    serve(stop);
    if (!stop.stop_requested()) {
        m_broken = true;
        m_selectionChanged();
    }
}

void DataControl::serve(const std::stop_token& stop)
{
    // A reader that goes away makes our write fail with EPIPE instead of ending the process.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

    std::vector<pollfd> descriptors;
    std::vector<short> writerEvents;
    while (!stop.stop_requested() && wl_display_get_error(m_display) == 0) {
        while (wl_display_prepare_read_queue(m_display, m_queue) != 0) {
            if (!dispatchPending()) {
                return;
            }
        }
        wl_display_flush(m_display);
        descriptors = {{wl_display_get_fd(m_display), POLLIN, 0}, {m_wake.get(), POLLIN, 0}};
        auto timeout = Clock::time_point::max();
        for (const auto& writer : m_writers) {
            const bool ready = writer.isReady();
            descriptors.push_back({writer.descriptor.get(), static_cast<short>(ready ? POLLOUT : 0), 0});
            // Bytes still being made are looked for again shortly.
            timeout = std::min(timeout, writer.lastProgress && ready ? writer.givesUpAt()
                                                                     : Clock::now() + std::chrono::milliseconds(50));
        }
        const auto wait = timeout == Clock::time_point::max()
                              ? -1
                              : static_cast<int>(std::max<std::int64_t>(
                                    0, std::chrono::ceil<std::chrono::milliseconds>(timeout - Clock::now()).count()));
        poll(descriptors.data(), descriptors.size(), wait);
        if ((descriptors[0].revents & POLLIN) != 0) {
            wl_display_read_events(m_display);
        } else {
            wl_display_cancel_read(m_display);
        }
        if ((descriptors[1].revents & POLLIN) != 0) {
            eventfd_t value = 0;
            eventfd_read(m_wake.get(), &value);
        }
        if (!dispatchPending()) {
            return;
        }
        writerEvents.clear();
        for (std::size_t index = 2; index < descriptors.size(); ++index) {
            writerEvents.push_back(descriptors[index].revents);
        }
        serveWriters(writerEvents);
    }
}

bool DataControl::dispatchPending()
{
    const std::scoped_lock lock(m_dispatchMutex);
    return wl_display_dispatch_queue_pending(m_display, m_queue) >= 0;
}

void DataControl::serveWriters(const std::vector<short>& events)
{
    const auto now = Clock::now();
    std::vector<bool> finished(m_writers.size(), false);
    for (std::size_t index = 0; index < m_writers.size() && index < events.size(); ++index) {
        auto& writer = m_writers[index];
        if (!writer.isReady()) {
            finished[index] = now >= writer.givesUpAt();
            continue;
        }
        if (!writer.lastProgress) {
            writer.lastProgress = now;
        }
        const auto& bytes = writer.bytes->get();
        if ((events[index] & (POLLOUT | POLLERR | POLLHUP)) != 0) {
            const auto length = std::min<qsizetype>(bytes.size() - writer.written, writeChunkSize);
            const auto written = ::write(writer.descriptor.get(), bytes.constData() + writer.written, length);
            if (written > 0) {
                writer.written += written;
                writer.lastProgress = now;
            } else if (written < 0 && errno != EAGAIN && errno != EINTR) {
                finished[index] = true;
                // The blocked SIGPIPE this raised would stay pending for good.
                sigset_t pipeSignal;
                sigemptyset(&pipeSignal);
                sigaddset(&pipeSignal, SIGPIPE);
                const timespec none{0, 0};
                sigtimedwait(&pipeSignal, nullptr, &none);
            }
        }
        finished[index] = finished[index] || writer.written == bytes.size() || now >= writer.givesUpAt();
    }
    std::size_t index = 0;
    std::erase_if(m_writers, [&](const Writer&) { return finished[index++]; });
}

void DataControl::destroyOffer(Offer* offer)
{
    if (offer) {
        destroyProxy(offer->proxy);
        delete offer;
    }
}

void DataControl::onDataOffer(void* /*data*/, wl_proxy* /*device*/, wl_proxy* offer)
{
    static constexpr OfferListener offerListener{&onOfferMimeType};
    addListener(offer, offerListener, new Offer{offer, {}});
}

void DataControl::onOfferMimeType(void* data, wl_proxy* /*offer*/, const char* mimeType)
{
    auto& offer = *static_cast<Offer*>(data);
    // The hint counts wherever it stands in a list of any length.
    const bool isHint = std::string_view(mimeType) == passwordManagerHint;
    if (offer.mimeTypes.size() < SelectionSource::maximumForms ||
        (isHint && std::ranges::find(offer.mimeTypes, QByteArray(mimeType)) == offer.mimeTypes.end())) {
        offer.mimeTypes.emplace_back(mimeType);
    }
}

void DataControl::onSelection(void* data, wl_proxy* /*device*/, wl_proxy* offer)
{
    auto& self = *static_cast<DataControl*>(data);
    auto* incoming = offer ? static_cast<Offer*>(wl_proxy_get_user_data(offer)) : nullptr;
    {
        const std::scoped_lock lock(self.m_selectionMutex);
        // While our own source is the selection, what comes is ours coming back, or a selection that ours
        // replaced at once.
        if (self.m_ownSource) {
            self.destroyOffer(incoming);
            return;
        }
        self.destroyOffer(std::exchange(self.m_current, incoming));
        ++self.m_serial;
    }
    if (self.m_started) {
        self.m_selectionChanged();
    }
}

// The device goes inert with its seat, and with it our part in the clipboard; Qt's own objects of that seat go
// the same way, so there is nothing better to fall back on.
void DataControl::onFinished(void* /*data*/, wl_proxy* /*device*/) {}

void DataControl::onPrimarySelection(void* data, wl_proxy* /*device*/, wl_proxy* offer)
{
    if (offer) {
        static_cast<DataControl*>(data)->destroyOffer(static_cast<Offer*>(wl_proxy_get_user_data(offer)));
    }
}

void DataControl::onSend(void* data, wl_proxy* source, const char* mimeType, std::int32_t descriptor)
{
    auto& self = *static_cast<DataControl*>(data);
    FileDescriptor owned(descriptor);
    const std::scoped_lock lock(self.m_selectionMutex);
    const auto found = self.m_sources.find(source);
    if (found == self.m_sources.end()) {
        return;
    }
    const auto form =
        std::ranges::find_if(found->second, [&](const Form& each) { return each.offered.mimeType == mimeType; });
    if (form == found->second.end()) {
        return;
    }
    // Beyond the readers served at once, a new one takes the place of the one that has taken nothing for
    // longest, which is closed: a flood of requests never read neither takes every descriptor nor keeps a
    // reader that reads from being served.
    auto place = self.m_writers.end();
    if (self.m_writers.size() >= maximumWriters) {
        place = std::ranges::min_element(
            self.m_writers, {}, [](const Writer& writer) { return writer.lastProgress.value_or(writer.started); });
    }
    auto made = form->made.lock();
    if (!made) {
        made = startMaking(form->offered);
        form->made = made;
    }
    fcntl(owned.get(), F_SETFL, fcntl(owned.get(), F_GETFL) | O_NONBLOCK);
    Writer writer{std::move(owned), std::move(made), Clock::now(), 0, std::nullopt};
    if (place == self.m_writers.end()) {
        self.m_writers.push_back(std::move(writer));
    } else {
        *place = std::move(writer);
    }
}

void DataControl::onCancelled(void* data, wl_proxy* source)
{
    auto& self = *static_cast<DataControl*>(data);
    const std::scoped_lock lock(self.m_selectionMutex);
    if (self.m_ownSource == source) {
        self.m_ownSource = nullptr;
    }
    self.m_sources.erase(source);
    destroyProxy(source);
}

void DataControl::onSyncDone(void* data, wl_proxy* /*callback*/, std::uint32_t /*serial*/)
{
    auto& self = *static_cast<DataControl*>(data);
    self.m_syncAnswers.fetch_add(1);
    eventfd_write(self.m_syncAnswered.get(), 1);
}

} // namespace platform::wayland
