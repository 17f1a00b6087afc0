#include "system/auto_paste.h"

#include "platform/desktop_application.h"
#include "platform/event_loop.h"
#include "platform/keyboard.h"
#include "system/notification_center.h"
#include "tests/x11/x11_test_helpers.h"

#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

/// A window of another process holds the focus and the clipboard holds a text; then Velmora's panel is shown
/// and activated, as the hot key does. The panel asks to be activated as it is shown, so it is active before
/// the application is.
class AutoPasteX11Test : public ::testing::TestWithParam<const char*>
{
protected:
    void SetUp() override
    {
        // xclip stays in the background serving the text until the X server ends with the test.
        ASSERT_EQ(std::system("printf 'pasted from history' | xclip -selection clipboard"), 0);
        target = PasteTarget::start();
        ASSERT_TRUE(target);
        ASSERT_TRUE(waitFor([&] { return activeWindowByXdotool() == target->window(); }));
        // Velmora learns of it from an event that may still be on its way to this process.
        QTest::qWait(100);

        panel.setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        panel.resize(320, 420);
        panel.show();
        panel.activateWindow();
        ASSERT_TRUE(waitFor([&] { return activeWindowByXdotool() == panel.winId(); }));
        application.activate();
        notifications.addObserver(notifications::closePopover, [this] { panel.hide(); });
    }

    std::unique_ptr<PasteTarget> target;
    QWidget panel;
    NotificationCenter notifications;
    platform::DesktopApplication application;
    platform::QtEventLoop eventLoop;
    std::unique_ptr<platform::Keyboard> keyboard = platform::createKeyboard();
};

} // namespace

// The modifier the user still holds, from the hot key say, must not turn Ctrl+V into another chord.
TEST_P(AutoPasteX11Test, TheWindowActiveBeforeGetsTheFocusBackAndPastesTheClipboard)
{
    const QString held = QString::fromLatin1(GetParam());
    ASSERT_TRUE(held.isEmpty() || xdotool({QStringLiteral("keydown"), held}));
    performAutoPaste(notifications, application, eventLoop, *keyboard);

    EXPECT_FALSE(panel.isVisible());
    EXPECT_TRUE(waitFor([&] { return activeWindowByXdotool() == target->window(); }));
    EXPECT_TRUE(waitFor([&] { return target->text() == QStringLiteral("pasted from history"); }))
        << target->text().toStdString();
    ASSERT_TRUE(held.isEmpty() || xdotool({QStringLiteral("keyup"), held}));
}

INSTANTIATE_TEST_SUITE_P(Held, AutoPasteX11Test, ::testing::Values("", "shift"),
                         [](const auto& info) { return info.index == 0 ? "Nothing" : "Shift"; });
