#include "system/auto_paste.h"

#include "tests/fakes/fake_desktop.h"
#include "tests/fakes/fake_event_loop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <vector>

using namespace std::chrono_literals;
using Call = FakeDesktop::Call;

// The paste chord must wait until the window the user copied from has the focus again.
TEST(AutoPasteTest, HidesAtOnceAndPastesForEachCallALittleLater)
{
    FakeDesktop desktop;
    FakeEventLoop eventLoop;
    // Each close comes before its hide.
    int closes = 0;
    const auto closePanel = [&] { EXPECT_EQ(std::ranges::count(desktop.log, Call::Hide), closes++); };
    performAutoPaste(closePanel, desktop, eventLoop, desktop);
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(desktop.log, std::vector{Call::Hide});
    eventLoop.advance(50ms);
    performAutoPaste(closePanel, desktop, eventLoop, desktop);
    desktop.log.clear();
    eventLoop.advance(50ms);
    EXPECT_EQ(desktop.log, std::vector{Call::Paste});
    eventLoop.advance(50ms);
    EXPECT_EQ(desktop.log, (std::vector{Call::Paste, Call::Paste}));
}
