#include "platform/hot_key_service.h"

#include "platform/x11/display.h"
#include "platform/x11/key_mapping.h"
#include "platform/x11/modifier_map.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>

#include <algorithm>
#include <utility>

#include <X11/Xlib.h>
#include <xcb/xproto.h>

namespace platform {

namespace {

bool isPressedKind(const EventTypeSpec& type)
{
    return type.eventClass == kEventClassKeyboard && type.eventKind == kEventHotKeyPressed;
}

/// Grabs each registered chord on the root window and turns its presses, read from Qt's event stream on the
/// GUI thread, into hot-key events. Only the pressed kind exists here.
class X11HotKeyService final : public HotKeyService, private QAbstractNativeEventFilter
{
public:
    explicit X11HotKeyService(Display* display);
    X11HotKeyService(const X11HotKeyService&) = delete;
    X11HotKeyService& operator=(const X11HotKeyService&) = delete;
    ~X11HotKeyService() override;

    HotKeyStatus installEventHandler(std::vector<EventTypeSpec> eventTypes, EventHandler handler) override;
    HotKeyStatus registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers, EventHotKeyID hotKeyID,
                                     std::uint32_t options) override;

private:
    struct Registration
    {
        EventHotKeyID id;
        KeyCode keycode;
        unsigned modifiers;
        /// Lock and Num Lock: the chord counts whatever their state, so it is grabbed with each of them.
        unsigned ignoredModifiers;
        /// Between a press and its release; the server repeats the press while the chord is held.
        bool held = false;
        Time lastRelease = 0;
    };

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    void keyPressed(const xcb_key_press_event_t& event);
    void keyReleased(const xcb_key_release_event_t& event);
    void dispatch(const HotKeyEvent& event) const;
    void ungrab(KeyCode keycode, unsigned modifiers, unsigned ignoredModifiers) const;

    Display* m_display;
    std::vector<std::pair<std::vector<EventTypeSpec>, EventHandler>> m_handlers;
    std::vector<Registration> m_registrations;
};

/// The combinations of the ignored modifiers, none among them.
std::vector<unsigned> variants(unsigned ignoredModifiers)
{
    std::vector<unsigned> result{0};
    for (unsigned bit = 1; bit <= ignoredModifiers; bit <<= 1) {
        if (ignoredModifiers & bit) {
            const auto count = result.size();
            for (std::size_t index = 0; index < count; ++index) {
                result.push_back(result[index] | bit);
            }
        }
    }
    return result;
}

X11HotKeyService::X11HotKeyService(Display* display) : m_display(display)
{
    if (m_display) {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
}

X11HotKeyService::~X11HotKeyService()
{
    if (!m_display) {
        return;
    }
    QCoreApplication::instance()->removeNativeEventFilter(this);
    for (const auto& registration : m_registrations) {
        ungrab(registration.keycode, registration.modifiers, registration.ignoredModifiers);
    }
    XFlush(m_display);
}

HotKeyStatus X11HotKeyService::installEventHandler(std::vector<EventTypeSpec> eventTypes, EventHandler handler)
{
    if (!handler || eventTypes.empty() || !std::all_of(eventTypes.begin(), eventTypes.end(), isPressedKind)) {
        return HotKeyStatus::InvalidArgument;
    }
    m_handlers.emplace_back(std::move(eventTypes), std::move(handler));
    return HotKeyStatus::NoError;
}

HotKeyStatus X11HotKeyService::registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                                   EventHotKeyID hotKeyID, std::uint32_t options)
{
    if (!m_display) {
        return HotKeyStatus::Unavailable;
    }
    const auto keysym = x11::keysymForVirtualKey(keyCode);
    const auto chordModifiers = x11::hotKeyModifiers(modifiers);
    if (!keysym || !chordModifiers || options != 0) {
        return HotKeyStatus::InvalidArgument;
    }
    const KeyCode keycode = XKeysymToKeycode(m_display, *keysym);
    const x11::ModifierMap modifierMap(m_display);
    unsigned mask = 0;
    for (const auto modifier : *chordModifiers) {
        const auto bit = modifierMap.mask(modifier);
        if (bit == 0) {
            return HotKeyStatus::InvalidArgument;
        }
        mask |= bit;
    }
    if (keycode == 0) {
        return HotKeyStatus::InvalidArgument;
    }
    const bool alreadyOurs = std::any_of(m_registrations.begin(), m_registrations.end(), [&](const auto& other) {
        return other.keycode == keycode && other.modifiers == mask;
    });
    if (alreadyOurs) {
        return HotKeyStatus::HotKeyExists;
    }

    const unsigned ignoredModifiers = (LockMask | modifierMap.numLockMask()) & ~mask;
    const auto root = DefaultRootWindow(m_display);
    x11::ErrorTrap trap(m_display);
    for (const auto variant : variants(ignoredModifiers)) {
        // Not owner_events: every key event of an active grab then goes to the root window, which Qt
        // leaves alone, so the chord never types into one of our own windows.
        XGrabKey(m_display, keycode, mask | variant, root, False, GrabModeAsync, GrabModeAsync);
    }
    if (trap.failed()) {
        // Another client holds the chord, or one of its variants: take back the variants we got.
        ungrab(keycode, mask, ignoredModifiers);
        return HotKeyStatus::HotKeyExists;
    }
    m_registrations.push_back({hotKeyID, keycode, mask, ignoredModifiers});
    return HotKeyStatus::NoError;
}

void X11HotKeyService::ungrab(KeyCode keycode, unsigned modifiers, unsigned ignoredModifiers) const
{
    const auto root = DefaultRootWindow(m_display);
    for (const auto variant : variants(ignoredModifiers)) {
        XUngrabKey(m_display, keycode, modifiers | variant, root);
    }
}

bool X11HotKeyService::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t" || m_registrations.empty()) {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    switch (event->response_type & ~0x80) {
    case XCB_KEY_PRESS:
        keyPressed(*static_cast<const xcb_key_press_event_t*>(message));
        break;
    case XCB_KEY_RELEASE:
        keyReleased(*static_cast<const xcb_key_release_event_t*>(message));
        break;
    default:
        break;
    }
    // Qt still sees the event and keeps its timestamp, which activating our windows later relies on.
    return false;
}

