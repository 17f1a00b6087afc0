#include "system/auto_paste.h"

#include "system/notification_center.h"
#include "tests/fakes/fake_desktop.h"
#include "tests/fakes/fake_event_loop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <vector>

using namespace std::chrono_literals;

namespace {

TEST(AutoPasteTest, ClosesAndHidesAtOnceThenPressesThePasteChordATenthOfASecondAfterEachCall)
{
    CallLog log;
    NotificationCenter notifications;
    FakeApplication application{log};
    FakeEventLoop eventLoop;
    FakeKeyboard keyboard{log};
    // How many calls the fakes had seen at each close: it comes before the hide.
    std::vector<std::size_t> callsAtClose;
    notifications.addObserver(notifications::closePopover, [&] { callsAtClose.push_back(log.size()); });

    performAutoPaste(notifications, application, eventLoop, keyboard);
    EXPECT_EQ(callsAtClose, std::vector<std::size_t>{0});
    EXPECT_EQ(log, CallLog{Call::Hide});
    eventLoop.advance(50ms);
    performAutoPaste(notifications, application, eventLoop, keyboard);
    log.clear();

    eventLoop.advance(49ms);
    EXPECT_TRUE(log.empty());
    eventLoop.advance(1ms);
    EXPECT_EQ(log, CallLog{Call::PressPasteChord});
    eventLoop.advance(50ms);
    EXPECT_EQ(log, (CallLog{Call::PressPasteChord, Call::PressPasteChord}));
}

} // namespace
