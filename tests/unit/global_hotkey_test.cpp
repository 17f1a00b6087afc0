#include "system/global_hotkey.h"

#include "platform/hot_key_service.h"
#include "platform/notification_center.h"
#include "tests/fakes/call_log.h"
#include "tests/fakes/fake_hot_key_service.h"
#include "tests/fakes/fake_main_queue.h"

#include <gtest/gtest.h>

TEST(GlobalHotkeyTest, RegistersCommandShiftCAndEachPressPostsOneToggleAfterTheHandlerHasReturned)
{
    CallLog log;
    FakeHotKeyService hotKeys{log};
    FakeMainQueue mainQueue;
    platform::NotificationCenter notifications;
    int toggles = 0;
    notifications.addObserver("TogglePopover", [&] { ++toggles; });
    registerGlobalHotkey(hotKeys, mainQueue, notifications);

    // Class 'keyb', kind 5 (pressed); key 8, Command and Shift, identifier ('Velm', 1), no options.
    EXPECT_EQ(log, (CallLog{"installEventHandler 0x6b657962/5", "registerEventHotKey 8 0x300 0x56656c6d/1 0"}));

    EXPECT_EQ(hotKeys.send(platform::kEventHotKeyPressed), platform::HotKeyStatus::NoError);
    EXPECT_EQ(toggles, 0);
    EXPECT_EQ(mainQueue.runPending(), 1U);
    EXPECT_EQ(toggles, 1);

    static_cast<void>(hotKeys.send(platform::kEventHotKeyPressed));
    static_cast<void>(hotKeys.send(platform::kEventHotKeyPressed));
    EXPECT_EQ(hotKeys.send(platform::kEventHotKeyReleased), platform::HotKeyStatus::EventNotHandled);
    EXPECT_EQ(toggles, 1);
    EXPECT_EQ(mainQueue.runPending(), 2U);
    EXPECT_EQ(toggles, 3);
}
