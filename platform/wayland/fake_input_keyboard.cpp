#include "platform/wayland/fake_input_keyboard.h"

#include "qwayland-fake-input.h"

#include <QGuiApplication>
#include <QtWaylandClient/QWaylandClientExtensionTemplate>
#include <qpa/qplatformnativeinterface.h>

#include <cstdint>

#include <linux/input-event-codes.h>
#include <wayland-client.h>

namespace platform::wayland {

namespace {

constexpr int fakeInputVersion = 4;
constexpr std::uint32_t keyReleased = 0;
constexpr std::uint32_t keyPressed = 1;
// Fake keys pass through KWin's own keyboard state, so the modifiers the user holds would join the chord.
constexpr std::uint32_t modifierKeys[] = {KEY_LEFTSHIFT, KEY_RIGHTSHIFT, KEY_LEFTCTRL, KEY_RIGHTCTRL,
                                          KEY_LEFTALT,   KEY_RIGHTALT,   KEY_LEFTMETA, KEY_RIGHTMETA};

} // namespace

class FakeInputKeyboard::Device final : public QWaylandClientExtensionTemplate<Device>,
                                        public QtWayland::org_kde_kwin_fake_input
{
public:
    Device() : QWaylandClientExtensionTemplate<Device>(fakeInputVersion)
    {
        // Qt's registry already knows the globals: bind now rather than at the next turn of the event loop.
        initialize();
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    // The protocol's version 4 has no request that ends the device: only our proxy goes.
    ~Device() override
    {
        if (isInitialized()) {
            wl_proxy_destroy(reinterpret_cast<wl_proxy*>(object()));
        }
    }
};

std::unique_ptr<FakeInputKeyboard> FakeInputKeyboard::create()
{
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        return nullptr;
    }
    auto device = std::make_unique<Device>();
    if (!device->isActive()) {
        return nullptr;
    }
    // KWin ignores the keys of a device that has not said who it is.
    device->authenticate(QGuiApplication::applicationDisplayName(),
                         QCoreApplication::translate("FakeInputKeyboard", "Pastes the entry chosen from the history"));
    return std::unique_ptr<FakeInputKeyboard>(new FakeInputKeyboard(std::move(device)));
}

FakeInputKeyboard::FakeInputKeyboard(std::unique_ptr<Device> device) : m_device(std::move(device)) {}

FakeInputKeyboard::~FakeInputKeyboard() = default;

void FakeInputKeyboard::pressPasteChord()
{
    for (const auto key : modifierKeys) {
        m_device->keyboard_key(key, keyReleased);
    }
    // Evdev codes, read through the user's layout: the keys where a US layout has Ctrl and V.
    m_device->keyboard_key(KEY_LEFTCTRL, keyPressed);
    m_device->keyboard_key(KEY_V, keyPressed);
    m_device->keyboard_key(KEY_V, keyReleased);
    m_device->keyboard_key(KEY_LEFTCTRL, keyReleased);
    auto* display = static_cast<wl_display*>(
        QGuiApplication::platformNativeInterface()->nativeResourceForIntegration("wl_display"));
    if (display) {
        wl_display_flush(display);
    }
}

} // namespace platform::wayland
