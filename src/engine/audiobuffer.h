#pragma once

#include <cstdint>
#include <memory>

// One decoded audio frame after conversion: interleaved signed 16-bit samples
// with the output channel count, and the media time of its first sample.
class AudioBuffer
{
public:
    AudioBuffer(int frames, int channels, double time);

    std::unique_ptr<int16_t[]> samples; // zero-initialised, frames x channels
    int sampleCount = 0;                // frames x channels
    int frames = 0;                     // sample frames
    double time = 0.0;                  // seconds of media time
};
