#pragma once

#include <cstdint>

// Finds the tone of the test clips' audio (scripts/make-test-clips.sh): in
// second k of media time the clips play a sine of 250 + 250 k Hz.
namespace ToneDetector {

// The strongest frequency between 100 Hz and 4000 Hz, in steps of 25 Hz, of
// one channel of interleaved 16-bit samples; 0 when the samples are silent.
double dominantFrequency(const int16_t* samples, int frames, int channels, int channel, int sampleRate);

// The second of media time whose tone the samples carry, or -1 when they are
// silent or carry no tone of the ladder (within 60 Hz).
int secondOfTone(const int16_t* samples, int frames, int channels, int channel, int sampleRate);

// The frequency of the tone of second k.
double toneOfSecond(int second);

} // namespace ToneDetector
