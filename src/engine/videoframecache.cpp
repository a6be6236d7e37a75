#include "videoframecache.h"

#include <algorithm>
#include <chrono>

VideoFrameCache::VideoFrameCache() = default;

VideoFrameCache::~VideoFrameCache() = default;

double VideoFrameCache::lookupTolerance(double frameDuration)
{
    return frameDuration > 0.0 ? std::min(0.001, frameDuration / 4) : 0.001;
}

int64_t VideoFrameCache::bytesHeldOutside(int64_t decodedBytes, int decoderThreads, int width, int height)
{
    // The pictures a decoder refers to: H.264's level limits keep a 4K
    // picture buffer at five; on their way to the cache, the decoder's output
    // and the reader's hand-over.
    constexpr int References = 5;
    constexpr int InTransit = 2;
    // The preparer's current and next image, the one shown and its drawn copy.
    constexpr int Images = 4;
    const int decoded = std::max(decoderThreads, 1) + References + InTransit;
    return decoded * decodedBytes + Images * int64_t(width) * height * 4;
}

void VideoFrameCache::configure(int64_t cacheSize, int64_t frameBytes, float trailingPct)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        const int64_t budget = std::max(cacheSize, MinimumCacheBytes);
        const int64_t perFrame = std::max<int64_t>(1, frameBytes);
        const int capacity =
            int(std::clamp<int64_t>(int64_t(budget * 0.99) / perFrame, MinimumFrames, INT32_MAX));
        int trailing = int(float(capacity) * trailingPct);
        if (capacity - trailing < 2)
            trailing = capacity - 2;
        capacityFrames = capacity;
        trailingFrames = trailing;
    }
    reset();
}

void VideoFrameCache::reset(Frames* released)
{
    Frames removed;
    {
        std::lock_guard<std::mutex> lock(mutex);
        removed.swap(frames);
        used = 0;
        current = -1;
        bytes = 0;
        start = 0.0;
        end = 0.0;
    }
    changed.notify_all();
    if (released)
        *released = std::move(removed);
    // Otherwise let go of outside the lock: the decoder may insert meanwhile.
}

void VideoFrameCache::setDiscarding(bool discard)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        discardFlag = discard;
    }
    changed.notify_all();
}

void VideoFrameCache::setAbortFlag(const std::atomic<bool>* aborting)
{
    std::lock_guard<std::mutex> lock(mutex);
    abortFlag = aborting;
}

void VideoFrameCache::wake()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++wakes;
    }
    changed.notify_all();
}

void VideoFrameCache::setBackward(bool backward)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        backwardFlag = backward;
    }
    changed.notify_all();
}

bool VideoFrameCache::evictionDue() const
{
    if (frames.empty())
        return false;
    if (backwardFlag)
        return current >= 0 && int(frames.size()) - 1 - current > capacityFrames - trailingFrames;
    return current > trailingFrames.load();
}

void VideoFrameCache::evictBehind()
{
    if (backwardFlag)
        evictNewest();
    else
        evictOldest();
}

void VideoFrameCache::evictNewest()
{
    bytes -= frames.back()->byteCount;
    frames.pop_back();
    used = int(frames.size());
    if (!frames.empty())
        end = frames.back()->time + lastFrameDuration - tolerance;
}

int VideoFrameCache::countStartingBy(double limit) const
{
    auto after = std::upper_bound(frames.begin(), frames.end(), limit,
                                  [](double t, const std::unique_ptr<VideoFrame>& f) { return t < f->time; });
    return int(after - frames.begin());
}

bool VideoFrameCache::isCached(double time) const
{
    const int count = countStartingBy(time + tolerance);
    return count > 0 && frames[size_t(count - 1)]->time > time - tolerance;
}

void VideoFrameCache::evictOldest()
{
    bytes -= frames.front()->byteCount;
    frames.pop_front();
    used = int(frames.size());
    --current;
}

void VideoFrameCache::place(std::unique_ptr<VideoFrame>& frame, double frameDuration)
{
    bytes += frame->byteCount;
    // Nearly always the newest: it goes at the end.
    auto at = frames.end();
    if (!frames.empty() && frame->time < frames.back()->time) {
        at = std::upper_bound(frames.begin(), frames.end(), frame->time,
                              [](double t, const std::unique_ptr<VideoFrame>& f) { return t < f->time; });
        if (current >= 0 && int(at - frames.begin()) <= current)
            ++current;
    }
    frames.insert(at, std::move(frame));
    used = int(frames.size());
    start = frames.front()->time;
    // The range ends one frame duration after the last frame, less the lookup
    // tolerance: the next picture may start up to that much later (rounded
    // timestamps), and a time in that gap must not count as cached before
    // the picture is there.
    tolerance = lookupTolerance(frameDuration);
    lastFrameDuration = frameDuration;
    end = frames.back()->time + frameDuration - tolerance;
}

bool VideoFrameCache::insert(std::unique_ptr<VideoFrame>& frame, double frameDuration, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex);
    // Tested under the lock: a frame decoded before a seek must not slip in
    // between the reader's reset and the decoder's flush.
    if (discardFlag) {
        lock.unlock();
        frame.reset();
        return true;
    }
    // Played backwards, a picture after all the cached ones is behind the
    // playhead: once enough are, it is not kept. A picture decoded a second
    // time (a backward fill, a seek that decoded its way again) is kept once.
    const bool newest = !frames.empty() && frame->time > frames.back()->time;
    if (isCached(frame->time) || (backwardFlag && newest && evictionDue())) {
        lock.unlock();
        frame.reset();
        return true;
    }
    if (evictionDue())
        evictBehind();
    const unsigned wakesBefore = wakes;
    auto placeOrInterrupt = [&] {
        return int(frames.size()) < capacityFrames.load() || evictionDue() || discardFlag.load() ||
               (abortFlag && abortFlag->load()) || wakes != wakesBefore;
    };
    if (!placeOrInterrupt()) {
        changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), placeOrInterrupt);
        if (discardFlag) {
            lock.unlock();
            frame.reset();
            return true;
        }
        if (int(frames.size()) >= capacityFrames.load() && evictionDue())
            evictBehind();
        if (int(frames.size()) >= capacityFrames.load())
            return false;
    }
    place(frame, frameDuration);
    return true;
}

VideoFrame* VideoFrameCache::frameAt(double time)
{
    if (frames.empty()) {
        current = -1;
        return nullptr;
    }
    const int index = std::max(0, countStartingBy(time + tolerance) - 1);
    const bool evictionWasDue = evictionDue();
    current = index;
    if (!evictionWasDue && evictionDue())
        changed.notify_all();
    return frames[size_t(index)].get();
}

bool VideoFrameCache::holds(double time) const
{
    const int count = countStartingBy(time + tolerance);
    return count > 0 && time < frames[size_t(count - 1)]->time + lastFrameDuration;
}

VideoFrame* VideoFrameCache::frame(int index) const
{
    if (index < 0 || index >= int(frames.size()))
        return nullptr;
    return frames[size_t(index)].get();
}

void VideoFrameCache::markEndOfStream(double duration)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (frames.empty())
        return;
    end = duration;
    start = frames.front()->time;
}
