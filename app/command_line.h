#pragma once

#include <QString>
#include <QStringList>

/// What one run of the program is asked to do, read from its arguments.
struct CommandLine
{
    enum class Action
    {
        Run,
        Toggle,
        Quit,
        ShowAutostart,
        EnableAutostart,
        DisableAutostart,
        ShowHelp,
        ShowVersion,
        Reject,
    };

    Action action = Action::Run;
    /// Why the arguments were rejected, one line without the program's name; empty otherwise.
    QString error;
};

/// Reads the arguments that follow the program's name. At most one option is taken.
[[nodiscard]] CommandLine parseCommandLine(const QStringList& arguments);

/// The text of --help, ending with a line break.
[[nodiscard]] QString helpText();

/// The text of --version, ending with a line break.
[[nodiscard]] QString versionText();
