#include "platform/desktop_application.h"
#include "tests/support/desktop_programs.h"

#include <QWidget>

#include <gtest/gtest.h>

namespace {

/// The window that has the X input focus; without a window manager nothing else moves it.
std::uint32_t focusWindow()
{
    return windowByXdotool({QStringLiteral("getwindowfocus"), QStringLiteral("-f")});
}

} // namespace

TEST(WindowFocusX11Test, HidingGivesTheInputFocusBackWithoutAWindowManager)
{
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
