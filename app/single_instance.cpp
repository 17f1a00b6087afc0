#include "app/single_instance.h"

#include "app/instance_request.h"
#include "app/peer_credentials.h"

#include <QLocalSocket>
#include <QTimer>

#include <chrono>

#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// A request is one short line: a client that has not sent it by then is not going to.
constexpr auto requestDeadline = 2s;
constexpr qint64 longestLine = 64;
constexpr int mostOpenConnections = 8;

void drop(QLocalSocket* socket)
{
    socket->abort();
    socket->deleteLater();
}

bool isAnswered(const QString& socketPath)
{
    QLocalSocket probe;
    probe.connectToServer(socketPath);
    return probe.waitForConnected(1000);
}

} // namespace

std::unique_ptr<SingleInstance> SingleInstance::listen(const QString& socketPath)
{
    if (isAnswered(socketPath)) {
        return nullptr;
    }
    // Left by a Velmora that crashed: binding over it would fail.
    QLocalServer::removeServer(socketPath);
    std::unique_ptr<SingleInstance> instance(new SingleInstance);
    instance->m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!instance->m_server.listen(socketPath)) {
        return nullptr;
    }
    connect(&instance->m_server, &QLocalServer::newConnection, instance.get(), &SingleInstance::acceptConnections);
    return instance;
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        // The socket file is the user's alone, but root and a loosened mode get past that.
        if (m_openConnections >= mostOpenConnections ||
            !isPeerAllowed(peerUserId(socket->socketDescriptor()), ::getuid())) {
            drop(socket);
            continue;
        }
        ++m_openConnections;
        connect(socket, &QObject::destroyed, this, [this] { --m_openConnections; });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
        QTimer::singleShot(requestDeadline, socket, [socket] { drop(socket); });
        if (socket->bytesAvailable() > 0) {
            readRequest(socket);
        }
    }
}

void SingleInstance::readRequest(QLocalSocket* socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > longestLine) {
            drop(socket);
        }
        return;
    }
    const auto request = parseRequestLine(socket->readLine(longestLine + 1).trimmed());
    if (!request) {
        drop(socket);
        return;
    }
    socket->write(acceptedLine() + '\n');
    socket->flush();
    socket->disconnectFromServer();
    if (*request == InstanceRequest::Toggle) {
        emit toggleRequested();
    } else {
        emit quitRequested();
    }
}
