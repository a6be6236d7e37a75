#include "singleapplication.h"

#include "instancechannel.h"
#include "instancelistener.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QLockFile>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

// Of the time a launch waits, what is left for the owner's answer to travel:
// the owner takes no message later than this before the launch stops waiting.
constexpr int answerTravelMs = 300;
// Pause between attempts to reach an owner that is not listening yet.
constexpr int retryIntervalMs = 20;

// The name a process runs under, as the kernel reports it (at most 15 characters).
QString processName(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}

// True when the lock file names a process that no longer runs (or whose
// process id now belongs to another program).
bool ownerIsGone(const QLockFile& lock)
{
    qint64 pid = 0;
    QString host;
    QString app;
    if (!lock.getLockInfo(&pid, &host, &app))
        return false;
    if (pid <= 0)
        return true;
    if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
        return true;
    const QString running = processName(pid);
    return !running.isEmpty() && !app.isEmpty() && running != app.left(running.size());
}

} // namespace

SingleApplication::SingleApplication(int& argc, char** argv, const QString& uniqueKey)
    : QApplication(argc, argv), serverName(QStringLiteral("%1-%2").arg(uniqueKey).arg(getuid()))
{
    ownerLock = std::make_unique<QLockFile>(QDir::tempPath() + QLatin1Char('/') + serverName +
                                            QStringLiteral(".owner.lock"));
    // The lock tells a live owner from one that crashed. An owner holds it
    // for hours, so its age never makes it stale.
    ownerLock->setStaleLockTime(0);
    // Launches that stop waiting leave nothing to their owner after it quits.
    connect(this, &QCoreApplication::aboutToQuit, this, &SingleApplication::stopListening);
    if (takeOwnership())
        startListening();
    else
        running = true;
}

SingleApplication::~SingleApplication()
{
    stopListening();
}

bool SingleApplication::takeOwnership()
{
    if (ownerLock->tryLock(0))
        return true;
    return ownerIsGone(*ownerLock) && ownerLock->removeStaleLockFile() && ownerLock->tryLock(0);
}

void SingleApplication::startListening()
{
    running = false;
    listener = new InstanceListener(serverName);
    listener->moveToThread(&listenerThread);
    connect(&listenerThread, &QThread::finished, listener, &QObject::deleteLater);
    connect(listener, &InstanceListener::messageReceived, this, &SingleApplication::receive);
    connect(listener, &InstanceListener::messageRefused, this, &SingleApplication::messageRefused);
    listenerThread.start();
    bool listening = false;
    QMetaObject::invokeMethod(listener, &InstanceListener::listen, Qt::BlockingQueuedConnection, &listening);
    if (!listening) {
        fprintf(stderr, "WARNING: other launches cannot reach this player: %s\n",
                qPrintable(listener->errorString()));
    }
}

void SingleApplication::stopListening()
{
    if (!listenerThread.isRunning())
        return;
    QMetaObject::invokeMethod(listener, &InstanceListener::close, Qt::BlockingQueuedConnection);
    listenerThread.quit();
    listenerThread.wait();
    listener = nullptr;
}

SingleApplication::HandOver SingleApplication::handOver(const QStringList& arguments)
{
    const qint64 deadline = InstanceChannel::clockNow() + handOverTimeout - answerTravelMs;
    const QByteArray message = InstanceChannel::encode({arguments, deadline});
    if (message.isEmpty()) {
        fprintf(stderr, "ERROR: the command line is too long to hand over to the running player\n");
        return HandOver::NoAnswer;
    }
    const auto remaining = [deadline](int grace) {
        return int(qMax<qint64>(0, deadline + grace - InstanceChannel::clockNow()));
    };
    while (remaining(0) > 0) {
        QLocalSocket socket;
        socket.connectToServer(serverName);
        if (socket.waitForConnected(remaining(0))) {
            socket.write(message);
            QByteArray answer;
            while (!answer.contains('\n') && socket.waitForReadyRead(remaining(answerTravelMs)))
                answer += socket.readAll();
            answer += socket.readAll();
            if (answer == InstanceChannel::acknowledgement)
                return HandOver::Delivered;
            if (socket.state() == QLocalSocket::ConnectedState)
                break; // connected, and no answer: the owner is stopped or hangs
        }
        // Nobody listens, or the owner closed on us: it is starting, leaving
        // or gone.
        if (takeOwnership()) {
            startListening();
            return HandOver::BecameOwner;
        }
        QThread::msleep(retryIntervalMs);
    }
    qint64 pid = 0;
    QString host;
    QString app;
    ownerLock->getLockInfo(&pid, &host, &app);
    fprintf(stderr,
            "ERROR: the running player (process %lld) did not confirm the hand-over within %d ms; "
            "nothing was opened\n",
            pid, handOverTimeout);
    return HandOver::NoAnswer;
}

void SingleApplication::startDeliveringMessages()
{
    delivering = true;
    const QList<QStringList> waiting = held;
    held.clear();
    for (const QStringList& arguments : waiting)
        emit messageAvailable(arguments);
}

void SingleApplication::receive(const QStringList& arguments)
{
    if (delivering)
        emit messageAvailable(arguments);
    else
        held << arguments;
}

bool SingleApplication::event(QEvent* e)
{
    return QApplication::event(e);
}
