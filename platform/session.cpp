#include "platform/session.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLibraryInfo>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

#include <poll.h>
#include <wayland-client.h>

namespace platform {

namespace {

using namespace std::chrono_literals;

// A compositor that accepts the connection but never answers must not keep Velmora from starting.
constexpr auto probeTimeout = 5s;

QString tr(const char* text)
{
    return QCoreApplication::translate("Session", text);
}

/// The platform the user forced: `-platform` wins over QT_QPA_PLATFORM, as in Qt.
QString forcedPlatform(const QProcessEnvironment& environment, const QStringList& arguments)
{
    QString result = environment.value(QStringLiteral("QT_QPA_PLATFORM"));
    for (qsizetype index = 0; index + 1 < arguments.size(); ++index) {
        if (arguments.at(index) == QLatin1String("-platform") || arguments.at(index) == QLatin1String("--platform")) {
            result = arguments.at(index + 1);
        }
    }
    return result;
}

bool hasVariable(const QProcessEnvironment& environment, const char* name)
{
    return !environment.value(QLatin1String(name)).isEmpty();
}

bool hasWaylandDisplay(const QProcessEnvironment& environment)
{
    return hasVariable(environment, "WAYLAND_DISPLAY") || hasVariable(environment, "WAYLAND_SOCKET");
}

/// Whether one of the plugins of a forced list (`wayland;xcb`, each perhaps with `:options`) can start here.
bool canStartAny(const QString& forced, const QProcessEnvironment& environment)
{
    for (const auto& entry : forced.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString name = entry.section(QLatin1Char(':'), 0, 0);
        if (name.startsWith(QLatin1String("wayland"))) {
            if (hasWaylandDisplay(environment)) {
                return true;
            }
        } else if (name != QLatin1String("xcb") || hasVariable(environment, "DISPLAY")) {
            // offscreen, vnc, eglfs and the like bring their own screen.
            return true;
        }
    }
    return false;
}

SessionChoice noDisplay(const QString& reason)
{
    return {SessionChoice::Outcome::NoDisplay, {}, reason};
}

SessionChoice onXWayland(const QString& reason)
{
    return {SessionChoice::Outcome::Run, QStringLiteral("xcb"), reason};
}

SessionChoice chooseInWaylandSession(const QProcessEnvironment& environment, const SessionProbes& probes)
{
    const bool hasXWayland = hasVariable(environment, "DISPLAY");
    if (!probes.hasWaylandPlugin()) {
        if (!hasXWayland) {
            return noDisplay(tr("Qt's Wayland platform plugin is missing (Debian: qt6-wayland) and there is no "
                                "XWayland display to run on instead"));
        }
        return onXWayland(tr("Qt's Wayland platform plugin is missing (Debian: qt6-wayland): Velmora runs through "
                             "XWayland instead, where its hot key and its paste reach X11 windows only"));
    }
    switch (probes.compositor()) {
    case WaylandCompositor::OffersDataControl:
        // Qt falls back to XWayland if its Wayland plugin does not load after all; Velmora then says so.
        return {
            SessionChoice::Outcome::Run, hasXWayland ? QStringLiteral("wayland;xcb") : QStringLiteral("wayland"), {}};
    case WaylandCompositor::LacksDataControl:
        if (!hasXWayland) {
            return {SessionChoice::Outcome::Run, QStringLiteral("wayland"),
                    tr("this Wayland compositor offers no clipboard data-control and there is no XWayland: "
                       "Velmora cannot see what other applications copy")};
        }
        return onXWayland(tr("this Wayland compositor offers no clipboard data-control, so Velmora runs through "
                             "XWayland: it records copies, but its paste reaches X11 windows only and Super+Shift+C "
                             "needs the desktop's GlobalShortcuts portal or a shortcut to \"velmora --toggle\""));
    case WaylandCompositor::Unreachable:
        break;
    }
    if (!hasXWayland) {
        return noDisplay(tr("no Wayland compositor answers on WAYLAND_DISPLAY, and DISPLAY is not set"));
    }
    return onXWayland(tr("no Wayland compositor answers on WAYLAND_DISPLAY: Velmora runs on the X11 display"));
}

/// Silences libwayland's own report of a failed connection, which the choice gives in its own line, and
/// gives back libwayland's default, printing, for Qt's connection.
class QuietWaylandLog
{
public:
    QuietWaylandLog()
    {
        wl_log_set_handler_client([](const char*, va_list) {});
    }
    ~QuietWaylandLog()
    {
        wl_log_set_handler_client(
            [](const char* format, va_list arguments) { std::vfprintf(stderr, format, arguments); });
    }
    QuietWaylandLog(const QuietWaylandLog&) = delete;
    QuietWaylandLog& operator=(const QuietWaylandLog&) = delete;
};

/// What the registry announced, filled in by its listener.
struct Globals
{
    bool hasDataControl = false;
    bool isComplete = false;
};

void announceGlobal(void* data, wl_registry*, std::uint32_t, const char* interface, std::uint32_t)
{
    // Either protocol, at any version, carries the clipboard; only the primary selection needs wlr's second.
    if (std::strcmp(interface, "ext_data_control_manager_v1") == 0 ||
        std::strcmp(interface, "zwlr_data_control_manager_v1") == 0) {
        static_cast<Globals*>(data)->hasDataControl = true;
    }
}

constexpr wl_registry_listener registryListener{announceGlobal, [](void*, wl_registry*, std::uint32_t) {}};

constexpr wl_callback_listener syncListener{
    [](void* data, wl_callback*, std::uint32_t) { static_cast<Globals*>(data)->isComplete = true; }};

/// Dispatches events until the registry has announced every global or the deadline passes.
bool readGlobals(wl_display* display, Globals& globals)
{
    const auto deadline = std::chrono::steady_clock::now() + probeTimeout;
    while (!globals.isComplete) {
        if (wl_display_prepare_read(display) != 0) {
            if (wl_display_dispatch_pending(display) < 0) {
                return false;
            }
            continue;
        }
        wl_display_flush(display);
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd descriptor{wl_display_get_fd(display), POLLIN, 0};
        const int ready = left.count() > 0 ? ::poll(&descriptor, 1, static_cast<int>(left.count())) : 0;
        if (ready <= 0) {
            wl_display_cancel_read(display);
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            return false;
        }
        if (wl_display_read_events(display) < 0 || wl_display_dispatch_pending(display) < 0) {
            return false;
        }
    }
    return true;
}

} // namespace

SessionChoice chooseSession(const QProcessEnvironment& environment, const QStringList& arguments,
                            const SessionProbes& probes)
{
    const QString forced = forcedPlatform(environment, arguments);
    const bool hasX11 = hasVariable(environment, "DISPLAY");
    if (!forced.isEmpty()) {
        if (!canStartAny(forced, environment)) {
            return noDisplay(
                tr("there is no display for the platform \"%1\" (see WAYLAND_DISPLAY and DISPLAY)").arg(forced));
        }
        return {};
    }
    const bool saysX11 = environment.value(QStringLiteral("XDG_SESSION_TYPE")) == QLatin1String("x11");
    if (hasWaylandDisplay(environment) && !(saysX11 && hasX11)) {
        return chooseInWaylandSession(environment, probes);
    }
    if (hasX11) {
        return {SessionChoice::Outcome::Run, QStringLiteral("xcb"), {}};
    }
    return noDisplay(tr("no display: Velmora needs a Wayland or X11 desktop session (neither WAYLAND_DISPLAY nor "
                        "DISPLAY is set)"));
}

WaylandCompositor probeWaylandCompositor()
{
    const QuietWaylandLog quiet;
    const std::unique_ptr<wl_display, decltype(&wl_display_disconnect)> display(wl_display_connect(nullptr),
                                                                                &wl_display_disconnect);
    if (!display) {
        return WaylandCompositor::Unreachable;
    }
    Globals globals;
    const std::unique_ptr<wl_registry, decltype(&wl_registry_destroy)> registry(wl_display_get_registry(display.get()),
                                                                                &wl_registry_destroy);
    wl_registry_add_listener(registry.get(), &registryListener, &globals);
    // The compositor answers the sync after it has announced every global.
    const std::unique_ptr<wl_callback, decltype(&wl_callback_destroy)> sync(wl_display_sync(display.get()),
                                                                            &wl_callback_destroy);
    wl_callback_add_listener(sync.get(), &syncListener, &globals);
    if (!readGlobals(display.get(), globals)) {
        return WaylandCompositor::Unreachable;
    }
    return globals.hasDataControl ? WaylandCompositor::OffersDataControl : WaylandCompositor::LacksDataControl;
}

bool hasWaylandPlugin(const QProcessEnvironment& environment)
{
    // Where Qt looks for platform plugins, apart from the executable's own folder, which Debian does not use.
    QStringList folders =
        environment.value(QStringLiteral("QT_PLUGIN_PATH")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (auto& folder : folders) {
        folder += QLatin1String("/platforms");
    }
    folders +=
        environment.value(QStringLiteral("QT_QPA_PLATFORM_PLUGIN_PATH")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    folders += QLibraryInfo::path(QLibraryInfo::PluginsPath) + QLatin1String("/platforms");
    for (const auto& folder : folders) {
        if (!QDir(folder).entryList({QStringLiteral("libqwayland-*.so")}, QDir::Files).isEmpty()) {
            return true;
        }
    }
    return false;
}

QStringList withoutPlatformOption(const QStringList& arguments)
{
    QStringList result;
    for (qsizetype index = 0; index < arguments.size(); ++index) {
        const bool isOption =
            arguments.at(index) == QLatin1String("-platform") || arguments.at(index) == QLatin1String("--platform");
        if (isOption && index + 1 < arguments.size()) {
            ++index;
        } else {
            result.append(arguments.at(index));
        }
    }
    return result;
}

void applySessionChoice(const SessionChoice& choice)
{
    if (!choice.platform.isEmpty()) {
        qputenv("QT_QPA_PLATFORM", choice.platform.toLocal8Bit());
    }
    if (!choice.notice.isEmpty()) {
        std::fprintf(stderr, "velmora: %s\n", qPrintable(choice.notice));
    }
}

void noticeIfQtFellBack(const SessionChoice& choice)
{
    if (choice.platform.startsWith(QLatin1String("wayland;")) &&
        QGuiApplication::platformName() != QLatin1String("wayland")) {
        std::fprintf(stderr, "velmora: %s\n",
                     qPrintable(tr("Qt could not load its Wayland platform plugin (Debian: qt6-wayland): Velmora "
                                   "runs through XWayland instead, where its hot key and its paste reach X11 "
                                   "windows only")));
    }
}

} // namespace platform
