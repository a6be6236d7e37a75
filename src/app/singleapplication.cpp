#include "singleapplication.h"

#include "instancechannel.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstdio>

namespace {

QString lockFilePath(const QString& key)
{
    return QDir::tempPath() + QLatin1Char('/') + key + QStringLiteral(".owner.lock");
}

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
    : QApplication(argc, argv), ownerLock(std::make_unique<QLockFile>(lockFilePath(uniqueKey)))
{
    sharedMemory.setKey(uniqueKey);
    // The lock tells a live owner from a block that a crashed one left behind.
    // An owner holds it for hours, so its age never makes it stale.
    ownerLock->setStaleLockTime(0);
    bool owner = ownerLock->tryLock(0);
    if (!owner && ownerIsGone(*ownerLock) && ownerLock->removeStaleLockFile())
        owner = ownerLock->tryLock(0);
    if (owner) {
        if (becomeOwner()) {
            startPolling();
            return;
        }
        fprintf(stderr, "ERROR: cannot create the single-instance channel: %s\n",
                qPrintable(sharedMemory.errorString()));
        return;
    }
    running = sharedMemory.attach(QSharedMemory::ReadWrite);
    if (!running) {
        // An owner holds the lock but its block is gone: run as a player of
        // our own without a channel.
        fprintf(stderr, "WARNING: cannot reach the running player: %s\n",
                qPrintable(sharedMemory.errorString()));
    }
}

SingleApplication::~SingleApplication()
{
    if (sharedMemory.isAttached())
        sharedMemory.detach();
}

bool SingleApplication::becomeOwner()
{
    bool created = sharedMemory.create(InstanceChannel::segmentSize, QSharedMemory::ReadWrite);
    if (!created) {
        // Left by a player that died: its lock was stale, so the block is ours.
        if (sharedMemory.error() != QSharedMemory::AlreadyExists ||
            !sharedMemory.attach(QSharedMemory::ReadWrite))
            return false;
        if (sharedMemory.size() < InstanceChannel::segmentSize) {
            sharedMemory.detach();
            return false;
        }
    }
    sharedMemory.lock();
    InstanceChannel::clear(static_cast<char*>(sharedMemory.data()), InstanceChannel::segmentSize);
    sharedMemory.unlock();
    running = false;
    return true;
}

void SingleApplication::startPolling()
{
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &SingleApplication::checkForMessage);
    timer->start(pollInterval);
}

bool SingleApplication::sendMessage(const QStringList& arguments, bool force)
{
    if (!running && !force)
        return false;
    if (!sharedMemory.isAttached())
        return false;
    const QByteArray payload = InstanceChannel::payloadFor(arguments).toUtf8();
    sharedMemory.lock();
    const bool written = InstanceChannel::append(static_cast<char*>(sharedMemory.data()),
                                                 InstanceChannel::segmentSize, payload);
    sharedMemory.unlock();
    if (!written)
        fprintf(stderr, "ERROR: the command line is too long to hand over (%d bytes)\n", int(payload.size()));
    return written;
}

void SingleApplication::checkForMessage()
{
    if (!sharedMemory.isAttached())
        return;
    sharedMemory.lock();
    const QString text =
        InstanceChannel::takeLast(static_cast<char*>(sharedMemory.data()), InstanceChannel::segmentSize);
    sharedMemory.unlock();
    const QStringList list = InstanceChannel::argumentsOf(text);
    if (!list.isEmpty())
        emit messageAvailable(list);
}

bool SingleApplication::event(QEvent* e)
{
    return QApplication::event(e);
}
