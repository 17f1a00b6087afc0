#include "platform/session.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLibraryInfo>

namespace platform {

namespace {

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
                             "XWayland: it records copies, but its paste reaches X11 windows only unless the "
                             "desktop's RemoteDesktop portal lets it press keys, and Super+Shift+C needs the "
                             "desktop's GlobalShortcuts portal or a shortcut to \"velmora --toggle\""));
    case WaylandCompositor::Unreachable:
        break;
    }
    if (!hasXWayland) {
        return noDisplay(tr("no Wayland compositor answers on WAYLAND_DISPLAY, and DISPLAY is not set"));
    }
    return onXWayland(tr("no Wayland compositor answers on WAYLAND_DISPLAY: Velmora runs on the X11 display"));
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
    if (isWaylandSession(environment)) {
        return chooseInWaylandSession(environment, probes);
    }
    if (hasX11) {
        return {SessionChoice::Outcome::Run, QStringLiteral("xcb"), {}};
    }
    return noDisplay(tr("no display: Velmora needs a Wayland or X11 desktop session (neither WAYLAND_DISPLAY nor "
                        "DISPLAY is set)"));
}

bool isWaylandSession(const QProcessEnvironment& environment)
{
    const bool saysX11 = environment.value(QStringLiteral("XDG_SESSION_TYPE")) == QLatin1String("x11");
    return hasWaylandDisplay(environment) && !(saysX11 && hasVariable(environment, "DISPLAY"));
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
