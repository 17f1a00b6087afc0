#pragma once

#include "platform/file_descriptor.h"

#include <QByteArray>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

struct wl_display;
struct wl_event_queue;
struct wl_proxy;

namespace platform::wayland {

/// A seat's clipboard selection through the compositor's data-control protocol (ext, else wlr), on a Wayland
/// connection of its own beside Qt's, read and dispatched by a thread of its own: a new selection is known,
/// and our own data is served, however busy the GUI thread is. The primary selection is ignored.
class DataControl
{
public:
    /// One form of our own selection: its MIME type and how to make its bytes, each time readers ask while
    /// none is being served. Quick work is done on the dispatching thread, so that a reader is answered at once;
    /// slow work beside it, never waited for.
    struct Offered
    {
        enum class Work
        {
            Quick,
            Slow,
        };

        QByteArray mimeType;
        std::function<QByteArray()> make;
        Work work = Work::Slow;
    };

    /// Another application's selection: `serial` names it, 0 when there is none.
    struct Selection
    {
        std::uint64_t serial = 0;
        std::vector<QByteArray> mimeTypes;
    };

    /// Connects to the compositor of the application, which must run on Qt's wayland platform.
    /// `selectionChanged` runs on the dispatching thread whenever another application's selection replaces
    /// the one before, not for the one there at the start. Null when the compositor offers no data-control.
    [[nodiscard]] static std::unique_ptr<DataControl> create(std::function<void()> selectionChanged);

    DataControl(const DataControl&) = delete;
    DataControl& operator=(const DataControl&) = delete;
    ~DataControl();

    /// Any thread.
    [[nodiscard]] Selection selection() const;
    /// Whether the selection is still ours, the last one setSelection() made. Any thread.
    [[nodiscard]] bool ownsSelection() const;
    /// Whether the compositor dropped the connection, as it does with a client that cannot take its events
    /// in time; nothing is served or read on it again. Any thread.
    [[nodiscard]] bool isBroken() const { return m_broken; }
    /// Asks the owner of the selection `serial` to write it as `mimeType`; the end of the pipe to read it
    /// from, invalid once that selection has gone. Any thread.
    [[nodiscard]] FileDescriptor receive(std::uint64_t serial, const QByteArray& mimeType);
    /// Whether `serial` is still the selection once the compositor has told all it knew when asked: an owner
    /// that died mid-transfer has almost always lost it by then. False as well when the compositor does not
    /// answer by `deadline` or `interruption` turns readable. One thread at a time, not the dispatching one.
    [[nodiscard]] bool isCurrent(std::uint64_t serial, std::chrono::steady_clock::time_point deadline,
                                 int interruption);
    /// Makes `offered` the selection, or an empty one for none. Served on the dispatching thread to a few
    /// readers at once, each for a bounded time; a reader that stops reading is dropped. Any thread.
    void setSelection(std::vector<Offered> offered);

    /// How one of the protocols is bound and named; they differ in nothing else.
    struct Protocol;

private:
    struct Offer;
    struct Writer;
    // Bytes being made, or made, for the readers of one form; they go with the last of them.
    using Made = std::shared_ptr<const std::shared_future<QByteArray>>;
    struct Form
    {
        Offered offered;
        std::weak_ptr<const std::shared_future<QByteArray>> made;
    };

    DataControl(wl_display* display, wl_proxy* manager, const Protocol& protocol,
                std::function<void()> selectionChanged);

    /// Whether the compositor answered, with our queue dispatched up to its answer, before `deadline` or
    /// `interruption`.
    [[nodiscard]] bool roundtrip(std::chrono::steady_clock::time_point deadline, int interruption);
    /// Serves the connection until the stop, or until it breaks, which is then reported as a change.
    void run(const std::stop_token& stop);
    /// Reads, dispatches and writes to our readers until the stop or the end of the connection.
    void serve(const std::stop_token& stop);
    /// False once the connection is broken.
    [[nodiscard]] bool dispatchPending();
    void serveWriters(const std::vector<short>& events);
    void destroyOffer(Offer* offer);

    static void onDataOffer(void* data, wl_proxy* device, wl_proxy* offer);
    static void onOfferMimeType(void* data, wl_proxy* offer, const char* mimeType);
    static void onSelection(void* data, wl_proxy* device, wl_proxy* offer);
    static void onFinished(void* data, wl_proxy* device);
    static void onPrimarySelection(void* data, wl_proxy* device, wl_proxy* offer);
    static void onSend(void* data, wl_proxy* source, const char* mimeType, std::int32_t descriptor);
    static void onCancelled(void* data, wl_proxy* source);
    static void onSyncDone(void* data, wl_proxy* callback, std::uint32_t serial);

    // Ours: disconnected by the destructor.
    wl_display* m_display;
    wl_proxy* m_manager;
    const Protocol& m_protocol;
    std::function<void()> m_selectionChanged;
    wl_event_queue* m_queue = nullptr;
    // The manager as seen from our queue: what it creates lives there.
    wl_proxy* m_managerOnQueue = nullptr;
    wl_proxy* m_device = nullptr;
    // Set once the first selection, the one there before us, has been taken in.
    bool m_started = false;

    mutable std::mutex m_selectionMutex;
    Offer* m_current = nullptr;
    std::uint64_t m_serial = 0;
    wl_proxy* m_ownSource = nullptr;
    std::map<wl_proxy*, std::vector<Form>> m_sources;

    // Held while events of our queue run, so that a proxy is never destroyed under its own event.
    std::mutex m_dispatchMutex;
    // Counts the answers to roundtrip(), one at a time: a destroyed callback is never answered.
    std::atomic<std::uint64_t> m_syncAnswers = 0;
    std::atomic<bool> m_broken = false;
    // Readable after an answer, for roundtrip() to wait on together with its interruption. Made once: the thread
    // sanitizer loses track of descriptors that come and go between threads.
    FileDescriptor m_syncAnswered;
    // Used by the dispatching thread only.
    std::vector<Writer> m_writers;
    FileDescriptor m_wake;
    // Last: it runs on everything above.
    std::jthread m_thread;
};

} // namespace platform::wayland
