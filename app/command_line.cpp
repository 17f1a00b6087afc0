#include "app/command_line.h"

#include "app/version.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>

#include <utility>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("CommandLine", text);
}

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
    return reject(tr("--autostart takes on or off, not '%1'").arg(value));
}

/// An option's name as the user would type it.
QString spelled(const QString& name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

/// The argument that brought the unknown option `name`, as the user typed it: "-xyz" brings x, y and z.
QString unknownArgument(const QStringList& arguments, const QString& name)
{
    for (const QString& argument : arguments) {
        const bool isLong = argument.startsWith(QLatin1String("--"));
        if (isLong ? argument.mid(2).section(QLatin1Char('='), 0, 0) == name
                   : argument.startsWith(QLatin1Char('-')) && argument.contains(name)) {
            return argument;
        }
    }
    return spelled(name);
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments)
{
    using Action = CommandLine::Action;
    // helpText() describes them; the parser only reads them.
    const QCommandLineOption toggle(QStringLiteral("toggle"));
    const QCommandLineOption quit(QStringLiteral("quit"));
    const QString autostartName = QStringLiteral("autostart");
    const QCommandLineOption autostartOption(autostartName, QString(), QStringLiteral("on|off"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    QCommandLineParser parser;
    parser.addOptions({toggle, quit, autostartOption, help, version});

    // The parser knows no option whose value may be left out: alone at the end, --autostart asks.
    QStringList parsed = arguments;
    const bool asksAutostart = !parsed.isEmpty() && parsed.last() == spelled(autostartName);
    if (asksAutostart) {
        parsed.removeLast();
    }
    if (!parser.parse(QStringList(QStringLiteral("velmora")) + parsed)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            return reject(tr("unknown option '%1'").arg(unknownArgument(arguments, unknown.first())));
        }
        return reject(parser.errorText());
    }
    if (!parser.positionalArguments().isEmpty()) {
        return reject(tr("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    }
    QStringList given = parser.optionNames();
    if (asksAutostart) {
        given.append(autostartName);
    }
    if (given.size() > 1) {
        return reject(tr("unexpected argument '%1'").arg(spelled(given.at(1))));
    }
    if (asksAutostart) {
        return {Action::ShowAutostart, {}};
    }
    if (parser.isSet(autostartOption)) {
        return autostart(parser.value(autostartOption));
    }
    const std::pair<const QCommandLineOption&, Action> plainOptions[] = {
        {toggle, Action::Toggle},
        {quit, Action::Quit},
        {help, Action::ShowHelp},
        {version, Action::ShowVersion},
    };
    for (const auto& [option, action] : plainOptions) {
        if (parser.isSet(option)) {
            return {action, {}};
        }
    }
    return {};
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
