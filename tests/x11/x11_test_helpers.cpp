#include "tests/x11/x11_test_helpers.h"

#include <QFile>
#include <QTest>

std::optional<QString> run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(15000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        process.kill();
        process.waitForFinished();
        return std::nullopt;
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

QByteArray readClipboardWithXclip(const QString& target)
{
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"), QStringList{"-selection", "clipboard", "-o"} +
                                             (target.isEmpty() ? QStringList() : QStringList{"-t", target}));
    if (!QTest::qWaitFor([&] { return xclip.state() == QProcess::NotRunning; }, 10000)) {
        xclip.kill();
        xclip.waitForFinished();
    }
    return xclip.readAllStandardOutput();
}

std::optional<std::uint32_t> activeWindowByXdotool()
{
    bool ok = false;
    const auto window = run(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")}).value_or("").toUInt(&ok);
    return ok ? std::optional(window) : std::nullopt;
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    return QTest::qWaitFor(condition, static_cast<int>(timeout.count()));
}

void processEventsFor(std::chrono::milliseconds duration)
{
    QTest::qWait(static_cast<int>(duration.count()));
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
