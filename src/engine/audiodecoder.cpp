#include "audiodecoder.h"

#include "mediasource.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

#include <algorithm>
#include <cmath>

AudioDecoder::AudioDecoder(MediaSource* mediaSource)
    : source(mediaSource), codec(mediaSource->audioCodecContext.get()), packet(av_packet_alloc()),
      frame(av_frame_alloc())
{
    outputChannels = std::max(1, source->outputChannels.load());
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
    if (outputChannels < in.nb_channels)
        av_channel_layout_default(&out, outputChannels);
    else
        av_channel_layout_copy(&out, &in);
    const int rate = frame && frame->sample_rate > 0 ? frame->sample_rate : codec->sample_rate;

    SwrContext* context = nullptr;
    int result = swr_alloc_set_opts2(&context, &out, AV_SAMPLE_FMT_S16, rate, &in, format, rate, 0, nullptr);
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
}

int AudioDecoder::drain()
{
    if (avcodec_send_packet(codec, nullptr) < 0)
        return 0;
    return std::max(0, receiveFrames());
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
    auto buffer = std::make_unique<AudioBuffer>(frame->nb_samples, outputChannels, audioClock);
    if (frame->format != resamplerFormat || frame->ch_layout.nb_channels != resamplerChannels ||
        frame->sample_rate != resamplerRate)
        resamplerInitialised = prepareResampler();
    if (resamplerInitialised) {
        uint8_t* out[1] = {reinterpret_cast<uint8_t*>(buffer->samples.get())};
        swr_convert(resampler.get(), out, frame->nb_samples,
                    const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    } else {
        convertByHand(*buffer);
    }
    // Sound is kept from a second before the cached pictures on; without
    // pictures, from a second before the clock.
    const double keepAfter = source->videoStreamIndex >= 0
                                 ? source->videoCache.rangeStart() - source->videoDelay
                                 : source->playbackTime(false);
    source->audioCache.insert(std::move(buffer), source->audioSampleRate, keepAfter);
}

void AudioDecoder::convertByHand(AudioBuffer& buffer) const
{
    // Input channels in turn, keeping those below the output channel count.
    const auto format = AVSampleFormat(frame->format);
    const bool planar = av_sample_fmt_is_planar(format);
    const AVSampleFormat packed = av_get_packed_sample_fmt(format);
    const int channels = frame->ch_layout.nb_channels;
    const int kept = std::min(channels, outputChannels);
    const int bytes = av_get_bytes_per_sample(format);
    for (int i = 0; i < frame->nb_samples; ++i) {
        for (int c = 0; c < kept; ++c) {
            const uint8_t* plane = planar ? frame->extended_data[c] : frame->extended_data[0];
            const size_t index = planar ? size_t(i) : size_t(i) * channels + c;
            const uint8_t* at = plane + index * bytes;
            int value = 0;
            switch (packed) {
            case AV_SAMPLE_FMT_U8:
                value = int(*at) * 256 - 32768;
                break;
            case AV_SAMPLE_FMT_S16:
                value = *reinterpret_cast<const int16_t*>(at);
                break;
            case AV_SAMPLE_FMT_S32:
                value = *reinterpret_cast<const int32_t*>(at) >> 16;
                break;
            case AV_SAMPLE_FMT_FLT:
                value = int(std::clamp(*reinterpret_cast<const float*>(at), -1.0f, 1.0f) * 32767.0f);
                break;
            default:
                value = 0;
                break;
            }
            buffer.samples[size_t(i) * outputChannels + c] = int16_t(value);
        }
    }
}
