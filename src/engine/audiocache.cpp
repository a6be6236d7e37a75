#include "audiocache.h"

#include <algorithm>
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

bool AudioCache::insert(std::unique_ptr<AudioBuffer> buffer, int sampleRate, double keepAfter)
{
    std::unique_ptr<AudioBuffer> dropped;
    std::lock_guard<std::mutex> lock(mutex);
    if (discardFlag)
        return true;
    if (!buffers.empty() && keepAfter > buffers.front()->time + 1.0) {
        dropped = std::move(buffers.front());
        buffers.pop_front();
        total -= dropped->sampleCount;
        currentIndex = std::max(-1, currentIndex - 1);
        if (currentIndex < 0)
            framesRemaining = 0;
    }
    total += buffer->sampleCount;
    end = buffer->time + (sampleRate > 0 ? double(buffer->frames) / sampleRate : 0.0);
    buffers.push_back(std::move(buffer));
    count = int(buffers.size());
    start = buffers.front()->time;
    return true;
}

void AudioCache::clear()
{
    std::deque<std::unique_ptr<AudioBuffer>> removed;
    std::lock_guard<std::mutex> lock(mutex);
    removed.swap(buffers);
    count = 0;
    total = 0;
    start = 0.0;
    end = 0.0;
    currentIndex = -1;
    currentData = nullptr;
    currentSampleCount = 0;
    currentTime = 0.0;
    framesRemaining = 0;
    driftCount = 0;
    driftSum = 0.0;
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

int AudioCache::readFrames(int16_t* out, int wanted, int channels, int sampleRate, double time, double volume)
{
    if (wanted <= 0 || channels <= 0)
        return std::max(0, wanted);
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
        const double t = double(framesWritten) / sampleRate + time;
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
            const int skip = int(sampleRate * driftSum);
            framesRemaining = std::max(0, framesRemaining - skip);
        }
    }
}
