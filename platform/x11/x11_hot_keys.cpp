#include "platform/x11/x11_backend.h"

#include "platform/x11/connection.h"
#include "platform/x11/keymap.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QChar>
#include <QCoreApplication>

#include <algorithm>
#include <utility>
#include <vector>

#include <X11/keysym.h>
#include <xcb/xcb.h>

namespace platform {

namespace {

/// Grabs each registered chord on the root window and reads its presses from Qt's event stream.
class X11HotKeys final : public HotKeys, private QAbstractNativeEventFilter
{
public:
    X11HotKeys(xcb_connection_t* connection, xcb_window_t root) : m_connection(connection), m_root(root)
    {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~X11HotKeys() override
    {
        QCoreApplication::instance()->removeNativeEventFilter(this);
        // None without a connection.
        for (const auto& registration : m_registrations) {
            ungrab(registration);
        }
    }

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

        /// The chord's modifiers with each combination of the ignored ones.
        [[nodiscard]] std::vector<std::uint16_t> variants() const
        {
            std::vector<std::uint16_t> result;
            for (std::uint16_t extra = ignoredModifiers;; extra = (extra - 1) & ignoredModifiers) {
                result.push_back(modifiers | extra);
                if (extra == 0) {
                    return result;
                }
            }
        }
    };

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    /// Whether every grab succeeded.
    bool grab(const Registration& registration) const;
    void ungrab(const Registration& registration) const
    {
        for (const auto modifiers : registration.variants()) {
            xcb_ungrab_key(m_connection, registration.keycode, m_root, modifiers);
        }
        xcb_flush(m_connection);
    }

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    std::vector<Registration> m_registrations;
};

HotKeyStatus X11HotKeys::registerHotKey(QKeyCombination chord, std::function<void()> pressed)
{
    if (!m_connection) {
        return HotKeyStatus::Unavailable;
    }
    const x11::Keymap keymap(m_connection);
    const auto key = chord.key();
    // Letters and digits only: Qt's codes for them are their upper-case ASCII, their keysyms the lower-case.
    const bool isLetterOrDigit = (key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9);
    const xcb_keycode_t keycode = isLetterOrDigit ? keymap.keycode(QChar::toLower(char32_t(key))) : 0;
    const auto modifiers = keymap.mask(chord.keyboardModifiers());
    if (keycode == 0 || !modifiers || !pressed) {
        return HotKeyStatus::Unsupported;
    }
    if (std::ranges::any_of(m_registrations, [&](const auto& other) {
            return other.keycode == keycode && other.modifiers == *modifiers;
        })) {
        return HotKeyStatus::Taken;
    }
    const auto ignoredModifiers =
        static_cast<std::uint16_t>((XCB_MOD_MASK_LOCK | keymap.maskOfKeysyms({XK_Num_Lock})) & ~*modifiers);
    Registration registration{keycode, *modifiers, ignoredModifiers, std::move(pressed)};
    if (!grab(registration)) {
        // Another client holds the chord, or one of its variants: give back the variants we got.
        ungrab(registration);
        return HotKeyStatus::Taken;
    }
    m_registrations.push_back(std::move(registration));
    return HotKeyStatus::Registered;
}

bool X11HotKeys::grab(const Registration& registration) const
{
    std::vector<xcb_void_cookie_t> grabs;
    for (const auto modifiers : registration.variants()) {
        // Not owner_events: every key event of an active grab then goes to the root window, which Qt
        // leaves alone, so the chord never types into one of our own windows.
        grabs.push_back(xcb_grab_key_checked(m_connection, 0, m_root, modifiers, registration.keycode,
                                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
    bool granted = true;
    for (const auto cookie : grabs) {
        granted = x11::Reply<xcb_generic_error_t>(xcb_request_check(m_connection, cookie)) == nullptr && granted;
    }
    return granted;
}

bool X11HotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    // A release has the same layout as a press.
    const auto* event = static_cast<const xcb_key_press_event_t*>(message);
    const auto type = eventType == "xcb_generic_event_t" ? event->response_type & ~0x80 : 0;
    constexpr std::uint16_t keyboardModifiers = 0xFF;
    for (auto& registration : m_registrations) {
        if (type == XCB_KEY_RELEASE && event->detail == registration.keycode && registration.held) {
            registration.held = false;
            registration.lastRelease = event->time;
        }
        if (type != XCB_KEY_PRESS || event->detail != registration.keycode ||
            (event->state & keyboardModifiers & ~registration.ignoredModifiers) != registration.modifiers) {
            continue;
        }
        // The server repeats a held chord: with detectable auto-repeat as presses without releases,
        // otherwise as a release and a press that share one timestamp.
        const bool repeated = std::exchange(registration.held, true) || event->time == registration.lastRelease;
        if (!repeated) {
            // A copy: the callback may register hot keys, which moves the registrations.
            const auto pressed = registration.pressed;
            pressed();
            break;
        }
    }
    // Qt still sees the event and keeps its timestamp, which activating our windows later relies on.
    return false;
}

} // namespace

std::unique_ptr<HotKeys> x11::createHotKeys()
{
    return std::make_unique<X11HotKeys>(x11::applicationConnection(), x11::applicationRoot());
}

} // namespace platform
