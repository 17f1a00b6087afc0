#include "app/floating_panel.h"

#include "tests/support/desktop_programs.h"

#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

TEST(FloatingPanelTest, IsAToolWindowAboveTheOthersOnEveryDesktopEachTimeItShows)
{
    FloatingPanel panel{QRect(0, 0, 320, 420)};
    auto content = std::make_unique<QLabel>(QStringLiteral("history"));
    content->setFixedSize(320, 420);
    panel.setContentView(std::move(content));
    const auto show = [&] {
        panel.show();
        // Generous: openbox maps and activates it late on a busy machine.
        return QTest::qWaitForWindowActive(&panel, 60000);
    };
    const auto isOnAllDesktops = [&] {
        return run("xprop", {"-id", QString::number(panel.winId()), "_NET_WM_DESKTOP"}).output.contains("4294967295");
    };
    EXPECT_FALSE(panel.isVisible());
    ASSERT_TRUE(show());
    const auto state = run("xprop", {"-id", QString::number(panel.winId()), "_NET_WM_STATE", "_NET_WM_WINDOW_TYPE"});
    EXPECT_TRUE(state.output.contains("_NET_WM_STATE_ABOVE") && state.output.contains("_NET_WM_WINDOW_TYPE_UTILITY"));
    EXPECT_TRUE(isOnAllDesktops());
    EXPECT_FALSE(panel.mask().contains(QPoint(0, 0))) << "not cut to the rounded card without a compositor";
    EXPECT_TRUE(panel.mask().contains(QPoint(160, 210)));

    // The window manager drops the desktop of a window it unmaps; the next show must set it again.
    panel.hide();
    ASSERT_TRUE(waitFor([&] { return !isOnAllDesktops(); }));
    ASSERT_TRUE(show());
    EXPECT_TRUE(isOnAllDesktops());
    // Shown again right after hiding: the window manager may withdraw the window only after the show set the
    // desktop again; the panel is on every desktop once it is active all the same.
    panel.hide();
    ASSERT_TRUE(show());
    EXPECT_TRUE(waitFor([&] { return isOnAllDesktops(); }));
}
