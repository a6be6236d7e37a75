#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

// The running player's end of the single-instance channel: a local socket,
// readable by its user only, on which later launches hand over their
// arguments (see InstanceChannel).
//
// It is meant to live on a thread of its own: a launch gets its confirmation
// as soon as its message is in, even while the window is still being built
// or its thread is busy, and the message itself reaches the application's
// thread through the queued messageReceived signal. A message that arrives
// after its sender stopped waiting is not confirmed and not delivered.
class InstanceListener : public QObject
{
    Q_OBJECT

public:
    explicit InstanceListener(const QString& serverName, QObject* parent = nullptr);

    // Listens, replacing a socket a crashed owner left behind; only the
    // owner of the channel's lock may call it. Returns false, and sets
    // errorString(), when the socket cannot be had.
    Q_INVOKABLE bool listen();
    Q_INVOKABLE void close();
    QString errorString() const { return error; }

signals:
    void messageReceived(const QStringList& arguments);
    // A message that came too late or could not be read.
    void messageRefused(const QString& reason);

private:
    void addConnection();
    void readFrom(QLocalSocket* socket);

    QString name;
    QString error;
    QLocalServer* server = nullptr;
    QHash<QLocalSocket*, QByteArray> buffers;
};
