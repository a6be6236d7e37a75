#include "reverseplayer.h"

#include "fileseeker.h"
#include "mediasource.h"

#include <algorithm>
#include <cmath>

namespace {

// A time just inside a frame, as the window's seek times are.
constexpr double InsideFrame = 0.0001;
constexpr int SmallestChunk = 8;

} // namespace

void ReversePlayer::start(MediaSource* media, int shownIndex, double playSpeed, int64_t nowUs)
{
    source = media;
    rate = media->frameRate > 0.0 ? media->frameRate : 25.0;
    speed = playSpeed > 0.0 ? playSpeed : 1.0;
    lastShown = shownIndex;
    anchorIndex = shownIndex;
    anchorUs = nowUs;
    // The cached frames run without a gap up to the playhead, whether the
    // decoder went forwards to it or was sent back from it.
    const int earliest = earliestCachedIndex();
    requestedDownTo = earliest >= 0 ? std::min(earliest, shownIndex) : shownIndex;
    completedDownTo = requestedDownTo;
    nextChunk = std::clamp(shownIndex - requestedDownTo, SmallestChunk, std::max(SmallestChunk, largestChunk()));
    pending.reset();
    pendingOvershot = false;
}

void ReversePlayer::stop()
{
    source = nullptr;
    pending.reset();
}

void ReversePlayer::setSpeed(double playSpeed, int64_t nowUs)
{
    if (!(playSpeed > 0.0))
        return;
    speed = playSpeed;
    anchorIndex = lastShown;
    anchorUs = nowUs;
}

// Half the frames the cache keeps before the playhead: one chunk plays while
// the next is decoded.
int ReversePlayer::largestChunk() const
{
    return std::max(1, (source->videoCache.trailing() - 2) / 2);
}

std::optional<ReversePlayer::Fill> ReversePlayer::nextFill()
{
    if (!source)
        return std::nullopt;
    if (pending) {
        if (pendingOvershot) {
            pendingOvershot = false;
            pending->margin = std::max(FileSeeker::Margin, 2 * pending->margin);
            return pending;
        }
        if (!source->fillDone)
            return std::nullopt;
        completedDownTo = pendingStart;
        pending.reset();
    }
    if (requestedDownTo <= 0)
        return std::nullopt;
    const int chunk = std::min(nextChunk, largestChunk());
    nextChunk = chunk + chunk / 2;
    const int from = std::max(0, requestedDownTo - chunk);
    Fill fill;
    fill.start = timeOf(from);
    // Half a frame before the first cached one: rounded timestamps still
    // fall on the right side.
    fill.end = (requestedDownTo - 0.5) / rate;
    pending = fill;
    pendingStart = from;
    requestedDownTo = from;
    return fill;
}

void ReversePlayer::fillOvershot()
{
    if (pending)
        pendingOvershot = true;
}

void ReversePlayer::fillFailed()
{
    if (!pending)
        return;
    completedDownTo = pendingStart;
    pending.reset();
    pendingOvershot = false;
}

int ReversePlayer::frameDue(int64_t nowUs)
{
    if (!source || lastShown <= 0)
        return -1;
    const double elapsedFrames = double(nowUs - anchorUs) / frameMicroseconds();
    const int dueIndex = anchorIndex - int(std::floor(elapsedFrames));
    if (dueIndex >= lastShown)
        return -1;
    const int wanted = speed > 1.0 ? std::max(dueIndex, 0) : lastShown - 1;
    const int cached = cachedIndexAt(wanted);
    if (cached == wanted)
        return wanted;
    // A frame the decoder has been through without delivering it (a damaged
    // picture) is passed over.
    if (cached >= 0 && wanted >= completedDownTo)
        return cached;
    return -1;
}

void ReversePlayer::shown(int index, int64_t nowUs)
{
    // Late by more than a frame: the frames after it are timed from it.
    const double dueUs = double(anchorUs) + (anchorIndex - index) * frameMicroseconds();
    if (double(nowUs) - dueUs > frameMicroseconds()) {
        anchorIndex = index;
        anchorUs = nowUs;
    }
    lastShown = index;
}

double ReversePlayer::frameMicroseconds() const
{
    return 1e6 / (speed * rate);
}

int ReversePlayer::earliestCachedIndex() const
{
    const VideoFrameCache& cache = source->videoCache;
    return cache.usedSlots() > 0 ? indexOf(cache.rangeStart()) : -1;
}

int ReversePlayer::cachedIndexAt(int index) const
{
    VideoFrameCache& cache = source->videoCache;
    std::lock_guard<std::mutex> lock(cache.mutex);
    const VideoFrame* frame = cache.frameAt(timeOf(index));
    if (!frame)
        return -1;
    const int found = indexOf(frame->time);
    return found <= index ? found : -1;
}

double ReversePlayer::timeOf(int index) const
{
    return index / rate + InsideFrame;
}

int ReversePlayer::indexOf(double time) const
{
    return int((time + VideoFrameCache::lookupTolerance(1.0 / rate)) * rate);
}
