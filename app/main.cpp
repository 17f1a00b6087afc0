#include "app/autostart.h"
#include "app/command_line.h"
#include "app/instance_paths.h"
#include "app/instance_request.h"
#include "app/single_instance.h"
#include "app/velmora_app.h"
#include "platform/process_privacy.h"
#include "platform/session.h"

#include <QApplication>
#include <QLockFile>
#include <QProcessEnvironment>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

using namespace std::chrono_literals;

// Generous: the running Velmora answers from its GUI thread, which a large capture may keep busy.
constexpr auto answerTimeout = 10s;

QString tr(const char* text)
{
    return QCoreApplication::translate("main", text);
}

void printError(const QString& message)
{
    std::fprintf(stderr, "velmora: %s\n", qPrintable(message));
}

void print(const QString& text)
{
    std::fputs(qPrintable(text), stdout);
}

QStringList arguments(int argc, char** argv)
{
    QStringList result;
    for (int index = 1; index < argc; ++index) {
        result.append(QString::fromLocal8Bit(argv[index]));
    }
    return result;
}

std::optional<InstancePaths> instancePaths()
{
    const auto directory = runtimeDirectory();
    if (!directory) {
        return std::nullopt;
    }
    return InstancePaths::forSession(*directory, QProcessEnvironment::systemEnvironment());
}

int changeAutostart(CommandLine::Action action)
{
    std::optional<QString> failure;
    if (action == CommandLine::Action::ShowAutostart) {
        print(isAutostartEnabled() ? QStringLiteral("on\n") : QStringLiteral("off\n"));
    } else if (action == CommandLine::Action::EnableAutostart) {
        failure = enableAutostart(QCoreApplication::applicationFilePath());
    } else {
        failure = disableAutostart();
    }
    if (failure) {
        printError(*failure);
        return 1;
    }
    return 0;
}

int sendToRunning(InstanceRequest request)
{
    const auto paths = instancePaths();
    if (!paths) {
        printError(tr("Velmora is not running: there is no private runtime folder for its socket"));
        return 1;
    }
    switch (sendInstanceRequest(paths->socket, request, answerTimeout)) {
    case InstanceAnswer::Done:
        return 0;
    case InstanceAnswer::NoneRunning:
        printError(tr("Velmora is not running on this display"));
        return 1;
    case InstanceAnswer::NoAnswer:
        break;
    }
    printError(tr("the running Velmora did not answer"));
    return 1;
}

int run(int argc, char** argv, const QStringList& given)
{
    // Without a display Qt would abort; Qt's choice of platform cannot be changed once the application exists.
    const auto environment = QProcessEnvironment::systemEnvironment();
    // Before the first capture.
    platform::keepMemoryPrivate(environment);
    const auto session = platform::chooseSession(
        environment, given,
        {platform::probeWaylandCompositor, [&environment] { return platform::hasWaylandPlugin(environment); }});
    platform::applySessionChoice(session);
    if (session.outcome == platform::SessionChoice::Outcome::NoDisplay) {
        return 1;
    }
    QApplication application(argc, argv);
    platform::noticeIfQtFellBack(session);
    // The Wayland app id, by which compositor rules float the panel and put it at the pointer.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.hollin.velmora"));
    // Names the windows' class and titles "Velmora" whatever the executable is called.
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    // Velmora lives in the tray: hiding or closing its panel or its alert must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    // Without a private runtime folder Velmora still runs, only without the channel.
    std::unique_ptr<SingleInstance> instance;
    if (const auto paths = instancePaths()) {
        // Two launches at once must not both find that none runs; a crashed holder's lock is stale at once.
        QLockFile lock(paths->lock);
        lock.setStaleLockTime(0);
        static_cast<void>(lock.tryLock(std::chrono::duration_cast<std::chrono::milliseconds>(answerTimeout)));
        switch (sendInstanceRequest(paths->socket, InstanceRequest::Toggle, answerTimeout)) {
        case InstanceAnswer::Done:
            return 0;
        case InstanceAnswer::NoAnswer:
            printError(tr("a Velmora runs on this display but does not answer"));
            return 1;
        case InstanceAnswer::NoneRunning:
            break;
        }
        instance = SingleInstance::listen(paths->socket);
    }

    VelmoraApp velmora;
    if (instance) {
        // Queued: a request that comes in at once waits behind the end of launching, which creates the panel.
        QObject::connect(
            instance.get(), &SingleInstance::toggleRequested, instance.get(), [&velmora] { velmora.requestToggle(); },
            Qt::QueuedConnection);
        QObject::connect(instance.get(), &SingleInstance::quitRequested, instance.get(),
                         [] { QCoreApplication::exit(0); });
    }
    return velmora.run();
}

} // namespace

int main(int argc, char** argv)
{
    const QStringList given = arguments(argc, argv);
    // Qt's own -platform is the application object's to read.
    const CommandLine commandLine = parseCommandLine(platform::withoutPlatformOption(given));
    switch (commandLine.action) {
    case CommandLine::Action::Run:
        return run(argc, argv, given);
    case CommandLine::Action::Reject:
        printError(commandLine.error + tr(" (see velmora --help)"));
        return 2;
    case CommandLine::Action::ShowHelp:
        print(helpText());
        return 0;
    case CommandLine::Action::ShowVersion:
        print(versionText());
        return 0;
    case CommandLine::Action::Toggle:
    case CommandLine::Action::Quit: {
        const QCoreApplication application(argc, argv);
        return sendToRunning(commandLine.action == CommandLine::Action::Toggle ? InstanceRequest::Toggle
                                                                               : InstanceRequest::Quit);
    }
    case CommandLine::Action::ShowAutostart:
    case CommandLine::Action::EnableAutostart:
    case CommandLine::Action::DisableAutostart: {
        const QCoreApplication application(argc, argv);
        return changeAutostart(commandLine.action);
    }
    }
    return 2;
}
