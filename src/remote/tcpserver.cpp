#include "tcpserver.h"

#include "appsettings.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

// Qt's read buffer per socket; together with the line limit it bounds what a
// client can make the server hold.
constexpr qint64 socketReadBufferSize = 64 * 1024;

} // namespace

TcpServer::TcpServer(QObject* parent) : QObject(parent), server(new QTcpServer(this))
{
    connect(server, &QTcpServer::newConnection, this, &TcpServer::createConnection);
}

TcpServer::~TcpServer()
{
    // The sockets are children of the server; they must not report their
    // disconnection to a half-destroyed object.
    for (QTcpSocket* connection : qAsConst(order))
        connection->disconnect(this);
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
    return order.size();
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

void TcpServer::addConnection(QTcpSocket* connection)
{
    if (order.size() >= maxConnections)
        closeOldestConnection();
    connection->setReadBufferSize(socketReadBufferSize);
    streams.insert(connection, CommandStream());
    order.append(connection);
    connect(connection, &QTcpSocket::disconnected, this, [this, connection] { breakConnection(connection); });
    connect(connection, &QTcpSocket::readyRead, this, [this, connection] { readData(connection); });
    if (connection->bytesAvailable() > 0)
        readData(connection);
}

void TcpServer::readData(QTcpSocket* connection)
{
    auto stream = streams.find(connection);
    if (stream == streams.end())
        return;

    QVector<RemoteCommand> commands;
    CommandStream::State state = CommandStream::Open;
    while (state == CommandStream::Open && connection->bytesAvailable() > 0)
        state = stream->feed(connection->read(socketReadBufferSize), commands);

    // Close before executing: the commands' receivers may run for a while, and
    // nothing below touches the connection again, even if it is gone by then.
    if (state == CommandStream::Exited)
        connection->disconnectFromHost();
    else if (state == CommandStream::Overflowed)
        connection->abort();

    QPointer<TcpServer> self(this);
    for (const RemoteCommand& command : qAsConst(commands)) {
        execute(command);
        if (!self)
            return;
    }
}

void TcpServer::breakConnection(QTcpSocket* connection)
{
    if (!streams.remove(connection))
        return;
    order.removeOne(connection);
    connection->deleteLater();
}

void TcpServer::closeOldestConnection()
{
    QTcpSocket* oldest = order.first();
    // abort() reports the disconnection synchronously, which forgets it.
    oldest->abort();
    breakConnection(oldest);
}

void TcpServer::execute(const RemoteCommand& command)
{
    switch (command.type) {
    case RemoteCommand::File:
        emit fileChanged(command.path, command.value, command.rangeEnd);
        break;
    case RemoteCommand::BookmarksFile:
        emit bookmarksFileChanged(command.path, command.value, command.rangeEnd);
        break;
    case RemoteCommand::Frame:
        emit frameChanged(command.value);
        break;
    case RemoteCommand::FrameRelative:
        emit frameChangedRelative(command.value);
        break;
    case RemoteCommand::RangeStart:
        emit rangeStartChanged(command.value);
        break;
    case RemoteCommand::RangeEnd:
        emit rangeEndChanged(command.value);
        break;
    case RemoteCommand::None:
    case RemoteCommand::Exit:
        break;
    }
}
