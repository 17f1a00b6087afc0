#include "system/global_hotkey.h"

#include "platform/hot_key_service.h"
#include "platform/notification_center.h"
#include "system/four_char_code.h"
#include "tests/fakes/fake_hot_key_service.h"
#include "tests/fakes/fake_main_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class GlobalHotkeyTest : public ::testing::Test
{
protected:
    GlobalHotkeyTest()
    {
        notifications.addObserver("TogglePopover", [this] { ++toggles; });
    }

    platform::HotKeyStatus press() { return hotKeys.send(platform::kEventHotKeyPressed, {fourCharCode("Velm"), 1}); }

    FakeHotKeyService hotKeys;
    FakeMainQueue mainQueue;
    platform::NotificationCenter notifications;
    int toggles = 0;
};

} // namespace

TEST_F(GlobalHotkeyTest, InstallsThePressedHandlerThenRegistersCommandShiftC)
{
    registerGlobalHotkey(hotKeys, mainQueue, notifications);

    EXPECT_EQ(hotKeys.calls().calls(), (std::vector<std::string>{"installEventHandler", "registerEventHotKey"}));
    ASSERT_EQ(hotKeys.installations().size(), 1U);
    const auto& eventTypes = hotKeys.installations().front().eventTypes;
    ASSERT_EQ(eventTypes.size(), 1U);
    EXPECT_EQ(eventTypes.front().eventClass, 0x6B657962U);
    EXPECT_EQ(eventTypes.front().eventKind, 5U);
    ASSERT_EQ(hotKeys.registrations().size(), 1U);
    const auto& registration = hotKeys.registrations().front();
    EXPECT_EQ(registration.keyCode, 8U);
    EXPECT_EQ(registration.modifiers, 0x300U);
    EXPECT_EQ(registration.hotKeyID.signature, 0x56656C6DU);
    EXPECT_EQ(registration.hotKeyID.id, 1U);
    EXPECT_EQ(registration.options, 0U);
}

TEST_F(GlobalHotkeyTest, EachPressPostsOneToggleAfterTheHandlerHasReturned)
{
    registerGlobalHotkey(hotKeys, mainQueue, notifications);

    EXPECT_EQ(press(), platform::HotKeyStatus::NoError);
    EXPECT_EQ(toggles, 0);
    EXPECT_EQ(mainQueue.runPending(), 1U);
    EXPECT_EQ(toggles, 1);

    static_cast<void>(press());
    static_cast<void>(press());
    EXPECT_EQ(toggles, 1);
    EXPECT_EQ(mainQueue.runPending(), 2U);
    EXPECT_EQ(toggles, 3);
}

TEST_F(GlobalHotkeyTest, ReleasingTheChordPostsNothing)
{
    registerGlobalHotkey(hotKeys, mainQueue, notifications);

    EXPECT_EQ(hotKeys.send(platform::kEventHotKeyReleased, {fourCharCode("Velm"), 1}),
              platform::HotKeyStatus::EventNotHandled);
    EXPECT_EQ(mainQueue.runPending(), 0U);
    EXPECT_EQ(toggles, 0);
}
