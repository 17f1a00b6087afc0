#include "platform/session.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

namespace {

using platform::SessionChoice;
using platform::WaylandCompositor;

QProcessEnvironment environmentOf(std::initializer_list<std::pair<const char*, const char*>> variables)
{
    QProcessEnvironment environment;
    for (const auto& [name, value] : variables) {
        environment.insert(QLatin1String(name), QLatin1String(value));
    }
    return environment;
}

struct Session
{
    const char* name;
    QProcessEnvironment environment;
    QStringList arguments;
    WaylandCompositor compositor;
    bool hasWaylandPlugin;
    SessionChoice::Outcome outcome;
    const char* platform;
    /// A word the notice must contain; empty when there must be no notice.
    const char* noticeSays;
};

} // namespace

TEST(SessionTest, ChoosesThePlatformFromTheSessionAndSaysWhatIsLimited)
{
    using Outcome = SessionChoice::Outcome;
    const auto wayland = environmentOf({{"XDG_SESSION_TYPE", "wayland"}, {"WAYLAND_DISPLAY", "wayland-1"}});
    const auto waylandWithXWayland =
        environmentOf({{"XDG_SESSION_TYPE", "wayland"}, {"WAYLAND_DISPLAY", "wayland-1"}, {"DISPLAY", ":1"}});
    const Session sessions[] = {
        {"X11",
         environmentOf({{"DISPLAY", ":0"}, {"XDG_SESSION_TYPE", "x11"}}),
         {},
         WaylandCompositor::Unreachable,
         true,
         Outcome::Run,
         "xcb",
         ""},
        {"sway", waylandWithXWayland, {}, WaylandCompositor::OffersDataControl, true, Outcome::Run, "wayland;xcb", ""},
        {"sway without XWayland", wayland, {}, WaylandCompositor::OffersDataControl, true, Outcome::Run, "wayland", ""},
        {"Mutter", waylandWithXWayland, {}, WaylandCompositor::LacksDataControl, true, Outcome::Run, "xcb", "XWayland"},
        {"Mutter without XWayland",
         wayland,
         {},
         WaylandCompositor::LacksDataControl,
         true,
         Outcome::Run,
         "wayland",
         "cannot see"},
        {"no Wayland plugin",
         waylandWithXWayland,
         {},
         WaylandCompositor::OffersDataControl,
         false,
         Outcome::Run,
         "xcb",
         "qt6-wayland"},
        {"no Wayland plugin nor XWayland",
         wayland,
         {},
         WaylandCompositor::OffersDataControl,
         false,
         Outcome::NoDisplay,
         "",
         "qt6-wayland"},
        {"a stale WAYLAND_DISPLAY",
         waylandWithXWayland,
         {},
         WaylandCompositor::Unreachable,
         true,
         Outcome::Run,
         "xcb",
         "WAYLAND_DISPLAY"},
        {"a text console",
         environmentOf({{"XDG_SESSION_TYPE", "tty"}}),
         {},
         WaylandCompositor::Unreachable,
         true,
         Outcome::NoDisplay,
         "",
         "no display"},
        {"a nested compositor in an X11 session",
         environmentOf({{"XDG_SESSION_TYPE", "x11"}, {"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-9"}}),
         {},
         WaylandCompositor::OffersDataControl,
         true,
         Outcome::Run,
         "xcb",
         ""},
        {"QT_QPA_PLATFORM forced",
         environmentOf({{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":1"}, {"WAYLAND_DISPLAY", "w"}}),
         {},
         WaylandCompositor::OffersDataControl,
         true,
         Outcome::Run,
         "",
         ""},
        {"-platform forced over QT_QPA_PLATFORM",
         environmentOf({{"QT_QPA_PLATFORM", "xcb"}, {"WAYLAND_DISPLAY", "wayland-1"}}),
         {"-platform", "wayland"},
         WaylandCompositor::LacksDataControl,
         true,
         Outcome::Run,
         "",
         ""},
        {"xcb forced without an X11 display",
         wayland,
         {"-platform", "xcb"},
         WaylandCompositor::OffersDataControl,
         true,
         Outcome::NoDisplay,
         "",
         "xcb"},
        {"a list forced, one of them possible",
         wayland,
         {"-platform", "xcb;wayland:option"},
         WaylandCompositor::OffersDataControl,
         true,
         Outcome::Run,
         "",
         ""},
        {"offscreen forced without any display",
         QProcessEnvironment(),
         {"--platform", "offscreen"},
         WaylandCompositor::Unreachable,
         true,
         Outcome::Run,
         "",
         ""},
    };
    for (const auto& session : sessions) {
        SCOPED_TRACE(session.name);
        bool wasProbed = false;
        const auto choice = platform::chooseSession(session.environment, session.arguments,
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
        if (!session.arguments.isEmpty() || session.environment.contains(QStringLiteral("QT_QPA_PLATFORM"))) {
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
