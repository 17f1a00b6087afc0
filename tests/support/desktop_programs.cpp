#include "tests/support/desktop_programs.h"

#include <QCoreApplication>
#include <QTest>

Finished run(const QString& program, const QStringList& arguments, std::chrono::seconds timeout)
{
    QProcess process;
    process.start(program, arguments);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    // waitForFinished drives the process where no event loop runs; between its rounds events are served, for
    // what the program talks to in this process.
    while (!process.waitForFinished(50) && process.state() != QProcess::NotRunning &&
           std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents();
    }
    // Killed or crashed: status -1.
    process.kill();
    process.waitForFinished();
    const bool normal = process.error() != QProcess::FailedToStart && process.exitStatus() == QProcess::NormalExit;
    return {normal ? process.exitCode() : -1, process.readAllStandardOutput(), process.readAllStandardError()};
}

bool xdotool(const QStringList& arguments)
{
    return run(QStringLiteral("xdotool"), arguments).status == 0;
}

QByteArray readClipboardWithXclip(const QString& target)
{
    const QStringList type = target.isEmpty() ? QStringList() : QStringList{"-t", target};
    return run(QStringLiteral("xclip"), QStringList{"-selection", "clipboard", "-o"} + type, std::chrono::seconds(10))
        .output;
}

std::uint32_t windowByXdotool(const QStringList& command)
{
    return run(QStringLiteral("xdotool"), command).output.trimmed().toUInt();
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    return QTest::qWaitFor(condition, static_cast<int>(timeout.count()));
}

bool waitForEnd(const QProcess& process, std::chrono::milliseconds timeout)
{
    return waitFor([&] { return process.state() == QProcess::NotRunning; }, timeout);
}

PasteTarget::PasteTarget()
{
    process.start(QStringLiteral(VELMORA_PASTE_TARGET), {});
    // It prints its window once that has the focus.
    if (waitFor([&] { return process.canReadLine(); }, std::chrono::seconds(15))) {
        window = QString::fromLatin1(process.readLine()).trimmed().toUInt();
    }
}

PasteTarget::~PasteTarget()
{
    process.kill();
    process.waitForFinished();
}

QString PasteTarget::text() const
{
    // A line each time the text changes: the last whole one is the text now.
    return QString::fromUtf8(process.peek(process.bytesAvailable())).section('\n', -2, -2);
}
