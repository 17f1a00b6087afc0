// Velmora on headless sway, with no X server: wtype types, swaymsg tells what sway shows.

#include "tests/wayland/wayland_desktop_test.h"

namespace {

/// swaymsg's status for a command on the windows that match `criteria`: 0 where one matches, 2 where none does,
/// and another where sway does not answer.
int statusFor(const QString& criteria)
{
    return run("swaymsg", {"[app_id=\"^com\\.hollin\\.velmora$\" " + criteria + "] nop"}).status;
}

struct Sway
{
    static constexpr const char* executable = VELMORA_EXECUTABLE;

    /// Its own runtime folder, as each user has; Qt is to choose Wayland by itself.
    static void prepare(QProcessEnvironment& environment, const QString& runtime)
    {
        environment.insert("XDG_RUNTIME_DIR", runtime);
        environment.remove("QT_QPA_PLATFORM");
    }

    static bool press(const QString& key) { return run("wtype", {"-k", key}).status == 0; }
    static bool isPanelShown() { return statusFor("con_id=__focused__") == 0; }
    // A hidden window leaves sway's tree.
    static bool isPanelHidden() { return statusFor({}) == 2; }
};

} // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(Sway, WaylandDesktopTest, Sway);
