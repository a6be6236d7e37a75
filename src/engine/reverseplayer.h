#pragma once

#include <cstdint>
#include <optional>

class MediaSource;

// Plays the video of a MediaSource backwards: says which frame is due and
// which pictures the decoder is to add to the cache before the playhead.
//
// The decoder only goes forwards from a key frame, so the pictures before
// the playhead are decoded in chunks (backward fills, SeekMark::fillEnd),
// each ending where the cached pictures begin, while the cached ones are
// shown. The next chunk is asked for as soon as the last is done: the cache,
// turned backwards, holds the decoder back while it is full. A chunk's
// pictures come oldest first, so the one needed next comes last: the first
// chunk is no larger than what is cached before the playhead already, and
// each one after grows by half up to half of what the cache keeps before
// the playhead, so that the trips back to a key frame become rarer.
//
// At the normal speed and slower every frame is shown, in descending order:
// with no sound to keep pace with, a frame that is late (its chunk still
// being decoded) holds the playhead rather than being skipped, and the frames
// after it are timed from it. Faster, the frame of the clock is shown and
// those in between are passed over.
//
// Frame indexes are 0-based, from the frames' own times. Lives in the GUI
// thread; reads the cache under its mutex.
class ReversePlayer
{
public:
    struct Fill
    {
        double start = 0.0;  // time of the first picture wanted
        double end = 0.0;    // where the pictures already cached begin
        double margin = 0.0; // how far before `start` the reader lands at least
    };

    // Starts from the frame on screen.
    void start(MediaSource* media, int shownIndex, double speed, int64_t nowUs);
    void stop();
    bool active() const { return source != nullptr; }
    void setSpeed(double speed, int64_t nowUs);

    // The chunk to ask the reader for now: none while the last one is being
    // decoded or the start of the clip is cached.
    std::optional<Fill> nextFill();
    // The reader landed after the last chunk's first picture: it is asked
    // for again from further back.
    void fillOvershot();
    // The reader could not seek for the last chunk: what it lacks is passed over.
    void fillFailed();

    // The frame to show now, -1 while none is due or its picture is still
    // to come.
    int frameDue(int64_t nowUs);
    void shown(int index, int64_t nowUs);
    // The first frame is on screen: there is nothing further back.
    bool atStart() const { return lastShown <= 0; }

private:
    int largestChunk() const;
    int earliestCachedIndex() const;
    // The cached frame shown at frame `index`: its index, -1 when the
    // cached ones all lie after it.
    int cachedIndexAt(int index) const;
    double timeOf(int index) const;
    int indexOf(double time) const;
    double frameMicroseconds() const;

    MediaSource* source = nullptr;
    double rate = 25.0;
    double speed = 1.0;
    int lastShown = 0;
    // The clock: frame `anchorIndex` was due at `anchorUs`.
    int anchorIndex = 0;
    int64_t anchorUs = 0;
    // Frames from here on are cached or asked for; from `completedDownTo`
    // on, the decoder has been through them.
    int requestedDownTo = 0;
    int completedDownTo = 0;
    int nextChunk = 0;
    std::optional<Fill> pending;
    int pendingStart = 0;
    bool pendingOvershot = false;
};
