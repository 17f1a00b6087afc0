#pragma once

#include <QKeyCombination>

class NotificationCenter;

namespace platform {
class EventLoop;
class HotKeys;
} // namespace platform

/// Super+Shift+C: Super sits where a Mac's Command key sits, and Ctrl+Shift+C is the copy chord of every
/// terminal, which a global grab would take away. Qt calls Super "Meta".
inline constexpr QKeyCombination globalHotkey{Qt::MetaModifier | Qt::ShiftModifier, Qt::Key_C};

/// Makes `globalHotkey`, from any application, post "TogglePopover" from the event loop. A chord that cannot
/// be registered leaves the application without the hot key and nothing else changed. The event loop and
/// the notification centre must outlive the hot keys.
void registerGlobalHotkey(platform::HotKeys& hotKeys, platform::EventLoop& eventLoop,
                          NotificationCenter& notifications);
