#include "tests/x11/x11_test_helpers.h"

#include <QCoreApplication>
#include <QFile>
#include <QTest>

Finished run(const QString& program, const QStringList& arguments, std::chrono::seconds timeout)
{
    QProcess process;
    process.start(program, arguments);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    // Events are served meanwhile, for what the program talks to in this process; without an application
    // object there are none to serve.
    while (!process.waitForFinished(50) && process.state() != QProcess::NotRunning) {
        QCoreApplication::processEvents();
        if (std::chrono::steady_clock::now() > deadline) {
            process.kill();
            process.waitForFinished();
            return {-1, process.readAllStandardOutput(), process.readAllStandardError()};
        }
    }
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

std::uint32_t activeWindowByXdotool()
{
    return run(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")}).output.trimmed().toUInt();
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    return QTest::qWaitFor(condition, static_cast<int>(timeout.count()));
}

bool waitForEnd(const QProcess& process, std::chrono::milliseconds timeout)
{
    return waitFor([&] { return process.state() == QProcess::NotRunning; }, timeout);
}

std::unique_ptr<PasteTarget> PasteTarget::start()
{
    std::unique_ptr<PasteTarget> target(new PasteTarget);
    if (!target->m_directory.isValid()) {
        return nullptr;
    }
    target->m_process.start(QStringLiteral(VELMORA_PASTE_TARGET), {target->m_directory.filePath("text")});
    while (!target->m_process.canReadLine()) {
        if (!target->m_process.waitForReadyRead(15000)) {
            return nullptr;
        }
    }
    bool ok = false;
    target->m_window = QString::fromLatin1(target->m_process.readLine()).trimmed().toUInt(&ok);
    return ok ? std::move(target) : nullptr;
}

PasteTarget::~PasteTarget()
{
    m_process.terminate();
    if (!m_process.waitForFinished(2000)) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

QString PasteTarget::text() const
{
    QFile file(m_directory.filePath("text"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
