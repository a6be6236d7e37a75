#include "audiodecoder.h"

#include "mediasource.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libavutil/samplefmt.h>
}

#include <algorithm>
#include <cmath>

namespace {

int16_t toInt16(AVSampleFormat packedFormat, const uint8_t* at)
{
    const auto clamped = [](double value) { return int16_t(std::clamp(value, -1.0, 1.0) * 32767.0); };
    switch (packedFormat) {
    case AV_SAMPLE_FMT_U8:
        return int16_t(int(*at) * 256 - 32768);
    case AV_SAMPLE_FMT_S16:
        return *reinterpret_cast<const int16_t*>(at);
    case AV_SAMPLE_FMT_S32:
        return int16_t(*reinterpret_cast<const int32_t*>(at) >> 16);
    case AV_SAMPLE_FMT_S64:
        return int16_t(*reinterpret_cast<const int64_t*>(at) >> 48);
    case AV_SAMPLE_FMT_FLT:
        return clamped(*reinterpret_cast<const float*>(at));
    case AV_SAMPLE_FMT_DBL:
        return clamped(*reinterpret_cast<const double*>(at));
    default:
        return 0;
    }
}

} // namespace

AudioDecoder::AudioDecoder(MediaSource* mediaSource)
    : source(mediaSource), codec(mediaSource->audioCodecContext.get()), packet(av_packet_alloc()),
      frame(av_frame_alloc())
{
    outputChannels = std::max(1, source->outputChannels.load());
    outputRate = source->outputSampleRate > 0 ? source->outputSampleRate.load() : source->audioSampleRate;
    if (source->audioStream)
        timeBase = av_q2d(source->audioStream->time_base);
    if (codec)
        resamplerInitialised = prepareResampler();
}

AudioDecoder::~AudioDecoder() = default;

bool AudioDecoder::prepareResampler()
{
    const AVSampleFormat format =
        frame && frame->format >= 0 ? AVSampleFormat(frame->format) : codec->sample_fmt;
    AVChannelLayout in{};
    const AVChannelLayout& announced =
        frame && frame->ch_layout.nb_channels > 0 ? frame->ch_layout : codec->ch_layout;
    if (announced.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&in, announced.nb_channels);
    else if (av_channel_layout_copy(&in, &announced) < 0)
        return false;
    AVChannelLayout out{};
    if (outputChannels != in.nb_channels)
        av_channel_layout_default(&out, outputChannels);
    else
        av_channel_layout_copy(&out, &in);
    const int rate = frame && frame->sample_rate > 0 ? frame->sample_rate : codec->sample_rate;

    SwrContext* context = nullptr;
    int result =
        swr_alloc_set_opts2(&context, &out, AV_SAMPLE_FMT_S16, outputRate, &in, format, rate, 0, nullptr);
    resampler.reset(context);
    resamplerFormat = format;
    resamplerChannels = in.nb_channels;
    resamplerRate = rate;
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    if (result < 0 || !resampler)
        return false;
    return swr_init(resampler.get()) >= 0;
}

int AudioDecoder::decodeNext(int waitMs)
{
    if (!codec || !packet || !frame)
        return -1;
    if (source->audioPackets.pop(packet.get(), waitMs) < 0)
        return 0;
    if (PacketQueue::isFlush(packet.get())) {
        av_packet_unref(packet.get());
        flush();
        return 0;
    }
    if (PacketQueue::isEndOfStream(packet.get())) {
        av_packet_unref(packet.get());
        return drain();
    }
    return decodePacket();
}

void AudioDecoder::flush()
{
    source->audioCache.setDiscarding(false);
    audioClock = 0.0;
    avcodec_flush_buffers(codec);
    // What the resampler still holds belongs to the sound before the seek.
    if (resampler)
        resamplerInitialised = prepareResampler();
}

int AudioDecoder::drain()
{
    int frames = 0;
    if (avcodec_send_packet(codec, nullptr) >= 0)
        frames = std::max(0, receiveFrames());
    source->audioCache.setComplete();
    return frames;
}

