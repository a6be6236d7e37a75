#pragma once

#include "commandstream.h"

#include <QHash>
#include <QObject>
#include <QString>

class QTcpServer;
class QTcpSocket;

// The remote-control port: a plain-text command server on the IPv4 loopback
// address at the port of the setting tcpPort. Each accepted command (see
// RemoteCommand) becomes one signal; the server never answers.
//
// Every client is served until it disconnects or sends "exit", each with its
// own line buffer, so a newer client never loses or steals an older one's
// commands, and one client's disconnection never touches another. At most
// maxConnections are kept: past that, the oldest is closed. A client that sends a line longer than
// CommandStream::defaultMaxLineLength is disconnected and the rest of its
// input dropped. Junk lines (unknown commands, unreadable numbers, invalid
// UTF-8, NUL bytes) are ignored and the connection stays usable.
class TcpServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int maxConnections = 16;

    explicit TcpServer(QObject* parent = nullptr);
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

signals:
    void fileChanged(const QString& file, int rangeStart, int rangeEnd);
    void bookmarksFileChanged(const QString& file, int rangeStart, int rangeEnd);
    void frameChanged(int frame);
    void frameChangedRelative(int frame);
    void rangeStartChanged(int start);
    void rangeEndChanged(int end);

private slots:
    void createConnection();

private:
    void addConnection(QTcpSocket* socket);
    void readData(QTcpSocket* socket);
    // Forgets the connection that ended and deletes its socket, and only it.
    void breakConnection(QTcpSocket* socket);
    void closeOldestConnection();
    void execute(const RemoteCommand& command);

    QTcpServer* server = nullptr;
    QHash<QTcpSocket*, CommandStream> streams;
    // Open connections, oldest first.
    QList<QTcpSocket*> order;
};
