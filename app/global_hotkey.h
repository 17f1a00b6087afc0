#pragma once

#include <QKeyCombination>

#include <functional>

namespace platform {
class EventLoop;
class HotKeys;
} // namespace platform

/// Super+Shift+C: Super sits where a Mac's Command key sits, and Ctrl+Shift+C is the copy chord of every
/// terminal, which a global grab would take away. Qt calls Super "Meta".
inline constexpr QKeyCombination globalHotkey{Qt::MetaModifier | Qt::ShiftModifier, Qt::Key_C};

/// Makes each press of `globalHotkey`, from any application, call `pressed` on the GUI thread from a turn of
/// the event loop of its own. A chord that cannot be registered leaves the application without the hot key and
/// changes nothing else; one taken by another program or refused by the desktop is named on stderr with what to
/// use instead. The event loop must outlive the hot keys.
void registerGlobalHotkey(platform::HotKeys& hotKeys, platform::EventLoop& eventLoop, std::function<void()> pressed);
