#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>

namespace platform {

/// What a Wayland compositor offers that decides Velmora's backend.
enum class WaylandCompositor
{
    /// No compositor answered on WAYLAND_DISPLAY.
    Unreachable,
    /// It offers a data-control protocol: the clipboard can be watched and written without the focus.
    OffersDataControl,
    /// It answers but offers no data-control (GNOME's Mutter).
    LacksDataControl,
};

/// The platform Qt is to run Velmora on, chosen once before the application object is made.
struct SessionChoice
{
    enum class Outcome
    {
        Run,
        /// Neither a Wayland nor an X11 display: nothing to run on.
        NoDisplay,
    };

    Outcome outcome = Outcome::Run;
    /// The Qt platform plugins to try, in order ("wayland;xcb", "xcb"); empty leaves the user's own choice to Qt.
    QString platform;
    /// One line for stderr on what is limited or missing, and why; empty when nothing is.
    QString notice;
};

/// What the choice reads of the machine, apart from the environment and the arguments.
struct SessionProbes
{
    /// Asked only in a Wayland session where the user forced no platform.
    std::function<WaylandCompositor()> compositor;
    /// Whether Qt can load its Wayland platform plugin.
    std::function<bool()> hasWaylandPlugin;
};

/// Wayland where the compositor offers data-control; XWayland where it does not, or where Qt has no Wayland
/// plugin, saying what that limits; X11 in an X11 session. A platform the user forced with QT_QPA_PLATFORM
/// or `-platform` stands, unless no display it needs exists.
[[nodiscard]] SessionChoice chooseSession(const QProcessEnvironment& environment, const QStringList& arguments,
                                          const SessionProbes& probes);

/// Whether `environment` is that of a Wayland session: it names a Wayland display, and it is not an X11
/// session running a nested compositor.
[[nodiscard]] bool isWaylandSession(const QProcessEnvironment& environment);

/// Connects to the compositor on WAYLAND_DISPLAY, lists its globals and disconnects again, waiting a few
/// seconds at most.
[[nodiscard]] WaylandCompositor probeWaylandCompositor();

/// Whether Qt's Wayland platform plugin is installed where this Qt looks for plugins.
[[nodiscard]] bool hasWaylandPlugin(const QProcessEnvironment& environment);

/// The arguments without Qt's own `-platform <name>`, which the application object reads.
[[nodiscard]] QStringList withoutPlatformOption(const QStringList& arguments);

/// Makes Qt load the chosen platform and says what is limited; the application object must not exist yet.
void applySessionChoice(const SessionChoice& choice);

/// Says so when Qt could not load the Wayland platform chosen and fell back to XWayland; needs the
/// application object.
void noticeIfQtFellBack(const SessionChoice& choice);

} // namespace platform
