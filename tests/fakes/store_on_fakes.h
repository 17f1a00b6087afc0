#pragma once

#include "engine/clipboard_manager.h"
#include "tests/fakes/fake_background_timers.h"
#include "tests/fakes/fake_clipboard.h"
#include "tests/fakes/fake_event_loop.h"

#include <memory>

/// The history store on a fake clipboard, event loop and watcher timer, which the test drives.
struct StoreOnFakes
{
    /// One watcher period: a tick, then the event loop's turn.
    void capture()
    {
        timers.fire();
        eventLoop.runPending();
    }

    FakeClipboard clipboard;
    FakeEventLoop eventLoop;
    FakeBackgroundTimers timers;
    std::shared_ptr<ClipboardManager> manager = ClipboardManager::create(clipboard, eventLoop, timers);
};
