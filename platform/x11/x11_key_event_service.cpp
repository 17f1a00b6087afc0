#include "platform/key_event_service.h"

#include "platform/x11/display.h"
#include "platform/x11/key_mapping.h"
#include "platform/x11/modifier_map.h"

#include <algorithm>
#include <array>
#include <vector>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace platform {

namespace {

/// Types keys with XTest. A key-down first releases the modifier keys the user still holds and presses
/// the ones its flags ask for, so the receiver sees exactly those; the key-up lets go of what it pressed.
class X11KeyEventService final : public KeyEventService
{
public:
    explicit X11KeyEventService(Display* display);

    std::optional<EventSource> createEventSource(EventSourceStateID state) override;
    std::optional<KeyboardEvent> createKeyboardEvent(const EventSource* source, std::uint16_t virtualKey,
                                                     KeyDirection direction) override;
    void post(EventTapLocation tap, const KeyboardEvent& event) override;

private:
    [[nodiscard]] KeyCode keycodeOf(std::uint16_t virtualKey) const;
    void pressModifiers(std::uint64_t flags);

    /// Null when the server has no XTest.
    Display* m_display;
    /// Modifier keys pressed for a key-down, to be released by the key-up.
    std::vector<KeyCode> m_pressedModifiers;
};

bool hasXTest(Display* display)
{
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    return display && XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor);
}

X11KeyEventService::X11KeyEventService(Display* display) : m_display(hasXTest(display) ? display : nullptr) {}

std::optional<EventSource> X11KeyEventService::createEventSource(EventSourceStateID state)
{
    if (!m_display) {
        return std::nullopt;
    }
    return EventSource{state};
}

std::optional<KeyboardEvent> X11KeyEventService::createKeyboardEvent(const EventSource*, std::uint16_t virtualKey,
                                                                     KeyDirection direction)
{
    if (!m_display || keycodeOf(virtualKey) == 0) {
        return std::nullopt;
    }
    return KeyboardEvent{virtualKey, direction, 0};
}

void X11KeyEventService::post(EventTapLocation, const KeyboardEvent& event)
{
    // Every tap is the same here: XTest input enters the server as if typed on its keyboard.
    const auto keycode = m_display ? keycodeOf(event.virtualKey) : KeyCode{0};
    if (keycode == 0) {
        return;
    }
    if (event.direction == KeyDirection::Down) {
        pressModifiers(event.flags);
        XTestFakeKeyEvent(m_display, keycode, True, CurrentTime);
    } else {
        XTestFakeKeyEvent(m_display, keycode, False, CurrentTime);
        for (auto modifier = m_pressedModifiers.rbegin(); modifier != m_pressedModifiers.rend(); ++modifier) {
            XTestFakeKeyEvent(m_display, *modifier, False, CurrentTime);
        }
        m_pressedModifiers.clear();
    }
    XFlush(m_display);
}

void X11KeyEventService::pressModifiers(std::uint64_t flags)
{
    const x11::ModifierMap modifierMap(m_display);
    const auto modifiers = x11::eventModifiers(flags);
    unsigned wanted = 0;
    for (const auto modifier : modifiers) {
        wanted |= modifierMap.mask(modifier);
    }

    std::array<char, 32> keys{};
    XQueryKeymap(m_display, keys.data());
    const auto isDown = [&keys](KeyCode keycode) { return (keys[keycode / 8] >> (keycode % 8)) & 1; };

    // The user may still hold Shift or Alt from whatever came before; the receiver must see the flags alone.
    constexpr unsigned allModifiers = 0xFF;
    for (const auto keycode : modifierMap.keycodes(allModifiers & ~wanted)) {
        if (isDown(keycode)) {
            XTestFakeKeyEvent(m_display, keycode, False, CurrentTime);
        }
    }
    for (const auto modifier : modifiers) {
        const auto held = modifierMap.keycodes(modifierMap.mask(modifier));
        if (std::any_of(held.begin(), held.end(), isDown)) {
            continue;
        }
        const KeyCode keycode = XKeysymToKeycode(m_display, x11::keysymOf(modifier));
        if (keycode != 0) {
            XTestFakeKeyEvent(m_display, keycode, True, CurrentTime);
            m_pressedModifiers.push_back(keycode);
        }
    }
}

KeyCode X11KeyEventService::keycodeOf(std::uint16_t virtualKey) const
{
    const auto keysym = x11::keysymForVirtualKey(virtualKey);
    return keysym ? XKeysymToKeycode(m_display, *keysym) : KeyCode{0};
}

} // namespace

std::unique_ptr<KeyEventService> createKeyEventService()
{
    return std::make_unique<X11KeyEventService>(x11::applicationDisplay());
}

} // namespace platform
