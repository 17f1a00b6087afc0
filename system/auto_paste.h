#pragma once

namespace platform {
class Application;
class KeyEventService;
class MainQueue;
class NotificationCenter;
} // namespace platform

/// Closes the panel, hides the application so that the window the user worked in is active again, and
/// 0.1 s later types Command+V there, pasting whatever the clipboard then holds. GUI thread only; the
/// key-event service must outlive the delay.
void performAutoPaste(platform::NotificationCenter& notifications, platform::Application& application,
                      platform::MainQueue& mainQueue, platform::KeyEventService& keyEvents);
