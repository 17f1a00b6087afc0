#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Action = CommandLine::Action;

struct Case
{
    QStringList arguments;
    Action action;
    /// A word the rejection must name; empty when it is accepted.
    QString named;
};

TEST(CommandLineTest, TakesOneOptionAndRejectsAnythingElseNamingIt)
{
    const std::vector<Case> cases{
        {{}, Action::Run, {}},
        {{"--toggle"}, Action::Toggle, {}},
        {{"--quit"}, Action::Quit, {}},
        {{"--autostart"}, Action::ShowAutostart, {}},
        {{"--autostart", "on"}, Action::EnableAutostart, {}},
        {{"--autostart=off"}, Action::DisableAutostart, {}},
        {{"-h"}, Action::ShowHelp, {}},
        {{"-v"}, Action::ShowVersion, {}},
        {{"--Toggle"}, Action::Reject, "--Toggle"},
        {{"--toggle=yes"}, Action::Reject, "--toggle=yes"},
        {{"file.txt"}, Action::Reject, "file.txt"},
        {{""}, Action::Reject, "''"},
        {{"--autostart", "yes"}, Action::Reject, "yes"},
        {{"--autostart="}, Action::Reject, "''"},
        {{"--autostart", "on", "off"}, Action::Reject, "off"},
        {{"--toggle", "--quit"}, Action::Reject, "--quit"},
        {{"--frobnicate", "--toggle"}, Action::Reject, "--frobnicate"},
    };
    for (const auto& [arguments, action, named] : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const CommandLine parsed = parseCommandLine(arguments);
        EXPECT_EQ(parsed.action, action);
        if (action == Action::Reject) {
            EXPECT_TRUE(parsed.error.contains(named)) << parsed.error.toStdString();
            EXPECT_FALSE(parsed.error.contains('\n'));
        } else {
            EXPECT_TRUE(parsed.error.isEmpty());
        }
    }
}

} // namespace
