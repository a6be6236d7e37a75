#include "audiobuffer.h"

#include <algorithm>

AudioBuffer::AudioBuffer(int frameCount, int channels, double startTime)
    : samples(new int16_t[size_t(std::max(0, frameCount)) * size_t(std::max(0, channels))]()),
      sampleCount(std::max(0, frameCount) * std::max(0, channels)), frames(std::max(0, frameCount)),
      time(startTime)
{
}