void X11HotKeyService::keyPressed(const xcb_key_press_event_t& event)
{
    constexpr unsigned keyboardModifiers = 0xFF;
    for (auto& registration : m_registrations) {
        const unsigned state = event.state & keyboardModifiers & ~registration.ignoredModifiers;
        if (event.detail != registration.keycode || state != registration.modifiers) {
            continue;
        }
        // The server repeats a held chord: with detectable auto-repeat as presses without releases,
        // otherwise as a release and a press that share one timestamp.
        const bool repeated = registration.held || event.time == registration.lastRelease;
        registration.held = true;
        if (!repeated) {
            // A handler may register hot keys; copy what it needs before the list can change.
            const auto id = registration.id;
            dispatch({kEventHotKeyPressed, id});
            return;
        }
    }
}

void X11HotKeyService::keyReleased(const xcb_key_release_event_t& event)
{
    for (auto& registration : m_registrations) {
        if (event.detail == registration.keycode && registration.held) {
            registration.held = false;
            registration.lastRelease = event.time;
        }
    }
}

void X11HotKeyService::dispatch(const HotKeyEvent& event) const
{
    // Handlers may install handlers; the newest at the time of the press goes first.
    const auto handlers = m_handlers;
    for (auto installed = handlers.rbegin(); installed != handlers.rend(); ++installed) {
        const auto& [types, handler] = *installed;
        const bool wanted = std::any_of(types.begin(), types.end(), [&](const EventTypeSpec& type) {
            return type.eventClass == kEventClassKeyboard && type.eventKind == event.eventKind;
        });
        if (wanted && handler(event) == HotKeyStatus::NoError) {
            return;
        }
    }
}

} // namespace

std::unique_ptr<HotKeyService> createHotKeyService()
{
    return std::make_unique<X11HotKeyService>(x11::applicationDisplay());
}

} // namespace platform
