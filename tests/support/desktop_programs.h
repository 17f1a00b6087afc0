#pragma once

// The other programs the tests run on their desktop (xdotool, xclip, the paste target, Velmora itself), and
// waiting, with events served, for what they do.

#include <QProcess>

#include <chrono>
#include <cstdint>
#include <functional>

/// A program run to its end; status -1 when it did not end by itself in time.
struct Finished
{
    int status = -1;
    QByteArray output;
    QByteArray errors;
};

/// Runs a program to its end, processing Qt events meanwhile: this process may be what it talks to.
[[nodiscard]] Finished run(const QString& program, const QStringList& arguments,
                           std::chrono::seconds timeout = std::chrono::seconds(20));

/// Runs xdotool with these arguments; whether it succeeded.
[[nodiscard]] bool xdotool(const QStringList& arguments);

/// What xclip reads from the clipboard as `target` (xclip's default when empty).
[[nodiscard]] QByteArray readClipboardWithXclip(const QString& target = {});

/// The window xdotool names for `command`; by default the active window as the window manager announces
/// it. 0 for none.
[[nodiscard]] std::uint32_t windowByXdotool(const QStringList& command = {QStringLiteral("getactivewindow")});

/// Processes Qt events until `condition` holds or `timeout` passes; whether it held.
[[nodiscard]] bool waitFor(const std::function<bool()>& condition,
                           std::chrono::milliseconds timeout = std::chrono::seconds(10));

/// Processes Qt events until `process` has ended or `timeout` passes; whether it ended.
[[nodiscard]] bool waitForEnd(const QProcess& process, std::chrono::milliseconds timeout = std::chrono::seconds(10));

/// The paste target program in a process of its own: a focused line edit whose text the test can read.
struct PasteTarget
{
    /// Starts it; `window` stays 0 unless it shows its window with the focus within a few seconds.
    PasteTarget();
    ~PasteTarget();
    /// What its line edit holds now, as far as it has said.
    [[nodiscard]] QString text() const;

    /// Mutable: text() looks at what it said without taking it.
    mutable QProcess process;
    std::uint32_t window = 0;
};
