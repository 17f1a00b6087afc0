#include "app/command_line.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using Action = CommandLine::Action;

// The last column is a word the rejection must name. "--toggle" and an unknown option are run end to end.
TEST(CommandLineTest, TakesOneOptionAndRejectsAnythingElseNamingIt)
{
    const std::tuple<QStringList, Action, QString> cases[]{
        {QStringList(), Action::Run, ""},
        {{"--autostart", "on"}, Action::EnableAutostart, ""},
        {{"--autostart=off"}, Action::DisableAutostart, ""},
        {{"--Toggle"}, Action::Reject, "--Toggle"},
        {{""}, Action::Reject, "''"},
        {{"--autostart", "yes"}, Action::Reject, "yes"},
        {{"-h"}, Action::ShowHelp, ""},
        {{"--autostart"}, Action::ShowAutostart, ""},
        {{"--toggle", "--autostart"}, Action::Reject, "--autostart"},
        {{"--toggle=now"}, Action::Reject, "--toggle"},
        {{"-toggle"}, Action::Reject, "-toggle"},
        {{"-hv"}, Action::Reject, "-v"},
    };
    for (const auto& [arguments, action, named] : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const CommandLine parsed = parseCommandLine(arguments);
        EXPECT_EQ(parsed.action, action);
        EXPECT_EQ(parsed.error.isEmpty(), action != Action::Reject);
        EXPECT_TRUE(parsed.error.contains(named) && !parsed.error.contains('\n')) << parsed.error.toStdString();
    }
}

} // namespace
