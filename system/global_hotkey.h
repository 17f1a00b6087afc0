#pragma once

namespace platform {
class HotKeyService;
class MainQueue;
class NotificationCenter;
} // namespace platform

/// Makes Command+Shift+C, from any application, post "TogglePopover" on the main queue. A chord that cannot
/// be registered leaves the application without the hot key and nothing else changed. The queue and the
/// notification centre must outlive the hot-key service.
void registerGlobalHotkey(platform::HotKeyService& hotKeys, platform::MainQueue& mainQueue,
                          platform::NotificationCenter& notifications);
