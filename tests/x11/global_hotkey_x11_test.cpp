#include "platform/hot_key_service.h"
#include "platform/key_event_service.h"
#include "platform/notification_center.h"
#include "platform/qt_main_queue.h"
#include "system/global_hotkey.h"
#include "tests/x11/x11_test_helpers.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <xcb/xproto.h>

using namespace std::chrono_literals;

namespace {

bool xdotool(const QStringList& arguments)
{
    return run(QStringLiteral("xdotool"), arguments).has_value();
}

bool pressChord()
{
    return xdotool({QStringLiteral("key"), QStringLiteral("super+shift+c")});
}

/// Counts the key presses that reach this process, repeats included.
class KeyPressCounter final : public QAbstractNativeEventFilter
{
public:
    KeyPressCounter() { QCoreApplication::instance()->installNativeEventFilter(this); }
    KeyPressCounter(const KeyPressCounter&) = delete;
    KeyPressCounter& operator=(const KeyPressCounter&) = delete;
    ~KeyPressCounter() override { QCoreApplication::instance()->removeNativeEventFilter(this); }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType == "xcb_generic_event_t" &&
            (static_cast<xcb_generic_event_t*>(message)->response_type & ~0x80) == XCB_KEY_PRESS) {
            ++presses;
        }
        return false;
    }

    int presses = 0;
};

/// Another X client, with a connection of its own.
class OtherClient
{
public:
    OtherClient() : m_display(XOpenDisplay(nullptr)) {}
    OtherClient(const OtherClient&) = delete;
    OtherClient& operator=(const OtherClient&) = delete;
    ~OtherClient()
    {
        if (m_display) {
            XCloseDisplay(m_display);
        }
    }

    [[nodiscard]] bool isConnected() const { return m_display; }

    /// Grabs Super+Shift+C with `extraModifiers` on the root window; whether the server granted it.
    bool grabSuperShiftC(unsigned extraModifiers = 0)
    {
        refused = false;
        const auto previous = XSetErrorHandler([](Display*, XErrorEvent*) {
            refused = true;
            return 0;
        });
        XGrabKey(m_display, XKeysymToKeycode(m_display, XK_c), Mod4Mask | ShiftMask | extraModifiers,
                 DefaultRootWindow(m_display), False, GrabModeAsync, GrabModeAsync);
        XSync(m_display, False);
        XSetErrorHandler(previous);
        return !refused;
    }

    /// Whether a key press reaches this client within a second.
    bool receivesKeyPress()
    {
        const auto deadline = std::chrono::steady_clock::now() + 1s;
        XEvent event;
        while (std::chrono::steady_clock::now() < deadline) {
            if (XCheckTypedEvent(m_display, KeyPress, &event)) {
                return true;
            }
            processEventsFor(20ms);
        }
        return false;
    }

private:
    static inline bool refused = false;
    Display* m_display;
};

class GlobalHotkeyX11Test : public ::testing::Test
{
protected:
    GlobalHotkeyX11Test() { notifications.addObserver("TogglePopover", [this] { ++toggles; }); }

    /// Waits for `expected` toggles, then a little longer for any that should not come.
    bool settlesAt(int expected)
    {
        static_cast<void>(waitFor([&] { return toggles >= expected; }));
        processEventsFor(300ms);
        return toggles == expected;
    }

    platform::QtMainQueue mainQueue;
    platform::NotificationCenter notifications;
    std::unique_ptr<platform::HotKeyService> hotKeys = platform::createHotKeyService();
    int toggles = 0;
};

} // namespace

TEST_F(GlobalHotkeyX11Test, EachPressOfTheChordTogglesOnce)
{
    registerGlobalHotkey(*hotKeys, mainQueue, notifications);

    ASSERT_TRUE(pressChord());
    EXPECT_TRUE(settlesAt(1));
    ASSERT_TRUE(pressChord());
    EXPECT_TRUE(settlesAt(2));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("super+c"), QStringLiteral("shift+c")}));
    EXPECT_TRUE(settlesAt(2));
}

TEST_F(GlobalHotkeyX11Test, TheChordTogglesWhateverTheLockKeys)
{
    registerGlobalHotkey(*hotKeys, mainQueue, notifications);

    const QStringList rows[] = {{"Num_Lock"}, {"Caps_Lock"}, {"Num_Lock", "Caps_Lock"}};
    int expected = 0;
    for (const auto& locks : rows) {
        SCOPED_TRACE(locks.join('+').toStdString());
        ASSERT_TRUE(xdotool(QStringList{QStringLiteral("key")} + locks));
        ASSERT_TRUE(pressChord());
        EXPECT_TRUE(settlesAt(++expected));
        ASSERT_TRUE(xdotool(QStringList{QStringLiteral("key")} + locks));
    }
}

TEST_F(GlobalHotkeyX11Test, HoldingTheChordDownTogglesOnce)
{
    registerGlobalHotkey(*hotKeys, mainQueue, notifications);
    KeyPressCounter counter;

    ASSERT_TRUE(xdotool({QStringLiteral("keydown"), QStringLiteral("super+shift+c")}));
    // Past the server's auto-repeat delay, so that it repeats the held chord.
    processEventsFor(1200ms);
    ASSERT_TRUE(xdotool({QStringLiteral("keyup"), QStringLiteral("super+shift+c")}));

    EXPECT_TRUE(settlesAt(1));
    EXPECT_GT(counter.presses, 2) << "the server did not repeat the held chord";
}

TEST_F(GlobalHotkeyX11Test, AChordHeldByAnotherClientLeavesTheRegistrationFailedAndAllElseWorking)
{
    OtherClient other;
    ASSERT_TRUE(other.isConnected());
    ASSERT_TRUE(other.grabSuperShiftC());

    EXPECT_EQ(hotKeys->registerEventHotKey(platform::kVK_ANSI_C, platform::cmdKey | platform::shiftKey, {1, 1}, 0),
              platform::HotKeyStatus::HotKeyExists);
    registerGlobalHotkey(*hotKeys, mainQueue, notifications);

    ASSERT_TRUE(pressChord());
    EXPECT_TRUE(other.receivesKeyPress());
    EXPECT_TRUE(settlesAt(0));
    // The variants with the locks, which the other client did not hold, were given back too.
    EXPECT_TRUE(other.grabSuperShiftC(LockMask));
    EXPECT_TRUE(other.grabSuperShiftC(Mod2Mask)); // Num Lock on the server's default keymap

    EXPECT_EQ(hotKeys->registerEventHotKey(platform::kVK_ANSI_V, platform::cmdKey, {1, 2}, 0), platform::HotKeyStatus::NoError);
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("super+v")}));
    EXPECT_TRUE(settlesAt(1));
    notifications.post("TogglePopover");
    EXPECT_EQ(toggles, 2);
}
