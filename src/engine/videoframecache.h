#pragma once

#include "videoframe.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

// The decoded pictures around the playhead, in time order.
//
// The cache is a window that slides with the playhead: while nothing has been
// looked up it fills to `capacity` and then waits; once frames are looked up
// with frameAt, each insertion pushes out the oldest frame as soon as more
// than `trailing` frames lie behind the current one, so at least
// `capacity - trailing` (never fewer than 2) frames lie ahead. A frame is put
// in its place by time, so frames older than the cached ones (pictures
// decoded backwards from the playhead) join the trailing part. A frame whose
// time is cached already is not stored twice.
//
// Played backwards (setBackward), the window slides the other way: the
// frames after the current one are behind the playhead, and the newest go
// once more than `capacity - trailing` of them are cached, so that the
// trailing share lies before it, where the playhead goes next.
//
// Locking: every member is guarded by `mutex`. frameAt and frame() expect
// the caller to hold it (the controller keeps it while it copies the
// picture); every other member function takes it itself. The counters read
// for display (usedSlots, byteTotal, the range) are also readable without it.
class VideoFrameCache
{
public:
    using Frames = std::deque<std::unique_ptr<VideoFrame>>;

    static constexpr int64_t MinimumCacheBytes = 256000000;
    // However large the pictures, the cache holds this many, past the budget.
    static constexpr int MinimumFrames = 2;

    // How far after a time a picture may start and still count as the picture
    // of that time: millisecond-rounded timestamps (Matroska, WebM) put a
    // picture up to half a millisecond after its exact time. A quarter frame
    // at most, so that very high frame rates stay exact.
    static double lookupTolerance(double frameDuration);

    VideoFrameCache();
    ~VideoFrameCache();
    VideoFrameCache(const VideoFrameCache&) = delete;
    VideoFrameCache& operator=(const VideoFrameCache&) = delete;

    // Bytes of the pictures that a playing clip keeps outside the cache, which
    // the same budget pays for: those the decoder holds (one per thread, its
    // references and the ones on their way to the cache, each
    // `decodedBytes`) and the 32-bit images of a `width` x `height` frame
    // being prepared, shown and drawn.
    static int64_t bytesHeldOutside(int64_t decodedBytes, int decoderThreads, int width, int height);
    // Sizes the cache for frames of `frameBytes` within `cacheSize` bytes
    // (at least MinimumCacheBytes, and MinimumFrames frames whatever their
    // size) and empties it.
    void configure(int64_t cacheSize, int64_t frameBytes, float trailingPct);
    // Empties the cache at once. The pictures go back to the buffer pools
    // they came from, to be filled again: now, or when the caller lets go of
    // `released`, which takes them when given.
    void reset(Frames* released = nullptr);
    // Stores the frame (taking it out of `frame`) and returns true; a frame
    // inserted while discarding is deleted and also counts as stored. Returns
    // false, leaving `frame` as it was, when no place became free within the
    // time-out, the abort flag is set or a wake came first.
    bool insert(std::unique_ptr<VideoFrame>& frame, double frameDuration, int timeoutMs = 1);
    // The last frame that starts at or before `time` (within the lookup
    // tolerance of the frame duration given to insert),
    // the first frame for earlier times, null when empty. Caller holds mutex.
    VideoFrame* frameAt(double time);
    // Whether the picture of `time` is cached: the last frame that starts at
    // or before it (within the lookup tolerance) lasts until then. Pictures
    // the decoder passed over while catching up with the clock leave gaps
    // inside the cached range. Caller holds mutex.
    bool holds(double time) const;
    // Frame i in time order, null out of range. Caller holds mutex.
    VideoFrame* frame(int index) const;
    // After the last picture: the range ends at the media's duration.
    void markEndOfStream(double duration);

    int usedSlots() const { return used.load(); }
    int freeSlots() const { return capacity() - usedSlots(); }
    int capacity() const { return capacityFrames.load(); }
    int trailing() const { return trailingFrames.load(); }
    int64_t byteTotal() const { return bytes.load(); }
    double rangeStart() const { return start.load(); }
    double rangeEnd() const { return end.load(); }
    // Index of the frame last returned by frameAt, -1 = none. Caller holds mutex.
    int currentIndex() const { return current; }

    // Which way the playhead moves, and so which frames go first.
    void setBackward(bool backward);
    bool backward() const { return backwardFlag.load(); }

    bool discarding() const { return discardFlag.load(); }
    void setDiscarding(bool discard);

    // The flag that ends a waiting insert (the media's `aborting`).
    void setAbortFlag(const std::atomic<bool>* aborting);
    // Ends a waiting insert, which returns false for its caller to look at
    // its own flags (a seek's request, which is not the cache's).
    void wake();

    std::mutex mutex;

private:
    bool evictionDue() const;
    void evictOldest();
    void evictNewest();
    void evictBehind();
    bool isCached(double time) const;
    // How many frames start at or before `limit`.
    int countStartingBy(double limit) const;
    void place(std::unique_ptr<VideoFrame>& frame, double frameDuration);

    std::condition_variable changed;
    Frames frames;
    std::atomic<int> used{0};
    std::atomic<int> capacityFrames{176};
    std::atomic<int> trailingFrames{123};
    std::atomic<int64_t> bytes{0};
    std::atomic<double> start{0.0};
    std::atomic<double> end{0.0};
    double tolerance = 0.001;
    double lastFrameDuration = 0.0;
    std::atomic<bool> backwardFlag{false};
    std::atomic<bool> discardFlag{false};
    const std::atomic<bool>* abortFlag = nullptr;
    unsigned wakes = 0;
    int current = -1;
};
