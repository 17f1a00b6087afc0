#include "app/command_line.h"

#include "app/version.h"

#include <QCoreApplication>

namespace {

CommandLine reject(const QString& error)
{
    return {CommandLine::Action::Reject, error};
}

CommandLine autostart(const QString& value)
{
    if (value == QLatin1String("on")) {
        return {CommandLine::Action::EnableAutostart, {}};
    }
    if (value == QLatin1String("off")) {
        return {CommandLine::Action::DisableAutostart, {}};
    }
    return reject(QCoreApplication::translate("CommandLine", "--autostart takes on or off, not '%1'").arg(value));
}

CommandLine parseOption(const QString& option, const QStringList& rest)
{
    using Action = CommandLine::Action;
    if (option == QLatin1String("--autostart")) {
        return rest.isEmpty() ? CommandLine{Action::ShowAutostart, {}} : autostart(rest.first());
    }
    if (option.startsWith(QLatin1String("--autostart="))) {
        return autostart(option.section(QLatin1Char('='), 1));
    }
    const struct
    {
        const char* name;
        Action action;
    } plainOptions[] = {
        {"--toggle", Action::Toggle}, {"--quit", Action::Quit},           {"--help", Action::ShowHelp},
        {"-h", Action::ShowHelp},     {"--version", Action::ShowVersion}, {"-v", Action::ShowVersion},
    };
    for (const auto& plain : plainOptions) {
        if (option == QLatin1String(plain.name)) {
            return {plain.action, {}};
        }
    }
    if (option.startsWith(QLatin1Char('-'))) {
        return reject(QCoreApplication::translate("CommandLine", "unknown option '%1'").arg(option));
    }
    return reject(QCoreApplication::translate("CommandLine", "unexpected argument '%1'").arg(option));
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments)
{
    if (arguments.isEmpty()) {
        return {};
    }
    // --autostart is the one option that may take its value as the next argument.
    const bool takesValue = arguments.first() == QLatin1String("--autostart") && arguments.size() > 1;
    const qsizetype used = takesValue ? 2 : 1;
    if (arguments.size() > used) {
        const CommandLine first = parseOption(arguments.first(), arguments.mid(1, used - 1));
        if (first.action == CommandLine::Action::Reject) {
            return first;
        }
        return reject(QCoreApplication::translate("CommandLine", "unexpected argument '%1'").arg(arguments.at(used)));
    }
    return parseOption(arguments.first(), arguments.mid(1));
}

QString helpText()
{
    return QCoreApplication::translate(
        "CommandLine", "Usage: velmora [OPTION]\n"
                       "Keeps the last 50 texts and images you copied; Super+Shift+C or the tray icon opens them.\n"
                       "\n"
                       "Without an option Velmora starts in the tray. If it already runs on this display, its panel\n"
                       "opens instead.\n"
                       "\n"
                       "  --toggle              open or close the panel of the running Velmora\n"
                       "  --quit                end the running Velmora\n"
                       "  --autostart [on|off]  start Velmora at login, or stop doing so; alone, tell whether it does\n"
                       "  -h, --help            show this help and exit\n"
                       "  -v, --version         show the version and exit\n");
}

QString versionText()
{
    return QStringLiteral("velmora %1\n").arg(QLatin1String(velmoraVersion));
}
