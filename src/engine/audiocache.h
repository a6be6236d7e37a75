#pragma once

#include "audiobuffer.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

// Decoded audio in time order, written by the audio decoder and read by the
// sound card callback at the playback clock.
//
// Rates are sample frames per second of media time: the output rate for the
// decoded sound, the output rate divided by the speed for time-stretched
// sound. Each insertion lets go of the buffers that start more than a second
// before the given keep-after time. readFrames plays by media time: it starts
// at the buffer that covers the requested time and, whenever it moves on to
// another buffer, jumps ahead inside it if the sound has fallen more than
// 10 ms behind the clock.
class AudioCache
{
public:
    AudioCache();
    ~AudioCache();
    AudioCache(const AudioCache&) = delete;
    AudioCache& operator=(const AudioCache&) = delete;

    // Always true. A buffer inserted while discarding is dropped.
    bool insert(std::unique_ptr<AudioBuffer> buffer, double rate, double keepAfter);
    // Empties the cache and wakes a waitForChange.
    void clear();
    // Restarts the read position so that the next read looks the clock up
    // again. Called from the callback thread only.
    void resetReadPosition();
    // Writes exactly `wanted` interleaved frames of `channels` samples: the
    // audio at `time` onwards scaled by `volume` (clipped at full scale), and
    // silence where the cache has none. Returns `wanted`.
    int readFrames(int16_t* out, int wanted, int channels, double rate, double time, double volume);
    // Copies up to `wanted` frames from media time `time` on, out of the one
    // buffer that holds that time (or the next one, when `time` falls in a
    // gap between two). Sets `time` to the time of the first frame copied and
    // returns the frames copied: 0 when the cache holds nothing from `time` on.
    int copyFrames(double& time, int16_t* out, int wanted, int channels, double rate);

    // Read by the controller for display, without the lock.
    int totalSamples() const { return total.load(); }
    int bufferCount() const { return count.load(); }
    double startTime() const { return start.load(); }
    // The media time just after the newest buffer.
    double endTime() const { return end.load(); }
    // Whether sound has been let go of at the front since the last clear():
    // then nothing before startTime() is left.
    bool trimmed() const { return trimmedFlag.load(); }

    bool discarding() const { return discardFlag.load(); }
    void setDiscarding(bool discard) { discardFlag = discard; }
    // Set once the decoder has given the last sound of the stream, until the
    // next clear(): no more buffers are coming.
    bool complete() const { return completeFlag.load(); }
    void setComplete() { completeFlag = true; }

    // Sleeps until wake() or clear() is called, or at most `timeoutMs`. A
    // wake-up that came since the last wait ends the next one at once.
    void waitForChange(int timeoutMs);
    void wake();

private:
    void fillSilence(int16_t* out, int fromFrame, int wanted, int channels);
    void dropOlderThan(double keepAfter);

    std::mutex mutex;
    std::condition_variable changed;
    bool wakePending = false;
    std::deque<std::unique_ptr<AudioBuffer>> buffers;
    std::atomic<int> count{0};
    std::atomic<int> total{0};
    std::atomic<double> start{0.0};
    std::atomic<double> end{0.0};
    std::atomic<bool> discardFlag{false};
    std::atomic<bool> completeFlag{false};
    std::atomic<bool> trimmedFlag{false};
    // The read position of the callback, guarded by the mutex.
    int currentIndex = -1;
    const int16_t* currentData = nullptr;
    int currentSampleCount = 0;
    double currentTime = 0.0;
    int framesRemaining = 0;
    int driftCount = 0;
    double driftSum = 0.0;
};
