#include "tcpserver.h"

#include "appsettings.h"
#include "remoteplayer.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>

namespace {

// Qt's read buffer per socket; together with the line limit it bounds what a
// client can make the server hold.
constexpr qint64 socketReadBufferSize = 64 * 1024;

} // namespace

TcpServer::TcpServer(RemotePlayer& player, QObject* parent)
    : QObject(parent), player(player), server(new QTcpServer(this))
{
    connect(server, &QTcpServer::newConnection, this, &TcpServer::createConnection);
}

TcpServer::~TcpServer()
{
    // The sockets are children of the server; they must not report their
    // disconnection to a half-destroyed object.
    for (const auto& connection : connections) {
        if (connection->socket)
            connection->socket->disconnect(this);
    }
}

bool TcpServer::listen()
{
    if (server->isListening())
        return false;
    return server->listen(QHostAddress::LocalHost, quint16(appSettings().tcpPort));
}

bool TcpServer::isListening() const
{
    return server->isListening();
}

quint16 TcpServer::serverPort() const
{
    return server->serverPort();
}

QString TcpServer::errorString() const
{
    return server->errorString();
}

int TcpServer::connectionCount() const
{
    int open = 0;
    for (const auto& connection : connections)
        open += connection->socket ? 1 : 0;
    return open;
}

int TcpServer::waitingCommands() const
{
    int waiting = 0;
    for (const auto& connection : connections)
        waiting += connection->session.queuedCount();
    return waiting;
}

void TcpServer::playerChanged()
{
    QPointer<TcpServer> self(this);
    // Sessions may be added while others run; indices stay valid.
    for (size_t i = 0; i < connections.size(); ++i) {
        serve(connections[i].get());
        if (!self)
            return;
    }
    removeFinishedSessions();
}

void TcpServer::createConnection()
{
    while (server->hasPendingConnections()) {
        QTcpSocket* pending = server->nextPendingConnection();
        if (pending->state() == QAbstractSocket::ConnectedState)
            addConnection(pending);
        else
            pending->deleteLater();
    }
}

void TcpServer::addConnection(QTcpSocket* socket)
{
    if (connectionCount() >= maxConnections)
        closeOldestConnection();
    socket->setReadBufferSize(socketReadBufferSize);
    auto connection = std::make_unique<Connection>(player);
    connection->socket = socket;
    connection->session.setWriter([socket](const QByteArray& line) { socket->write(line); });
    Connection* added = connection.get();
    connections.push_back(std::move(connection));
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { breakConnection(socket); });
    connect(socket, &QTcpSocket::readyRead, this, [this, added] {
        serve(added);
        removeFinishedSessions();
    });
    if (socket->bytesAvailable() > 0)
        serve(added);
}

void TcpServer::serve(Connection* connection)
{
    QPointer<TcpServer> self(this);
    ++serving;
    bool moved = true;
    while (moved) {
        moved = readInto(connection);
        // Running commands may take a while, and their receivers may end the
        // connection; nothing below relies on the socket still being there.
        connection->session.run();
        if (!self)
            return;
        if (connection->session.hasExited() && connection->socket) {
            connection->socket->disconnectFromHost();
            break;
        }
    }
    --serving;
}

bool TcpServer::readInto(Connection* connection)
{
    QTcpSocket* socket = connection->socket;
    if (!socket || connection->stream.state() != CommandStream::Open)
        return false;
    QVector<RemoteCommand> commands;
    CommandStream::State state = CommandStream::Open;
    while (state == CommandStream::Open && socket->bytesAvailable() > 0 &&
           connection->session.queuedCount() + commands.size() < maxQueuedCommands) {
        state = connection->stream.feed(socket->read(socketReadBufferSize), commands);
    }
    connection->session.append(commands);

    if (state == CommandStream::Refused) {
        player.reportWarning(QStringLiteral("remote control: closed a connection that sent an HTTP request "
                                            "(a web page may have tried to reach port %1)")
                                 .arg(server->serverPort()));
        socket->abort();
    } else if (state == CommandStream::Overflowed) {
        socket->abort();
    }
    return !commands.isEmpty();
}

void TcpServer::breakConnection(QTcpSocket* socket)
{
    for (const auto& connection : connections) {
        if (connection->socket == socket) {
            connection->socket = nullptr;
            connection->session.setWriter(nullptr);
            socket->disconnect(this);
            socket->deleteLater();
            QMetaObject::invokeMethod(this, &TcpServer::removeFinishedSessions, Qt::QueuedConnection);
            return;
        }
    }
}

void TcpServer::closeOldestConnection()
{
    for (const auto& connection : connections) {
        if (connection->socket) {
            // abort() reports the disconnection synchronously, which forgets it.
            connection->socket->abort();
            return;
        }
    }
}

void TcpServer::removeFinishedSessions()
{
    // Not while a session runs: an abort inside serve() ends up here.
    if (serving > 0)
        return;
    connections.erase(std::remove_if(connections.begin(), connections.end(),
                                     [](const std::unique_ptr<Connection>& c) {
                                         return !c->socket && c->session.isFinished();
                                     }),
                      connections.end());
}
