#include "audiocache.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace {

// The drift threshold of the original design is a single-precision 0.01.
constexpr double DriftThreshold = double(0.01f);

int16_t scaled(int16_t sample, double volume)
{
    const double value = double(sample) * volume;
    return int16_t(std::clamp(value, -32768.0, 32767.0));
}

} // namespace

AudioCache::AudioCache() = default;

AudioCache::~AudioCache() = default;

bool AudioCache::insert(std::unique_ptr<AudioBuffer> buffer, double rate, double keepAfter)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (discardFlag)
        return true;
    dropOlderThan(keepAfter);
    total += buffer->sampleCount;
    end = buffer->time + (rate > 0.0 ? double(buffer->frames) / rate : 0.0);
    buffers.push_back(std::move(buffer));
    count = int(buffers.size());
    start = buffers.front()->time;
    return true;
}

void AudioCache::dropOlderThan(double keepAfter)
{
    while (!buffers.empty() && keepAfter > buffers.front()->time + 1.0) {
        total -= buffers.front()->sampleCount;
        buffers.pop_front();
        trimmedFlag = true;
        currentIndex = std::max(-1, currentIndex - 1);
        if (currentIndex < 0)
            framesRemaining = 0;
    }
}

void AudioCache::clear()
{
    std::deque<std::unique_ptr<AudioBuffer>> removed;
    {
        std::lock_guard<std::mutex> lock(mutex);
        removed.swap(buffers);
        count = 0;
        total = 0;
        start = 0.0;
        end = 0.0;
        completeFlag = false;
        trimmedFlag = false;
        currentIndex = -1;
        currentData = nullptr;
        currentSampleCount = 0;
        currentTime = 0.0;
        framesRemaining = 0;
        driftCount = 0;
        driftSum = 0.0;
        wakePending = true;
    }
    changed.notify_all();
}

void AudioCache::waitForChange(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return wakePending; });
    wakePending = false;
}

void AudioCache::wake()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        wakePending = true;
    }
    changed.notify_all();
}

void AudioCache::resetReadPosition()
{
    std::lock_guard<std::mutex> lock(mutex);
    framesRemaining = 0;
    currentIndex = -1;
}

void AudioCache::fillSilence(int16_t* out, int fromFrame, int wanted, int channels)
{
    if (wanted > fromFrame)
        std::memset(out + size_t(fromFrame) * channels, 0,
                    size_t(wanted - fromFrame) * channels * sizeof(int16_t));
}

int AudioCache::copyFrames(double& time, int16_t* out, int wanted, int channels, double rate)
{
    if (wanted <= 0 || channels <= 0 || !(rate > 0.0))
        return 0;
    std::lock_guard<std::mutex> lock(mutex);
    // The last buffer that starts at or before `time`, then those after it.
    auto it = std::upper_bound(buffers.begin(), buffers.end(), time,
                               [](double t, const std::unique_ptr<AudioBuffer>& b) { return t < b->time; });
    if (it != buffers.begin())
        --it;
    for (; it != buffers.end(); ++it) {
        const AudioBuffer& b = **it;
        const int offset = b.time < time ? int(std::lround((time - b.time) * rate)) : 0;
        if (offset >= b.frames)
            continue;
        const int frames = std::min(wanted, b.frames - offset);
        std::memcpy(out, b.samples.get() + size_t(offset) * channels,
                    size_t(frames) * channels * sizeof(int16_t));
        time = b.time + double(offset) / rate;
        return frames;
    }
    return 0;
}

int AudioCache::readFrames(int16_t* out, int wanted, int channels, double rate, double time, double volume)
{
    if (wanted <= 0 || channels <= 0)
        return std::max(0, wanted);
    if (!(rate > 0.0)) {
        fillSilence(out, 0, wanted, channels);
        return wanted;
    }
    int framesWritten = 0;
    std::lock_guard<std::mutex> lock(mutex);
    const int bufferTotal = int(buffers.size());
    for (;;) {
        if (framesRemaining > 0) {
            if (currentIndex < 0 || currentIndex >= bufferTotal) {
                framesRemaining = 0;
                continue;
            }
            const int frames = std::min(framesRemaining, wanted - framesWritten);
            const int16_t* from = currentData + (currentSampleCount - channels * framesRemaining);
            int16_t* to = out + size_t(framesWritten) * channels;
            const int samples = frames * channels;
            if (volume == 1.0) {
                std::memcpy(to, from, size_t(samples) * sizeof(int16_t));
            } else {
                for (int i = 0; i < samples; ++i)
                    to[i] = scaled(from[i], volume);
            }
            framesRemaining -= frames;
            framesWritten += frames;
            if (framesWritten == wanted)
                return wanted;
            continue;
        }
        // Move on to the buffer that covers the time of the next output frame.
        ++currentIndex;
        if (bufferTotal < 1 || currentIndex >= bufferTotal) {
            // Stay on the last buffer, so that the next read starts with the
            // first buffer inserted after it.
            currentIndex = bufferTotal - 1;
            fillSilence(out, framesWritten, wanted, channels);
            return wanted;
        }
        const double t = double(framesWritten) / rate + time;
        while (currentIndex + 1 < bufferTotal && buffers[size_t(currentIndex) + 1]->time <= t)
            ++currentIndex;
        const AudioBuffer& current = *buffers[size_t(currentIndex)];
        currentData = current.samples.get();
        currentSampleCount = current.sampleCount;
        currentTime = current.time;
        framesRemaining = std::min(current.frames, current.sampleCount / channels);

        // Drift correction: when the sound has fallen more than 10 ms behind
        // the clock, skip ahead inside the buffer.
        const double x = t - currentTime;
        if (x < DriftThreshold) {
            driftSum = 0.0;
            driftCount = 0;
            continue;
        }
        if (driftCount >= 1) {
            driftSum = 0.0;
            driftCount = 0;
        }
        ++driftCount;
        driftSum = driftSum * 0.01 + x;
        if (driftSum > DriftThreshold) {
            const int skip = int(rate * driftSum);
            framesRemaining = std::max(0, framesRemaining - skip);
        }
    }
}
