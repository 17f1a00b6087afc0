#include "app/global_hotkey.h"

#include "platform/event_loop.h"
#include "platform/hot_keys.h"
#include "tests/support/desktop_programs.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <xcb/xproto.h>

namespace {

/// Counts the key presses that reach this process, repeats included.
struct KeyPressCounter final : QAbstractNativeEventFilter
{
    KeyPressCounter() { QCoreApplication::instance()->installNativeEventFilter(this); }
    ~KeyPressCounter() override { QCoreApplication::instance()->removeNativeEventFilter(this); }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        presses += eventType == "xcb_generic_event_t" &&
                   (static_cast<xcb_generic_event_t*>(message)->response_type & ~0x80) == XCB_KEY_PRESS;
        return false;
    }

    int presses = 0;
};

/// Grabs Super+Shift+C with `extraModifiers` on the root window for `display`, another client's
/// connection; whether the server granted it.
bool grabSuperShiftC(Display* display, unsigned extraModifiers = 0)
{
    static bool refused;
    refused = false;
    const auto previous = XSetErrorHandler([](Display*, XErrorEvent*) { return static_cast<int>(refused = true); });
    XGrabKey(display, XKeysymToKeycode(display, XK_c), Mod4Mask | ShiftMask | extraModifiers,
             DefaultRootWindow(display), False, GrabModeAsync, GrabModeAsync);
    XSync(display, False);
    XSetErrorHandler(previous);
    return !refused;
}

class GlobalHotkeyX11Test : public ::testing::Test
{
protected:
    GlobalHotkeyX11Test()
    {
        // A marker: the server and the event loop deliver it after whatever the keys before it caused.
        EXPECT_EQ(hotKeys->registerHotKey(QKeyCombination(Qt::MetaModifier, Qt::Key_V),
                                          [this] { eventLoop.post([this] { ++markers; }); }),
                  platform::HotKeyStatus::Registered);
    }

    /// The toggles counted once xdotool has run `commands` and then pressed the marker.
    int togglesAfter(const QStringList& commands)
    {
        const int before = markers;
        EXPECT_TRUE(xdotool(commands + QStringList{"key", "super+v"}));
        EXPECT_TRUE(waitFor([&] { return markers > before; })) << "the marker did not come";
        return toggles;
    }

    platform::QtEventLoop eventLoop;
    std::unique_ptr<platform::HotKeys> hotKeys = platform::createHotKeys();
    int toggles = 0;
    int markers = 0;
};

} // namespace

TEST_F(GlobalHotkeyX11Test, EachPressTogglesOnceWhateverTheLockKeysOrHowLongItIsHeld)
{
    registerGlobalHotkey(*hotKeys, eventLoop, [this] { ++toggles; });
    int expected = 0;
    for (const QString locks : {"", "Num_Lock", "Caps_Lock", "Num_Lock+Caps_Lock"}) {
        SCOPED_TRACE(locks.toStdString());
        const auto lock = locks.isEmpty() ? QStringList() : QStringList{"key", locks};
        EXPECT_EQ(togglesAfter(lock + QStringList{"key", "super+shift+c"} + lock), ++expected);
    }
    EXPECT_EQ(togglesAfter({"key", "super+c", "shift+c"}), expected);
    // Held down, the chord repeats on the server.
    KeyPressCounter counter;
    ASSERT_TRUE(xdotool({"keydown", "super+shift+c"}));
    EXPECT_TRUE(waitFor([&] { return counter.presses > 2; })) << "the server did not repeat the held chord";
    EXPECT_EQ(togglesAfter({"keyup", "super+shift+c"}), expected + 1);
}

TEST_F(GlobalHotkeyX11Test, AChordHeldByAnotherClientIsReportedTakenAndGivenBackWhole)
{
    const std::unique_ptr<Display, decltype(&XCloseDisplay)> other(XOpenDisplay(nullptr), XCloseDisplay);
    ASSERT_TRUE(other && grabSuperShiftC(other.get()));

    EXPECT_EQ(hotKeys->registerHotKey(globalHotkey, [] {}), platform::HotKeyStatus::Taken);
    testing::internal::CaptureStderr();
    registerGlobalHotkey(*hotKeys, eventLoop, [] {});
    // Said once, with the way to open the panel without it.
    const auto said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::ranges::count(said, '\n'), 1) << said;
    EXPECT_NE(said.find("velmora --toggle"), std::string::npos) << said;
    // The variants with the locks, which the other client did not hold, are given back too, once Qt's connection
    // has sent the requests.
    EXPECT_TRUE(waitFor([&] { return grabSuperShiftC(other.get(), LockMask); }));
    // Mod2 is Num Lock on the server's default keymap.
    EXPECT_TRUE(waitFor([&] { return grabSuperShiftC(other.get(), Mod2Mask); }));
    EXPECT_EQ(hotKeys->registerHotKey(QKeyCombination(Qt::MetaModifier, Qt::Key_B), [] {}),
              platform::HotKeyStatus::Registered);
}
