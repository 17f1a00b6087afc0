#include "platform/desktop_application.h"
#include "tests/support/desktop_programs.h"

#include <QWidget>

#include <gtest/gtest.h>

TEST(WindowFocusX11Test, HidingGivesTheInputFocusBackWithoutAWindowManager)
{
    // Without a window manager nothing else moves the X input focus.
    const auto focusWindow = [] { return windowByXdotool({"getwindowfocus", "-f"}); };
    const PasteTarget target;
    ASSERT_NE(target.window, 0u);
    ASSERT_TRUE(waitFor([&] { return focusWindow() == target.window; }));

    platform::DesktopApplication application;
    QWidget panel;
    panel.show();
    application.activate();
    ASSERT_TRUE(waitFor([&] { return focusWindow() == panel.winId(); }));

    application.hide();
    EXPECT_FALSE(panel.isVisible());
    EXPECT_TRUE(waitFor([&] { return focusWindow() == target.window; }));
}
