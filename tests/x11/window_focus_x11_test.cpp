#include "platform/desktop_application.h"
#include "tests/x11/x11_test_helpers.h"

#include <QWidget>

#include <gtest/gtest.h>

// Without a window manager the focus moves only by plain input-focus changes.

TEST(WindowFocusX11Test, HidingGivesTheInputFocusBackWithoutAWindowManager)
{
    const auto target = PasteTarget::start();
    ASSERT_TRUE(target);
    ASSERT_TRUE(waitFor([&] { return focusWindowByXdotool() == target->window(); }));

    platform::DesktopApplication application;
    QWidget panel;
    panel.show();
    application.activate();
    ASSERT_TRUE(waitFor([&] { return focusWindowByXdotool() == panel.winId(); }));

    application.hide();
    EXPECT_FALSE(panel.isVisible());
    EXPECT_TRUE(waitFor([&] { return focusWindowByXdotool() == target->window(); }));
}
