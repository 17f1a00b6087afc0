#include "platform/x11/modifier_map.h"

#include <memory>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace platform::x11 {

namespace {

struct ModifierKeymapDeleter
{
    void operator()(XModifierKeymap* keymap) const { XFreeModifiermap(keymap); }
};

} // namespace

ModifierMap::ModifierMap(_XDisplay* display) : m_display(display)
{
    const std::unique_ptr<XModifierKeymap, ModifierKeymapDeleter> keymap(XGetModifierMapping(display));
    if (!keymap) {
        return;
    }
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int index = 0; index < keymap->max_keypermod; ++index) {
            const auto keycode = keymap->modifiermap[modifier * keymap->max_keypermod + index];
            if (keycode != 0) {
                m_keycodes[modifier].push_back(keycode);
            }
        }
    }
}

unsigned ModifierMap::mask(Modifier modifier) const
{
    // Shift and Control have fixed bits; Alt and Super sit on whichever of Mod1..Mod5 the keymap says.
    switch (modifier) {
    case Modifier::Shift:
        return ShiftMask;
    case Modifier::Control:
        return ControlMask;
    case Modifier::Alt:
        return maskOfKeysyms({XK_Alt_L, XK_Alt_R, XK_Meta_L, XK_Meta_R});
    case Modifier::Super:
        return maskOfKeysyms({XK_Super_L, XK_Super_R});
    }
    return 0;
}

unsigned ModifierMap::numLockMask() const
{
    return maskOfKeysyms({XK_Num_Lock});
}

std::vector<std::uint8_t> ModifierMap::keycodes(unsigned mask) const
{
    std::vector<std::uint8_t> result;
    for (unsigned modifier = 0; modifier < m_keycodes.size(); ++modifier) {
        if (mask & (1U << modifier)) {
            result.insert(result.end(), m_keycodes[modifier].begin(), m_keycodes[modifier].end());
        }
    }
    return result;
}

unsigned ModifierMap::maskOfKeysyms(std::initializer_list<unsigned long> keysyms) const
{
    for (unsigned modifier = Mod1MapIndex; modifier < m_keycodes.size(); ++modifier) {
        for (const auto keycode : m_keycodes[modifier]) {
            const auto keysym = XkbKeycodeToKeysym(m_display, keycode, 0, 0);
            for (const auto wanted : keysyms) {
                if (keysym == wanted) {
                    return 1U << modifier;
                }
            }
        }
    }
    return 0;
}

} // namespace platform::x11
