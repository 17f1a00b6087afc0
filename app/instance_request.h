#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <optional>

/// What a later launch asks the running Velmora to do: one short line on its socket.
enum class InstanceRequest
{
    Toggle,
    Quit,
};

/// How the running Velmora took a request.
enum class InstanceAnswer
{
    Done,
    NoneRunning,
    /// Something listens but did not confirm in time, or refused.
    NoAnswer,
};

/// The line that carries `request`, without its line break.
[[nodiscard]] QByteArray requestLine(InstanceRequest request);

/// The request a line names; nothing for any other line.
[[nodiscard]] std::optional<InstanceRequest> parseRequestLine(const QByteArray& line);

/// The line the running Velmora answers a request it carries out with.
[[nodiscard]] QByteArray acceptedLine();

/// Sends `request` to the Velmora listening at `socketPath` and waits at most `timeout` for it to confirm.
/// Blocks; needs a QCoreApplication.
[[nodiscard]] InstanceAnswer sendInstanceRequest(const QString& socketPath, InstanceRequest request,
                                                 std::chrono::milliseconds timeout);
