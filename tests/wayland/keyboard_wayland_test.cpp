// The paste chord on a real Wayland compositor, typed into a window of another process.

#include "platform/wayland/wayland_backend.h"
#include "tests/support/desktop_programs.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

TEST(KeyboardWaylandTest, PastesTheClipboardIntoTheFocusedWindowOfAnotherApplication)
{
    const auto keyboard = platform::wayland::createKeyboard();
    ASSERT_TRUE(keyboard) << "sway offers no virtual keyboard";
    const PasteTarget target;
    ASSERT_NE(target.window, 0U) << "the paste target never had the focus";
    QProcess copy;
    copy.start("wl-copy", {"pasted through the virtual keyboard"});
    ASSERT_TRUE(waitForEnd(copy, 1min));
    ASSERT_EQ(target.text(), QString());

    keyboard->pressPasteChord();
    EXPECT_TRUE(waitFor([&] { return target.text() == "pasted through the virtual keyboard"; }, 20s))
        << target.text().toStdString();
    // Ctrl is up again: a later key is a plain one, not another chord.
    keyboard->pressPasteChord();
    EXPECT_TRUE(waitFor(
        [&] { return target.text() == "pasted through the virtual keyboardpasted through the virtual keyboard"; }, 20s))
        << target.text().toStdString();
}

} // namespace
