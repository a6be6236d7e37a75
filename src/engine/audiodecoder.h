#pragma once

#include "audiobuffer.h"
#include "avholders.h"

#include <memory>

class MediaSource;

// The decoding state of one media's audio stream: pops packets from the
// source's audio queue, decodes them (send/receive), converts every frame to
// interleaved signed 16-bit at the output's rate and channel count and
// stores it in the audio cache with its media time.
//
// The audio clock is the frame's own timestamp (less the source's time
// offset) where it has one; otherwise it advances by nb_samples / sample rate
// from the previous frame.
class AudioDecoder
{
public:
    // How much decoded sound the cache keeps behind the clock at most, beyond
    // what the cached pictures need (seconds of media time).
    static constexpr double KeptBehindSeconds = 20.0;

    explicit AudioDecoder(MediaSource* source);
    ~AudioDecoder();
    AudioDecoder(const AudioDecoder&) = delete;
    AudioDecoder& operator=(const AudioDecoder&) = delete;

    // Decodes the next packet: the sample frames it gave (0 for an empty
    // queue, a marker or a packet without output), -1 when decoding failed.
    int decodeNext(int waitMs = 1);

    // swresample converts; false when its set-up failed and the hand
    // conversion is used instead.
    bool resamplerReady() const { return resamplerInitialised; }

private:
    void flush();
    int drain();
    int decodePacket();
    int receiveFrames();
    void timeFrame();
    void convertAndStore();
    bool prepareResampler();
    std::unique_ptr<AudioBuffer> resample();
    std::unique_ptr<AudioBuffer> convertByHand() const;
    double keepAfter() const;

    MediaSource* source;
    AVCodecContext* codec;
    PacketPtr packet;
    FramePtr frame;
    ResamplerPtr resampler;
    bool resamplerInitialised = false;
    // What the resampler was made for.
    int resamplerFormat = -1;
    int resamplerChannels = 0;
    int resamplerRate = 0;
    int outputChannels = 2;
    int outputRate = 0;
    double timeBase = 0.0;
    double audioClock = 0.0;
};
