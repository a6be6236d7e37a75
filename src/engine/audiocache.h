#pragma once

#include "audiobuffer.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

// Decoded audio in time order, written by the audio decoder and read by the
// sound card callback at the playback clock.
//
// The cache keeps audio from about one second before the cached video range
// on: each insertion drops at most the oldest buffer once it starts more than
// a second before the given keep-after time. readFrames plays by media time:
// it starts at the buffer that covers the requested time and, whenever it
// moves on to another buffer, jumps ahead inside it if the sound has fallen
// more than 10 ms behind the clock.
class AudioCache
{
public:
    AudioCache();
    ~AudioCache();
    AudioCache(const AudioCache&) = delete;
    AudioCache& operator=(const AudioCache&) = delete;

    // Always true. A buffer inserted while discarding is dropped.
    bool insert(std::unique_ptr<AudioBuffer> buffer, int sampleRate, double keepAfter);
    void clear();
    // Restarts the read position so that the next read looks the clock up
    // again. Called from the callback thread only.
    void resetReadPosition();
    // Writes exactly `wanted` interleaved frames of `channels` samples: the
    // audio at `time` onwards scaled by `volume`, and silence where the cache
    // has none. Returns `wanted`.
    int readFrames(int16_t* out, int wanted, int channels, int sampleRate, double time, double volume);

    // Read by the controller for display, without the lock.
    int totalSamples() const { return total.load(); }
    int bufferCount() const { return count.load(); }
    double startTime() const { return start.load(); }
    // The media time just after the newest buffer.
    double endTime() const { return end.load(); }

    bool discarding() const { return discardFlag.load(); }
    void setDiscarding(bool discard) { discardFlag = discard; }

private:
    void fillSilence(int16_t* out, int fromFrame, int wanted, int channels);

    std::mutex mutex;
    std::deque<std::unique_ptr<AudioBuffer>> buffers;
    std::atomic<int> count{0};
    std::atomic<int> total{0};
    std::atomic<double> start{0.0};
    std::atomic<double> end{0.0};
    std::atomic<bool> discardFlag{false};
    // The read position of the callback, guarded by the mutex.
    int currentIndex = -1;
    const int16_t* currentData = nullptr;
    int currentSampleCount = 0;
    double currentTime = 0.0;
    int framesRemaining = 0;
    int driftCount = 0;
    double driftSum = 0.0;
};
