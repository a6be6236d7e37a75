#pragma once

#include <cstdint>
#include <memory>

// One decoded audio frame after conversion: interleaved signed 16-bit samples
// with the output channel count, and the media time of its first sample.
class AudioBuffer
{
public:
    AudioBuffer(int frames, int channels, double time);

    // Keeps only the first `kept` frames (a conversion gave fewer than the
    // room made for it).
    void truncate(int kept);

    std::unique_ptr<int16_t[]> samples; // zero-initialised, frames x channels
    int sampleCount = 0;                // frames x channels
    int frames = 0;                     // sample frames
    int channels = 0;
    double time = 0.0;                  // seconds of media time
};
