#pragma once

#include <QObject>
#include <atomic>

// Lives on a worker thread and confirms, when asked through a queued call,
// that the worker has handled every call queued to it before: queued calls
// to one thread run in the order they were made. The controller uses it to
// know when a manager has let go of the media.
//
// The confirmation also publishes the worker's work through `fence` (release
// there, acquire where the confirmation arrives), an ordering that Qt's own
// event queue gives as well but that a race detector cannot see through it.
class WorkerProbe : public QObject
{
    Q_OBJECT

public:
    explicit WorkerProbe(std::atomic<int>* fence, QObject* parent = nullptr);

    // Queues a confirmation behind everything queued to the probe's thread.
    void request();
    // Publishes what the calling thread did so far to the probe's thread,
    // for the calls queued to it from now on.
    void handOver();

signals:
    void confirmed();

private slots:
    void confirm();
    void takeOver();

private:
    std::atomic<int>* fence;
};
