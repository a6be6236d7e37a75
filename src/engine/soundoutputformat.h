#pragma once

#include <portaudio.h>
#include <vector>

// A sample rate and channel count to open the sound output at, and the
// choice of them for a clip: devices do not take every format (a card may
// run at 48 kHz only, a plug-in device may refuse to convert), so the output
// is opened at the first format the device takes and the decoder converts
// the clip's sound to it.
class SoundOutputFormat
{
public:
    SoundOutputFormat(int sampleRate, int channels) : sampleRate(sampleRate), channels(channels) {}

    // Every format worth trying, best first: the clip's channel count (as far
    // as the device has channels), then stereo, then mono, each at the clip's
    // own rate, then at 48 kHz, then at 44.1 kHz.
    // They are tried by opening the stream: asking the device first
    // (Pa_IsFormatSupported) costs as much as an open, seconds with some
    // ALSA plug-ins, and a device can be wrong about it either way.
    static std::vector<SoundOutputFormat> candidates(int clipRate, int clipChannels, int deviceChannels);

    // 16-bit interleaved output on the device at its low latency.
    PaStreamParameters parameters(PaDeviceIndex device) const;

    bool operator==(const SoundOutputFormat& other) const
    {
        return sampleRate == other.sampleRate && channels == other.channels;
    }

    int sampleRate;
    int channels;
};
