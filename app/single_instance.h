#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <memory>

class QLocalSocket;

/// The running Velmora's end of the channel through which later launches of the same user on the same
/// display ask it to toggle its panel or to quit. Serves each request as its bytes arrive, so a slow or
/// silent client never holds up the GUI thread. GUI thread only.
class SingleInstance final : public QObject
{
    Q_OBJECT

public:
    /// Listens at `socketPath`, readable by the user alone, replacing a socket file that nobody answers
    /// on any more; null when another process answers there or listening fails.
    [[nodiscard]] static std::unique_ptr<SingleInstance> listen(const QString& socketPath);

signals:
    void toggleRequested();
    void quitRequested();

private:
    SingleInstance() = default;

    void acceptConnections();
    void readRequest(QLocalSocket* socket);

    // Connections accepted and not yet closed, bounded so that a flood cannot pile them up. Declared
    // before the server, whose sockets count themselves out as it destroys them.
    int m_openConnections = 0;
    QLocalServer m_server;
};
