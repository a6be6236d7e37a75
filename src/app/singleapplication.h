#pragma once

#include <QApplication>
#include <QSharedMemory>
#include <QStringList>
#include <memory>

class QLockFile;
class QTimer;

// The application object, owner or user of the single-instance channel: a
// shared-memory block under a fixed key. The first instance owns it and polls
// it every 200 ms; later launches append their command line to it.
//
// A player that crashed leaves the block behind. Ownership is therefore held
// by a lock file beside it that names the owner's process: a launch that finds
// the block but no live owner takes the block over and becomes the owner.
class SingleApplication : public QApplication
{
    Q_OBJECT

public:
    static constexpr int pollInterval = 200; // milliseconds

    SingleApplication(int& argc, char** argv, const QString& uniqueKey);
    ~SingleApplication() override;

    // True when another live instance owned the channel at start-up.
    bool isRunning() const { return running; }

    // Appends the arguments after the program path as one record. Returns
    // false without writing when no other instance runs and force is false,
    // or when the channel cannot be written.
    bool sendMessage(const QStringList& arguments, bool force);

    bool event(QEvent* e) override;

signals:
    void messageAvailable(QStringList msg);

public slots:
    void checkForMessage();

private:
    bool becomeOwner();
    void startPolling();

    bool running = false;
    QSharedMemory sharedMemory;
    std::unique_ptr<QLockFile> ownerLock;
};
