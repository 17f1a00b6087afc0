#include "platform/session.h"

#include <gtest/gtest.h>

namespace {

using enum platform::WaylandCompositor;
// Outcomes under names that a test's own Run() does not hide.
constexpr auto runs = platform::SessionChoice::Outcome::Run;
constexpr auto noDisplay = platform::SessionChoice::Outcome::NoDisplay;

/// An environment of NAME=value words.
QProcessEnvironment environmentOf(const QString& variables)
{
    QProcessEnvironment environment;
    for (const auto& variable : variables.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        environment.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
    }
    return environment;
}

} // namespace

TEST(SessionTest, ChoosesThePlatformFromTheSessionAndSaysWhatIsLimited)
{
    const QString x11 = QStringLiteral("XDG_SESSION_TYPE=x11 DISPLAY=:0");
    const QString wayland = QStringLiteral("XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=wayland-1");
    const QString xwayland = wayland + QStringLiteral(" DISPLAY=:1");
    // Name, environment, command line, the compositor, whether Qt has its Wayland plugin, outcome, platform and
    // a word the notice must contain, empty when there must be no notice.
    const struct
    {
        const char* name;
        QString environment;
        const char* arguments;
        platform::WaylandCompositor compositor;
        bool hasWaylandPlugin;
        platform::SessionChoice::Outcome outcome;
        const char* platform;
        const char* noticeSays;
    } sessions[] = {
        {"X11", x11, "", Unreachable, true, runs, "xcb", ""},
        {"sway", xwayland, "", OffersDataControl, true, runs, "wayland;xcb", ""},
        {"sway without XWayland", wayland, "", OffersDataControl, true, runs, "wayland", ""},
        {"Mutter", xwayland, "", LacksDataControl, true, runs, "xcb", "XWayland"},
        {"Mutter without XWayland", wayland, "", LacksDataControl, true, runs, "wayland", "cannot see"},
        {"no Wayland plugin", xwayland, "", OffersDataControl, false, runs, "xcb", "qt6-wayland"},
        {"no Wayland plugin nor XWayland", wayland, "", OffersDataControl, false, noDisplay, "", "qt6-wayland"},
        {"a stale WAYLAND_DISPLAY", xwayland, "", Unreachable, true, runs, "xcb", "WAYLAND_DISPLAY"},
        {"a text console", "XDG_SESSION_TYPE=tty", "", Unreachable, true, noDisplay, "", "no display"},
        {"a nested compositor in X11", x11 + " WAYLAND_DISPLAY=wayland-9", "", OffersDataControl, true, runs, "xcb",
         ""},
        {"QT_QPA_PLATFORM forced", "QT_QPA_PLATFORM=xcb DISPLAY=:1 WAYLAND_DISPLAY=w", "", OffersDataControl, true,
         runs, "", ""},
        {"-platform forced over QT_QPA_PLATFORM", "QT_QPA_PLATFORM=xcb WAYLAND_DISPLAY=wayland-1", "-platform wayland",
         LacksDataControl, true, runs, "", ""},
        {"xcb forced without an X11 display", wayland, "-platform xcb", OffersDataControl, true, noDisplay, "", "xcb"},
        {"a list forced, one possible", wayland, "-platform xcb;wayland:option", OffersDataControl, true, runs, "", ""},
        {"offscreen forced without any display", "", "--platform offscreen", Unreachable, true, runs, "", ""},
    };
    for (const auto& session : sessions) {
        SCOPED_TRACE(session.name);
        const auto arguments = QString::fromLatin1(session.arguments).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const auto environment = environmentOf(session.environment);
        bool wasProbed = false;
        const auto choice = platform::chooseSession(environment, arguments,
                                                    {[&] {
                                                         wasProbed = true;
                                                         return session.compositor;
                                                     },
                                                     [&] { return session.hasWaylandPlugin; }});
        EXPECT_EQ(choice.outcome, session.outcome);
        EXPECT_EQ(choice.platform, QLatin1String(session.platform));
        if (*session.noticeSays == '\0') {
            EXPECT_TRUE(choice.notice.isEmpty()) << choice.notice.toStdString();
        } else {
            EXPECT_TRUE(choice.notice.contains(QLatin1String(session.noticeSays))) << choice.notice.toStdString();
        }
        EXPECT_FALSE(choice.notice.contains(QLatin1Char('\n')));
        // A platform the user forced needs no probe, which would connect to the compositor for nothing.
        if (!arguments.isEmpty() || environment.contains(QStringLiteral("QT_QPA_PLATFORM"))) {
            EXPECT_FALSE(wasProbed);
        }
    }
}

TEST(SessionTest, LeavesQtsPlatformOptionToTheApplicationObject)
{
    EXPECT_EQ(platform::withoutPlatformOption({"-platform", "xcb", "--toggle"}), QStringList{"--toggle"});
    EXPECT_EQ(platform::withoutPlatformOption({"--quit", "--platform", "wayland"}), QStringList{"--quit"});
    // Without its value it is no Qt option, and the command line rejects it.
    EXPECT_EQ(platform::withoutPlatformOption({"-platform"}), QStringList{"-platform"});
}
