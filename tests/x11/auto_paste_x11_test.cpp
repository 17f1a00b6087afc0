#include "platform/desktop_application.h"
#include "platform/key_event_service.h"
#include "platform/notification_center.h"
#include "platform/qt_main_queue.h"
#include "system/auto_paste.h"
#include "tests/x11/x11_test_helpers.h"

#include <QApplication>
#include <QPixmap>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

const QString clipboardText = QStringLiteral("pasted from history");

/// A window of another process holds the focus and the clipboard holds a text; then Velmora's panel is shown
/// and activated, as the hot key does. The panel asks to be activated as it is shown, so it is active before
/// the application is.
class AutoPasteX11Test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // xclip stays in the background serving the text until the X server ends with the test.
        ASSERT_EQ(std::system("printf 'pasted from history' | xclip -selection clipboard"), 0);
        target = PasteTarget::start();
        ASSERT_TRUE(target);
        ASSERT_TRUE(waitFor([&] { return activeWindowByXdotool() == target->window(); }));
        // The user works in it for a moment, long enough for us to see it become active.
        processEventsFor(std::chrono::milliseconds(100));

        panel.setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        panel.resize(320, 420);
        panel.show();
        panel.activateWindow();
        ASSERT_TRUE(waitFor([&] { return activeWindowByXdotool() == panel.winId(); }));
        application.activate();
        notifications.addObserver("ClosePopover", [this] { panel.hide(); });
    }

    void paste() { performAutoPaste(notifications, application, mainQueue, *keyEvents); }

    std::unique_ptr<PasteTarget> target;
    QWidget panel;
    platform::NotificationCenter notifications;
    platform::DesktopApplication application;
    platform::QtMainQueue mainQueue;
    std::unique_ptr<platform::KeyEventService> keyEvents = platform::createKeyEventService();
};

} // namespace

TEST_F(AutoPasteX11Test, HidingGivesTheFocusBackToTheWindowActiveBefore)
{
    application.hide();

    EXPECT_FALSE(panel.isVisible());
    EXPECT_TRUE(waitFor([&] { return activeWindowByXdotool() == target->window(); }));
}

TEST_F(AutoPasteX11Test, HidingActivatesTheWindowThatWasActiveWhenTheApplicationWasActivated)
{
    // Another window takes the focus meanwhile; the window manager alone would leave it there.
    const auto other = PasteTarget::start();
    ASSERT_TRUE(other);
    ASSERT_TRUE(run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QString::number(other->window())}));
    ASSERT_TRUE(waitFor([&] { return activeWindowByXdotool() == other->window(); }));

    application.hide();

    EXPECT_TRUE(waitFor([&] { return activeWindowByXdotool() == target->window(); }));
}

TEST_F(AutoPasteX11Test, TheWindowThatHadTheFocusPastesTheClipboard)
{
    paste();

    EXPECT_TRUE(waitFor([&] { return target->text() == clipboardText; })) << target->text().toStdString();
}

TEST_F(AutoPasteX11Test, TheTargetSeesPlainCtrlVWhileTheUserHoldsShift)
{
    ASSERT_TRUE(run(QStringLiteral("xdotool"), {QStringLiteral("keydown"), QStringLiteral("shift")}));
    paste();

    EXPECT_TRUE(waitFor([&] { return target->text() == clipboardText; })) << target->text().toStdString();
    static_cast<void>(run(QStringLiteral("xdotool"), {QStringLiteral("keyup"), QStringLiteral("shift")}));
}

TEST(DesktopApplicationX11Test, HidingLeavesTheTrayIconInTheTray)
{
    QProcess tray;
    tray.start(QStringLiteral("tint2"), {});
    ASSERT_TRUE(waitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, std::chrono::seconds(5)));
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::red);
    QSystemTrayIcon icon{QIcon(pixmap)};
    icon.show();
    // The XEmbed icon is a top-level widget of ours, docked into the tray.
    const auto shownTopLevels = [] {
        const auto widgets = QApplication::topLevelWidgets();
        return std::count_if(widgets.begin(), widgets.end(), [](QWidget* widget) { return widget->isVisible(); });
    };
    ASSERT_TRUE(waitFor([&] { return shownTopLevels() == 1; }));

    platform::DesktopApplication application;
    application.hide();

    processEventsFor(std::chrono::milliseconds(100));
    EXPECT_EQ(shownTopLevels(), 1);
    tray.terminate();
    tray.waitForFinished();
}
