#include "framepreparer.h"

#include <pthread.h>

struct FramePreparer::SharedConverter
{
    SharedConverter(int width, int height) : converter(width, height) {}

    std::mutex mutex;
    FrameConverter converter;
};

namespace {

// One frame's full-size image, converted by the first caller. Guarded by
// the mutex of the converter that converts it.
struct LazyFileImage
{
    explicit LazyFileImage(VideoFrame source) : frame(std::move(source)) {}

    VideoFrame frame;
    QImage image;
};

} // namespace

FramePreparer::FramePreparer(int frameWidth, int frameHeight)
    : width(frameWidth), height(frameHeight), converter(frameWidth, frameHeight),
      fileConverter(std::make_shared<SharedConverter>(frameWidth, frameHeight))
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

QSize FramePreparer::sizeFor(const QSize& wanted) const
{
    return wanted.isEmpty() ? fileSize() : wanted;
}

void FramePreparer::takeConverter(std::unique_lock<std::mutex>& lock)
{
    changed.wait(lock, [this] { return !converting; });
    converting = true;
}

QImage FramePreparer::image(const VideoFrame& frame, const QSize& wanted)
{
    const QSize size = sizeFor(wanted);
    std::unique_lock<std::mutex> lock(mutex);
    // Being prepared right now: it is ready sooner than converted anew.
    changed.wait(lock,
                 [&] { return !(converting && convertingTime == frame.time && convertingSize == size); });
    if (!ready.isNull() && readyTime == frame.time && ready.size() == size) {
        QImage prepared;
        prepared.swap(ready);
        return prepared;
    }
    takeConverter(lock);
    convertingTime = -1.0;
    lock.unlock();
    QImage converted = converter.toImage(frame, size);
    lock.lock();
    converting = false;
    lock.unlock();
    changed.notify_all();
    return converted;
}

void FramePreparer::prepare(const VideoFrame& frame, const QSize& wanted)
{
    if (!frame.isValid())
        return;
    const QSize size = sizeFor(wanted);
    {
        std::lock_guard<std::mutex> lock(mutex);
        const bool known = (converting && convertingTime == frame.time && convertingSize == size) ||
                           (!ready.isNull() && readyTime == frame.time && ready.size() == size) ||
                           (pending.isValid() && pending.time == frame.time && pendingSize == size);
        if (known)
            return;
        pending.picture.reset(av_frame_clone(frame.picture.get()));
        pending.time = frame.time;
        pendingSize = size;
    }
    changed.notify_all();
}

std::function<QImage()> FramePreparer::fileImage(const VideoFrame& frame, const QImage& shown) const
{
    if (shown.size() == fileSize() || !frame.isValid())
        return [shown] { return shown; };
    auto lazy = std::make_shared<LazyFileImage>(
        VideoFrame(FramePtr(av_frame_clone(frame.picture.get())), frame.time));
    return [lazy, shared = fileConverter] {
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (lazy->image.isNull() && lazy->frame.isValid()) {
            lazy->image = shared->converter.toImage(lazy->frame);
            lazy->frame.picture.reset();
        }
        return lazy->image;
    };
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
        const QSize size = pendingSize;
        converting = true;
        convertingTime = frame.time;
        convertingSize = size;
        // The image it replaces goes back to the converter's reuse.
        ready = QImage();
        lock.unlock();
        QImage converted = converter.toImage(frame, size);
        frame.picture.reset();
        lock.lock();
        converting = false;
        convertingTime = -1.0;
        ready = converted;
        readyTime = frame.time;
        changed.notify_all();
    }
}
