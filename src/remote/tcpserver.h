#pragma once

#include "commandstream.h"
#include "remotesession.h"

#include <QObject>
#include <QString>
#include <memory>
#include <vector>

class QTcpServer;
class QTcpSocket;
class RemotePlayer;

// The remote-control port: a plain-text command server on the IPv4 loopback
// address at the port of the setting tcpPort. Each connection's lines become
// commands (see RemoteCommand), run in order on the player by a RemoteSession
// of its own, which also writes the replies a client asked for.
//
// Every client is served until it disconnects or sends "exit", each with its
// own line buffer, so a newer client never loses or steals an older one's
// commands, and one client's disconnection never touches another. At most
// maxConnections are kept: past that, the oldest is closed. A client that
// sends a line longer than CommandStream::defaultMaxLineLength is disconnected
// and the rest of its input dropped; one that sends what looks like HTTP is
// disconnected with a warning on the console. Commands already received when
// a connection ends are still run.
class TcpServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int maxConnections = 16;
    // A connection whose commands wait (a clip loading) is read no further
    // than this; the client is held back by TCP's own flow control.
    static constexpr int maxQueuedCommands = 1000;

    explicit TcpServer(RemotePlayer& player, QObject* parent = nullptr);
    ~TcpServer() override;

    // Starts listening on 127.0.0.1 at appSettings().tcpPort. Returns false
    // when already listening or when the port cannot be had (in use, or
    // refused); errorString() then tells why.
    bool listen();
    bool isListening() const;
    // The port listened on (useful with tcpPort 0, which takes a free port).
    quint16 serverPort() const;
    QString errorString() const;
    // Open client connections.
    int connectionCount() const;
    // Commands received and not yet run, over all connections.
    int waitingCommands() const;

public slots:
    // Runs the commands that wait for the player: to be called (queued)
    // whenever the player's state changes.
    void playerChanged();

private slots:
    void createConnection();

private:
    struct Connection
    {
        explicit Connection(RemotePlayer& player) : session(player) {}
        QTcpSocket* socket = nullptr; // null once the client is gone
        CommandStream stream;
        RemoteSession session;
    };

    void addConnection(QTcpSocket* socket);
    // Reads what the session has room for and runs it, until nothing more can move.
    void serve(Connection* connection);
    // Hands the session the commands received, up to maxQueuedCommands; true
    // when there were any. Closes the connection on an over-long or HTTP line.
    bool readInto(Connection* connection);
    // Forgets the socket that ended and deletes it, and only it; its
    // session runs on until its commands are done.
    void breakConnection(QTcpSocket* socket);
    void closeOldestConnection();
    void removeFinishedSessions();

    RemotePlayer& player;
    QTcpServer* server = nullptr;
    // Oldest first, the ones whose client is gone included.
    std::vector<std::unique_ptr<Connection>> connections;
    int serving = 0; // depth of serve() calls
};
