#include "platform/x11/key_mapping.h"

#include "platform/hot_key_service.h"
#include "platform/key_event_service.h"

#include <algorithm>
#include <array>
#include <utility>

#include <X11/keysym.h>

namespace platform::x11 {

namespace {

constexpr std::array virtualKeys{
    std::pair<std::uint32_t, std::uint32_t>{kVK_ANSI_C, XK_c},
    std::pair<std::uint32_t, std::uint32_t>{kVK_ANSI_V, XK_v},
};

constexpr std::array hotKeyMasks{
    std::pair{cmdKey, Modifier::Super},
    std::pair{shiftKey, Modifier::Shift},
    std::pair{optionKey, Modifier::Alt},
    std::pair{controlKey, Modifier::Control},
};

constexpr std::array eventFlags{
    std::pair{kCGEventFlagMaskCommand, Modifier::Control},
    std::pair{kCGEventFlagMaskShift, Modifier::Shift},
    std::pair{kCGEventFlagMaskAlternate, Modifier::Alt},
    std::pair{kCGEventFlagMaskControl, Modifier::Control},
};

} // namespace

std::optional<std::uint32_t> keysymForVirtualKey(std::uint32_t virtualKey)
{
    for (const auto& [code, keysym] : virtualKeys) {
        if (code == virtualKey) {
            return keysym;
        }
    }
    return std::nullopt;
}

std::optional<std::vector<Modifier>> hotKeyModifiers(std::uint32_t modifiers)
{
    std::vector<Modifier> result;
    for (const auto& [mask, modifier] : hotKeyMasks) {
        if (modifiers & mask) {
            result.push_back(modifier);
            modifiers &= ~mask;
        }
    }
    if (modifiers != 0) {
        return std::nullopt;
    }
    return result;
}

std::vector<Modifier> eventModifiers(std::uint64_t flags)
{
    std::vector<Modifier> result;
    for (const auto& [mask, modifier] : eventFlags) {
        // Command and Control both become Control; the receiver sees it once.
        if ((flags & mask) && std::find(result.begin(), result.end(), modifier) == result.end()) {
            result.push_back(modifier);
        }
    }
    return result;
}

std::uint32_t keysymOf(Modifier modifier)
{
    switch (modifier) {
    case Modifier::Shift:
        return XK_Shift_L;
    case Modifier::Control:
        return XK_Control_L;
    case Modifier::Alt:
        return XK_Alt_L;
    case Modifier::Super:
        return XK_Super_L;
    }
    return XK_VoidSymbol;
}

} // namespace platform::x11
