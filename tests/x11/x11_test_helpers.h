#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

/// Runs a command to its end (at most 15 s); its standard output, or nothing when it failed.
[[nodiscard]] std::optional<QString> run(const QString& program, const QStringList& arguments);

/// What xclip reads from the clipboard as `target` (xclip's default when empty), processing Qt events
/// meanwhile so that this process can answer if it owns the clipboard.
[[nodiscard]] QByteArray readClipboardWithXclip(const QString& target = {});

/// The active window as the window manager announces it, asked with xdotool.
[[nodiscard]] std::optional<std::uint32_t> activeWindowByXdotool();

/// Processes Qt events until `condition` holds or `timeout` passes; whether it held.
[[nodiscard]] bool waitFor(const std::function<bool()>& condition,
                           std::chrono::milliseconds timeout = std::chrono::seconds(10));

/// Processes Qt events for `duration`.
void processEventsFor(std::chrono::milliseconds duration);

/// The paste target program in a process of its own: a focused line edit whose text the test can read.
class PasteTarget
{
public:
    /// Null when it does not start and show its window within a few seconds.
    [[nodiscard]] static std::unique_ptr<PasteTarget> start();

    PasteTarget(const PasteTarget&) = delete;
    PasteTarget& operator=(const PasteTarget&) = delete;
    ~PasteTarget();

    [[nodiscard]] std::uint32_t window() const { return m_window; }
    /// What its line edit holds now.
    [[nodiscard]] QString text() const;

private:
    PasteTarget() = default;

    QTemporaryDir m_directory;
    QProcess m_process;
    std::uint32_t m_window = 0;
};
