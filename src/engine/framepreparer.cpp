#include "framepreparer.h"

#include <pthread.h>

FramePreparer::FramePreparer(int width, int height) : converter(width, height)
{
    worker = std::thread([this] { run(); });
}

FramePreparer::~FramePreparer()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    worker.join();
}

void FramePreparer::takeConverter(std::unique_lock<std::mutex>& lock)
{
    changed.wait(lock, [this] { return !converting; });
    converting = true;
}

QImage FramePreparer::image(const VideoFrame& frame)
{
    std::unique_lock<std::mutex> lock(mutex);
    // Being prepared right now: it is ready sooner than converted anew.
    changed.wait(lock, [&] { return !(converting && convertingTime == frame.time); });
    if (!ready.isNull() && readyTime == frame.time) {
        QImage prepared;
        prepared.swap(ready);
        return prepared;
    }
    takeConverter(lock);
    convertingTime = -1.0;
    lock.unlock();
    QImage converted = converter.toImage(frame);
    lock.lock();
    converting = false;
    lock.unlock();
    changed.notify_all();
    return converted;
}

void FramePreparer::prepare(const VideoFrame& frame)
{
    if (!frame.isValid())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const bool known = (converting && convertingTime == frame.time) ||
                           (!ready.isNull() && readyTime == frame.time) ||
                           (pending.isValid() && pending.time == frame.time);
        if (known)
            return;
        pending.picture.reset(av_frame_clone(frame.picture.get()));
        pending.time = frame.time;
    }
    changed.notify_all();
}

void FramePreparer::run()
{
    pthread_setname_np(pthread_self(), "orvel convert");
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return stopping || (pending.isValid() && !converting); });
        if (stopping)
            return;
        VideoFrame frame(std::move(pending.picture), pending.time);
        converting = true;
        convertingTime = frame.time;
        // The image it replaces goes back to the converter's reuse.
        ready = QImage();
        lock.unlock();
        QImage converted = converter.toImage(frame);
        frame.picture.reset();
        lock.lock();
        converting = false;
        convertingTime = -1.0;
        ready = converted;
        readyTime = frame.time;
        changed.notify_all();
    }
}
