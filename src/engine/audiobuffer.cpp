#include "audiobuffer.h"

#include <algorithm>

AudioBuffer::AudioBuffer(int frameCount, int channelCount, double startTime)
    : samples(new int16_t[size_t(std::max(0, frameCount)) * size_t(std::max(0, channelCount))]()),
      sampleCount(std::max(0, frameCount) * std::max(0, channelCount)), frames(std::max(0, frameCount)),
      channels(std::max(0, channelCount)), time(startTime)
{
}

void AudioBuffer::truncate(int kept)
{
    frames = std::clamp(kept, 0, frames);
    sampleCount = frames * channels;
}
