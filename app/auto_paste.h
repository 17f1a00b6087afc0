#pragma once

#include <functional>

namespace platform {
class Application;
class EventLoop;
class Keyboard;
} // namespace platform

/// Closes the panel through `closePanel`, hides the application so that the window the user worked in is
/// active again, and 0.1 s later presses the paste chord there, pasting whatever the clipboard then holds.
/// GUI thread only; the keyboard must outlive the delay.
void performAutoPaste(const std::function<void()>& closePanel, platform::Application& application,
                      platform::EventLoop& eventLoop, platform::Keyboard& keyboard);
