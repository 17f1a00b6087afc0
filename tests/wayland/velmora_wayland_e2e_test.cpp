// Velmora on headless sway, with no X server: wtype types, swaymsg tells what sway shows.

#include "tests/wayland/wayland_desktop_test.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <optional>

namespace {

/// Whether the panel is visible in a node of sway's tree or under it, and focused when `isFocused`.
bool showsPanel(const QJsonObject& node, bool isFocused)
{
    if (node.value("app_id").toString() == "com.hollin.velmora" && node.value("visible").toBool() &&
        (!isFocused || node.value("focused").toBool())) {
        return true;
    }
    for (const char* children : {"nodes", "floating_nodes"}) {
        for (const auto& child : node.value(children).toArray()) {
            if (showsPanel(child.toObject(), isFocused)) {
                return true;
            }
        }
    }
    return false;
}

/// sway's tree; none when it does not answer.
std::optional<QJsonObject> tree()
{
    const auto tree = run("swaymsg", {"-t", "get_tree", "--raw"});
    return tree.status == 0 ? std::optional(QJsonDocument::fromJson(tree.output).object()) : std::nullopt;
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

    static bool isPanelShown()
    {
        const auto shown = tree();
        return shown && showsPanel(*shown, true);
    }

    static bool isPanelHidden()
    {
        const auto shown = tree();
        return shown && !showsPanel(*shown, false);
    }
};

} // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(Sway, WaylandDesktopTest, Sway);
