#include "platform/wayland/wayland_backend.h"

#include "platform/wayland/fake_input_keyboard.h"

#include "qwayland-virtual-keyboard-unstable-v1.h"

#include <QGuiApplication>
#include <QtWaylandClient/QWaylandClientExtensionTemplate>
#include <qpa/qplatformnativeinterface.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <optional>

#include <sys/mman.h>
#include <unistd.h>

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

namespace platform::wayland {

namespace {

// Ctrl+V is the paste chord of Linux applications, where a Mac pastes with Command+V.
constexpr xkb_keysym_t pasteModifierKeysym = XKB_KEY_Control_L;
constexpr xkb_keysym_t pasteKeysym = XKB_KEY_v;
// evdev numbers keys 8 below xkb.
constexpr std::uint32_t evdevOffset = 8;
// wl_keyboard's values, which the virtual keyboard takes.
constexpr std::uint32_t xkbKeymapFormat = 1;
constexpr std::uint32_t keyReleased = 0;
constexpr std::uint32_t keyPressed = 1;

class KeyboardManager final : public QWaylandClientExtensionTemplate<KeyboardManager>,
                              public QtWayland::zwp_virtual_keyboard_manager_v1
{
public:
    KeyboardManager() : QWaylandClientExtensionTemplate<KeyboardManager>(1)
    {
        // Qt's registry already knows the globals: bind now rather than at the next turn of the event loop.
        initialize();
    }
    KeyboardManager(const KeyboardManager&) = delete;
    KeyboardManager& operator=(const KeyboardManager&) = delete;
    // The protocol has no request that ends the manager: only our proxy goes.
    ~KeyboardManager() override
    {
        if (isInitialized()) {
            zwp_virtual_keyboard_manager_v1_destroy(object());
        }
    }
};

class VirtualKeyboard final : public QtWayland::zwp_virtual_keyboard_v1
{
public:
    using zwp_virtual_keyboard_v1::zwp_virtual_keyboard_v1;
    VirtualKeyboard(const VirtualKeyboard&) = delete;
    VirtualKeyboard& operator=(const VirtualKeyboard&) = delete;
    ~VirtualKeyboard() override { destroy(); }
};

template <typename Object, void (*release)(Object*)> struct Releaser
{
    void operator()(Object* object) const { release(object); }
};
using Context = std::unique_ptr<xkb_context, Releaser<xkb_context, &xkb_context_unref>>;
using Keymap = std::unique_ptr<xkb_keymap, Releaser<xkb_keymap, &xkb_keymap_unref>>;

/// The key that gives `keysym` at the first level, in evdev's numbering.
std::optional<std::uint32_t> evdevKey(xkb_keymap* keymap, xkb_keysym_t keysym)
{
    for (auto key = xkb_keymap_min_keycode(keymap); key <= xkb_keymap_max_keycode(keymap); ++key) {
        const xkb_keysym_t* symbols = nullptr;
        const auto count = xkb_keymap_key_get_syms_by_level(keymap, key, 0, 0, &symbols);
        if (count == 1 && symbols[0] == keysym) {
            return key - evdevOffset;
        }
    }
    return std::nullopt;
}

/// Types on a virtual keyboard of the seat, with a US layout of its own: the compositor gives the focused
/// window our keymap and our modifiers while we type, so the modifiers the user holds on the real keyboard
/// play no part in the chord.
class WaylandKeyboard final : public Keyboard
{
public:
    /// Null where the compositor has no virtual keyboards.
    static std::unique_ptr<WaylandKeyboard> create();

    void pressPasteChord() override;
    [[nodiscard]] bool canPressKeys() const override { return true; }

private:
    WaylandKeyboard(std::unique_ptr<KeyboardManager> manager, std::unique_ptr<VirtualKeyboard> keyboard,
                    wl_display* display, std::uint32_t modifierKey, std::uint32_t pasteKey, std::uint32_t modifierMask)
        : m_manager(std::move(manager)), m_keyboard(std::move(keyboard)), m_display(display),
          m_modifierKey(modifierKey), m_pasteKey(pasteKey), m_modifierMask(modifierMask)
    {}

    std::unique_ptr<KeyboardManager> m_manager;
    std::unique_ptr<VirtualKeyboard> m_keyboard;
    wl_display* m_display;
    std::uint32_t m_modifierKey;
    std::uint32_t m_pasteKey;
    std::uint32_t m_modifierMask;
};

std::unique_ptr<WaylandKeyboard> WaylandKeyboard::create()
{
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        return nullptr;
    }
    auto* native = QGuiApplication::platformNativeInterface();
    auto* display = static_cast<wl_display*>(native->nativeResourceForIntegration("wl_display"));
    auto* seat = static_cast<wl_seat*>(native->nativeResourceForIntegration("wl_seat"));
    auto manager = std::make_unique<KeyboardManager>();
    if (!display || !seat || !manager->isActive()) {
        return nullptr;
    }
    const Context context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    const xkb_rule_names names{"evdev", "pc105", "us", "", ""};
    const Keymap keymap(context ? xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS)
                                : nullptr);
    const std::unique_ptr<char, decltype(&std::free)> text(
        keymap ? xkb_keymap_get_as_string(keymap.get(), XKB_KEYMAP_FORMAT_TEXT_V1) : nullptr, &std::free);
    const auto modifierKey = keymap ? evdevKey(keymap.get(), pasteModifierKeysym) : std::nullopt;
    const auto pasteKey = keymap ? evdevKey(keymap.get(), pasteKeysym) : std::nullopt;
    const auto modifierIndex = keymap ? xkb_keymap_mod_get_index(keymap.get(), XKB_MOD_NAME_CTRL) : XKB_MOD_INVALID;
    if (!text || !modifierKey || !pasteKey || modifierIndex == XKB_MOD_INVALID) {
        return nullptr;
    }
    // The keymap goes to the compositor as a file, with its terminating null.
    const auto size = std::strlen(text.get()) + 1;
    const int file = memfd_create("velmora-keymap", MFD_CLOEXEC);
    const bool written = file >= 0 && ::write(file, text.get(), size) == static_cast<ssize_t>(size);
    auto keyboard = std::make_unique<VirtualKeyboard>(manager->create_virtual_keyboard(seat));
    if (written) {
        keyboard->keymap(xkbKeymapFormat, file, static_cast<std::uint32_t>(size));
    }
    if (file >= 0) {
        ::close(file);
    }
    if (!written) {
        return nullptr;
    }
    wl_display_flush(display);
    return std::unique_ptr<WaylandKeyboard>(new WaylandKeyboard(std::move(manager), std::move(keyboard), display,
                                                                *modifierKey, *pasteKey, 1U << modifierIndex));
}

void WaylandKeyboard::pressPasteChord()
{
    const auto time = static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
    // The modifiers travel as a state beside the keys: none, then the chord's alone, then none again.
    m_keyboard->modifiers(0, 0, 0, 0);
    m_keyboard->key(time, m_modifierKey, keyPressed);
    m_keyboard->modifiers(m_modifierMask, 0, 0, 0);
    m_keyboard->key(time, m_pasteKey, keyPressed);
    m_keyboard->key(time, m_pasteKey, keyReleased);
    m_keyboard->key(time, m_modifierKey, keyReleased);
    m_keyboard->modifiers(0, 0, 0, 0);
    wl_display_flush(m_display);
}

} // namespace

std::unique_ptr<Keyboard> createKeyboard()
{
    if (auto keyboard = WaylandKeyboard::create()) {
        return keyboard;
    }
    return FakeInputKeyboard::create();
}

} // namespace platform::wayland
