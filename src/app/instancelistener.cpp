#include "instancelistener.h"

#include "instancechannel.h"

#include <QLocalServer>
#include <QLocalSocket>

InstanceListener::InstanceListener(const QString& serverName, QObject* parent)
    : QObject(parent), name(serverName)
{
}

bool InstanceListener::listen()
{
    if (server)
        return true;
    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server, &QLocalServer::newConnection, this, &InstanceListener::addConnection);
    QLocalServer::removeServer(name);
    if (server->listen(name))
        return true;
    error = server->errorString();
    delete server;
    server = nullptr;
    return false;
}

void InstanceListener::close()
{
    delete server; // its sockets with it
    server = nullptr;
    buffers.clear();
}

void InstanceListener::addConnection()
{
    while (QLocalSocket* socket = server->nextPendingConnection()) {
        buffers.insert(socket, QByteArray());
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            buffers.remove(socket);
            socket->deleteLater();
        });
        readFrom(socket);
    }
}

void InstanceListener::readFrom(QLocalSocket* socket)
{
    auto buffer = buffers.find(socket);
    if (buffer == buffers.end())
        return;
    *buffer += socket->readAll();
    InstanceChannel::Message message;
    int length = 0;
    switch (InstanceChannel::decode(*buffer, &message, &length)) {
    case InstanceChannel::Result::Incomplete:
        return;
    case InstanceChannel::Result::Invalid:
        buffers.erase(buffer);
        socket->abort();
        emit messageRefused(QStringLiteral("a launch sent a message that cannot be read"));
        return;
    case InstanceChannel::Result::Complete:
        break;
    }
    buffers.erase(buffer);
    if (InstanceChannel::clockNow() > message.deadline) {
        socket->abort();
        emit messageRefused(
            QStringLiteral("a launch stopped waiting before its arguments arrived; not opened: %1")
                .arg(message.arguments.join(QLatin1Char(' '))));
        return;
    }
    socket->write(InstanceChannel::acknowledgement);
    socket->flush();
    socket->disconnectFromServer();
    emit messageReceived(message.arguments);
}
