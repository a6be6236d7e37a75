#include "framepreparer.h"

extern "C" {
#include <libavutil/imgutils.h>
}

#include <algorithm>
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

// Pictures are told apart by their time and size.
auto isJobFor(const VideoFrame& frame, const QSize& size)
{
    return [&frame, &size](const auto& job) { return job.frame.time == frame.time && job.size == size; };
}

auto isImageOf(const VideoFrame& frame, const QSize& size)
{
    return [&frame, &size](const auto& prepared) {
        return prepared.time == frame.time && prepared.image.size() == size;
    };
}

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

bool FramePreparer::converts(const VideoFrame& frame, const QSize& size) const
{
    return converting && convertingTime == frame.time && convertingSize == size;
}

bool FramePreparer::isPrepared(const VideoFrame& frame, const QSize& size) const
{
    return std::any_of(ready.begin(), ready.end(), isImageOf(frame, size));
}

bool FramePreparer::isPending(const VideoFrame& frame, const QSize& size) const
{
    return std::any_of(pending.begin(), pending.end(), isJobFor(frame, size));
}

QImage FramePreparer::takePrepared(const VideoFrame& frame, const QSize& size)
{
    const auto prepared = std::find_if(ready.begin(), ready.end(), isImageOf(frame, size));
    if (prepared == ready.end())
        return QImage();
    QImage image = std::move(prepared->image);
    ready.erase(prepared);
    return image;
}

QImage FramePreparer::image(const VideoFrame& frame, const QSize& wanted)
{
    const QSize size = sizeFor(wanted);
    std::unique_lock<std::mutex> lock(mutex);
    lastSize = size;
    // Being prepared right now: it is ready sooner than converted anew.
    changed.wait(lock, [&] { return !converts(frame, size); });
    QImage prepared = takePrepared(frame, size);
    if (!prepared.isNull())
        return prepared;
    // Converted here: the worker need not any more.
    pending.erase(std::remove_if(pending.begin(), pending.end(), isJobFor(frame, size)), pending.end());
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
    std::lock_guard<std::mutex> lock(mutex);
    if (converts(frame, size) || isPrepared(frame, size) || isPending(frame, size))
        return;
    pending.push_back(Job{VideoFrame(FramePtr(av_frame_clone(frame.picture.get())), frame.time), size});
    while (pending.size() > size_t(Ahead))
        pending.pop_front();
}

void FramePreparer::startPreparing()
{
    changed.notify_all();
}

void FramePreparer::prepareNow(const VideoFrame& frame)
{
    std::unique_lock<std::mutex> lock(mutex);
    const QSize size = lastSize;
    if (size.isEmpty() || converts(frame, size) || isPrepared(frame, size))
        return;
    pending.erase(std::remove_if(pending.begin(), pending.end(), isJobFor(frame, size)), pending.end());
    takeConverter(lock);
    convertTaken(lock, frame, size, true);
    lock.unlock();
    changed.notify_all();
}

void FramePreparer::convertTaken(std::unique_lock<std::mutex>& lock, const VideoFrame& frame,
                                 const QSize& size, bool keep)
{
    convertingTime = frame.time;
    convertingSize = size;
    // The image it replaces goes back to the converter's reuse.
    if (keep && ready.size() >= size_t(Ahead))
        ready.pop_front();
    lock.unlock();
    QImage converted = converter.toImage(frame, size);
    lock.lock();
    converting = false;
    convertingTime = -1.0;
    if (keep)
        ready.push_back(Prepared{converted, frame.time});
}

void FramePreparer::warmUp(AVPixelFormat format, const AVCodecParameters* colour, const QSize& wanted)
{
    FramePtr black(av_frame_alloc());
    if (!black || !colour)
        return;
    black->format = format;
    black->width = width;
    black->height = height;
    black->color_range = colour->color_range;
    black->colorspace = colour->color_space;
    black->color_primaries = colour->color_primaries;
    black->color_trc = colour->color_trc;
    if (av_frame_get_buffer(black.get(), 0) < 0)
        return;
    const ptrdiff_t lines[4] = {black->linesize[0], black->linesize[1], black->linesize[2],
                                black->linesize[3]};
    if (av_image_fill_black(black->data, lines, format, colour->color_range, width, height) < 0)
        return;
    {
        std::lock_guard<std::mutex> lock(mutex);
        pending.push_back(Job{VideoFrame(std::move(black), -1.0), sizeFor(wanted), true});
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
        changed.wait(lock, [this] { return stopping || (!pending.empty() && !converting); });
        if (stopping)
            return;
        Job job = std::move(pending.front());
        pending.pop_front();
        converting = true;
        convertTaken(lock, job.frame, job.size, !job.warmUp);
        changed.notify_all();
        if (job.warmUp) {
            // The images of the frames shown next, off the converter.
            lock.unlock();
            FrameConverter::reserveImages(job.size);
            lock.lock();
        }
    }
}
