#pragma once

#include <QApplication>
#include <QStringList>
#include <QThread>
#include <memory>

class InstanceListener;
class QLockFile;

// The application object, owner or user of the single-instance channel (see
// InstanceChannel). The first launch takes a lock file that names its process
// and listens on a local socket; a later launch hands its arguments over that
// socket and waits, a bounded time, for the owner to confirm them. Lock file
// and socket live in the temporary folder under a name that includes the
// user's id, so that each user has a channel of their own.
//
// A player that crashed leaves both behind: a launch that finds the lock held
// by no live process takes it over and becomes the owner.
class SingleApplication : public QApplication
{
    Q_OBJECT

public:
    // How long a launch waits for the owner's confirmation, in milliseconds.
    static constexpr int handOverTimeout = 2000;

    enum class HandOver
    {
        Delivered,
        NoAnswer,    // said so on the standard error stream
        BecameOwner, // the owner went away meanwhile: this launch owns the channel now
    };

    SingleApplication(int& argc, char** argv, const QString& uniqueKey);
    ~SingleApplication() override;

    // True when another live instance owned the channel at start-up (and
    // still does unless handOver() returned BecameOwner).
    bool isRunning() const { return running; }

    // Hands the arguments to the owner and waits for its confirmation, at
    // most handOverTimeout.
    HandOver handOver(const QStringList& arguments);

    // Messages from later launches are held until this is called, so that
    // none arrives before its receiver is connected.
    void startDeliveringMessages();

    bool event(QEvent* e) override;

signals:
    void messageAvailable(QStringList msg);
    // A message that came too late or could not be read.
    void messageRefused(const QString& reason);

private:
    bool takeOwnership();
    void startListening();
    void stopListening();
    void receive(const QStringList& arguments);

    QString serverName;
    bool running = false;
    bool delivering = false;
    QList<QStringList> held;
    std::unique_ptr<QLockFile> ownerLock;
    QThread listenerThread;
    InstanceListener* listener = nullptr;
};
