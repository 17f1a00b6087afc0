#include "platform/hot_keys.h"

#include "platform/x11/connection.h"
#include "platform/x11/keymap.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#include <xcb/xcb.h>

namespace platform {

namespace {

/// Grabs each registered chord on the root window and reads its presses from Qt's event stream.
class X11HotKeys final : public HotKeys, private QAbstractNativeEventFilter
{
public:
    X11HotKeys(xcb_connection_t* connection, xcb_window_t root);
    X11HotKeys(const X11HotKeys&) = delete;
    X11HotKeys& operator=(const X11HotKeys&) = delete;
    ~X11HotKeys() override;

    HotKeyStatus registerHotKey(QKeyCombination chord, std::function<void()> pressed) override;

private:
    struct Registration
    {
        xcb_keycode_t keycode;
        std::uint16_t modifiers;
        /// Lock and Num Lock: the chord counts whatever their state, so it is grabbed with each of them.
        std::uint16_t ignoredModifiers;
        std::function<void()> pressed;
        /// Between a press and its release; the server repeats the press while the chord is held.
        bool held = false;
        xcb_timestamp_t lastRelease = 0;
    };

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    void keyPressed(const xcb_key_press_event_t& event);
    void keyReleased(const xcb_key_release_event_t& event);
    /// Whether every grab succeeded.
    bool grab(xcb_keycode_t keycode, std::uint16_t modifiers, std::uint16_t ignoredModifiers) const;
    void ungrab(xcb_keycode_t keycode, std::uint16_t modifiers, std::uint16_t ignoredModifiers) const;

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    std::vector<Registration> m_registrations;
};

/// The combinations of the ignored modifiers, none among them.
std::vector<std::uint16_t> variants(std::uint16_t ignoredModifiers)
{
    std::vector<std::uint16_t> result{0};
    for (unsigned bit = 1; bit <= ignoredModifiers; bit <<= 1) {
        if (ignoredModifiers & bit) {
            const auto count = result.size();
            for (std::size_t index = 0; index < count; ++index) {
                result.push_back(static_cast<std::uint16_t>(result[index] | bit));
            }
        }
    }
    return result;
}

X11HotKeys::X11HotKeys(xcb_connection_t* connection, xcb_window_t root) : m_connection(connection), m_root(root)
{
    if (m_connection) {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
}

X11HotKeys::~X11HotKeys()
{
    if (!m_connection) {
        return;
    }
    QCoreApplication::instance()->removeNativeEventFilter(this);
    for (const auto& registration : m_registrations) {
        ungrab(registration.keycode, registration.modifiers, registration.ignoredModifiers);
    }
    xcb_flush(m_connection);
}

HotKeyStatus X11HotKeys::registerHotKey(QKeyCombination chord, std::function<void()> pressed)
{
    if (!m_connection) {
        return HotKeyStatus::Unavailable;
    }
    const x11::Keymap keymap(m_connection);
    const auto keysym = x11::keysymOf(chord.key());
    const xcb_keycode_t keycode = keysym ? keymap.keycode(*keysym) : 0;
    const auto modifiers = keymap.mask(chord.keyboardModifiers());
    if (keycode == 0 || !modifiers || !pressed) {
        return HotKeyStatus::Unsupported;
    }
    const bool alreadyOurs = std::any_of(m_registrations.begin(), m_registrations.end(), [&](const auto& other) {
        return other.keycode == keycode && other.modifiers == *modifiers;
    });
    const auto ignoredModifiers = static_cast<std::uint16_t>((XCB_MOD_MASK_LOCK | keymap.numLockMask()) & ~*modifiers);
    if (alreadyOurs) {
        return HotKeyStatus::Taken;
    }
    if (!grab(keycode, *modifiers, ignoredModifiers)) {
        // Another client holds the chord, or one of its variants: give back the variants we got.
        ungrab(keycode, *modifiers, ignoredModifiers);
        return HotKeyStatus::Taken;
    }
    m_registrations.push_back({keycode, *modifiers, ignoredModifiers, std::move(pressed)});
    return HotKeyStatus::Registered;
}

bool X11HotKeys::grab(xcb_keycode_t keycode, std::uint16_t modifiers, std::uint16_t ignoredModifiers) const
{
    std::vector<xcb_void_cookie_t> grabs;
    for (const auto variant : variants(ignoredModifiers)) {
        // Not owner_events: every key event of an active grab then goes to the root window, which Qt
        // leaves alone, so the chord never types into one of our own windows.
        grabs.push_back(xcb_grab_key_checked(m_connection, 0, m_root, modifiers | variant, keycode, XCB_GRAB_MODE_ASYNC,
                                             XCB_GRAB_MODE_ASYNC));
    }
    bool granted = true;
    for (const auto cookie : grabs) {
        if (auto* error = xcb_request_check(m_connection, cookie)) {
            std::free(error);
            granted = false;
        }
    }
    return granted;
}

void X11HotKeys::ungrab(xcb_keycode_t keycode, std::uint16_t modifiers, std::uint16_t ignoredModifiers) const
{
    for (const auto variant : variants(ignoredModifiers)) {
        xcb_ungrab_key(m_connection, keycode, m_root, modifiers | variant);
    }
}

bool X11HotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
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

void X11HotKeys::keyPressed(const xcb_key_press_event_t& event)
{
    constexpr std::uint16_t keyboardModifiers = 0xFF;
    for (auto& registration : m_registrations) {
        const auto state = event.state & keyboardModifiers & ~registration.ignoredModifiers;
        if (event.detail != registration.keycode || state != registration.modifiers) {
            continue;
        }
        // The server repeats a held chord: with detectable auto-repeat as presses without releases,
        // otherwise as a release and a press that share one timestamp.
        const bool repeated = registration.held || event.time == registration.lastRelease;
        registration.held = true;
        if (!repeated) {
            // A copy: the callback may register hot keys, which moves the registrations.
            const auto pressed = registration.pressed;
            pressed();
            return;
        }
    }
}

void X11HotKeys::keyReleased(const xcb_key_release_event_t& event)
{
    for (auto& registration : m_registrations) {
        if (event.detail == registration.keycode && registration.held) {
            registration.held = false;
            registration.lastRelease = event.time;
        }
    }
}

} // namespace

std::unique_ptr<HotKeys> createHotKeys()
{
    return std::make_unique<X11HotKeys>(x11::applicationConnection(), x11::applicationRoot());
}

} // namespace platform