int AudioDecoder::decodePacket()
{
    if (packet->pts != AV_NOPTS_VALUE)
        audioClock = double(packet->pts) * timeBase - source->timeOffset;
    int frames = 0;
    int result = avcodec_send_packet(codec, packet.get());
    while (result == AVERROR(EAGAIN) && !source->aborting) {
        frames += std::max(0, receiveFrames());
        result = avcodec_send_packet(codec, packet.get());
    }
    av_packet_unref(packet.get());
    if (result < 0)
        return -1;
    return frames + std::max(0, receiveFrames());
}

int AudioDecoder::receiveFrames()
{
    int frames = 0;
    while (!source->aborting) {
        if (avcodec_receive_frame(codec, frame.get()) < 0)
            break;
        if (frame->nb_samples > 0) {
            timeFrame();
            convertAndStore();
            audioClock += double(frame->nb_samples) / std::max(1, frame->sample_rate);
            frames += frame->nb_samples;
        }
        av_frame_unref(frame.get());
    }
    return frames;
}

void AudioDecoder::timeFrame()
{
    const int64_t timestamp =
        frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
    if (timestamp != AV_NOPTS_VALUE)
        audioClock = double(timestamp) * timeBase - source->timeOffset;
}

void AudioDecoder::convertAndStore()
{
    if (frame->format != resamplerFormat || frame->ch_layout.nb_channels != resamplerChannels ||
        frame->sample_rate != resamplerRate)
        resamplerInitialised = prepareResampler();
    std::unique_ptr<AudioBuffer> buffer = resamplerInitialised ? resample() : convertByHand();
    if (buffer->frames > 0)
        source->audioCache.insert(std::move(buffer), outputRate, keepAfter());
}

std::unique_ptr<AudioBuffer> AudioDecoder::resample()
{
    // With a rate conversion the resampler holds some input back: what comes
    // out first is that, so the buffer starts that much earlier.
    const int inputRate = std::max(1, frame->sample_rate);
    const int64_t held = swr_get_delay(resampler.get(), inputRate);
    const int room = int(av_rescale_rnd(held + frame->nb_samples, outputRate, inputRate, AV_ROUND_UP));
    auto buffer = std::make_unique<AudioBuffer>(room, outputChannels, audioClock - double(held) / inputRate);
    uint8_t* out[1] = {reinterpret_cast<uint8_t*>(buffer->samples.get())};
    const int made = swr_convert(resampler.get(), out, room,
                                 const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    buffer->truncate(made);
    return buffer;
}

std::unique_ptr<AudioBuffer> AudioDecoder::convertByHand() const
{
    // Input channels in turn, keeping those below the output channel count;
    // another rate by taking the nearest earlier sample.
    const auto format = AVSampleFormat(frame->format);
    const bool planar = av_sample_fmt_is_planar(format);
    const AVSampleFormat packed = av_get_packed_sample_fmt(format);
    const int channels = frame->ch_layout.nb_channels;
    const int kept = std::min(channels, outputChannels);
    const int bytes = av_get_bytes_per_sample(format);
    const int inputRate = frame->sample_rate > 0 ? frame->sample_rate : outputRate;
    const int frames = int(int64_t(frame->nb_samples) * outputRate / inputRate);
    auto buffer = std::make_unique<AudioBuffer>(frames, outputChannels, audioClock);
    for (int j = 0; j < frames; ++j) {
        const int i = int(int64_t(j) * inputRate / outputRate);
        for (int c = 0; c < kept; ++c) {
            const uint8_t* plane = planar ? frame->extended_data[c] : frame->extended_data[0];
            const size_t index = planar ? size_t(i) : size_t(i) * channels + c;
            buffer->samples[size_t(j) * outputChannels + c] = toInt16(packed, plane + index * bytes);
        }
    }
    return buffer;
}

double AudioDecoder::keepAfter() const
{
    // Sound is kept from a second before the cached pictures on, but never
    // more than a bounded span behind the clock; without pictures, from a
    // second before the clock.
    const double clock = source->playbackTime(false);
    if (source->videoStreamIndex < 0)
        return clock;
    return std::max(source->videoCache.rangeStart() - source->videoDelay, clock - KeptBehindSeconds);
}
