#include "app/instance_request.h"

#include <QDeadlineTimer>
#include <QLocalSocket>

QByteArray requestLine(InstanceRequest request)
{
    switch (request) {
    case InstanceRequest::Toggle:
        return QByteArrayLiteral("toggle");
    case InstanceRequest::Quit:
        return QByteArrayLiteral("quit");
    }
    return {};
}

std::optional<InstanceRequest> parseRequestLine(const QByteArray& line)
{
    for (const auto request : {InstanceRequest::Toggle, InstanceRequest::Quit}) {
        if (line == requestLine(request)) {
            return request;
        }
    }
    return std::nullopt;
}

QByteArray acceptedLine()
{
    return QByteArrayLiteral("ok");
}

InstanceAnswer sendInstanceRequest(const QString& socketPath, InstanceRequest request,
                                   std::chrono::milliseconds timeout)
{
    const QDeadlineTimer deadline(timeout);
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
        // No file, or a file that no process listens on any more: a crash left it.
        const auto error = socket.error();
        return error == QLocalSocket::ServerNotFoundError || error == QLocalSocket::ConnectionRefusedError
                   ? InstanceAnswer::NoneRunning
                   : InstanceAnswer::NoAnswer;
    }
    socket.write(requestLine(request) + '\n');
    QByteArray answer;
    while (!answer.contains('\n')) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            return InstanceAnswer::NoAnswer;
        }
        answer += socket.read(64);
        if (answer.size() > 64) {
            return InstanceAnswer::NoAnswer;
        }
    }
    return answer.left(answer.indexOf('\n')) == acceptedLine() ? InstanceAnswer::Done : InstanceAnswer::NoAnswer;
}
