#include "seekreference.h"

extern "C" {
#include <libavutil/time.h>
}

#include <algorithm>
#include <cmath>

SeekReference::SeekReference(const QString& path)
{
    if (!open(path))
        close();
}

SeekReference::~SeekReference()
{
    close();
}

bool SeekReference::open(const QString& path)
{
    if (avformat_open_input(&format, path.toLocal8Bit().constData(), nullptr, nullptr) < 0)
        return false;
    if (avformat_find_stream_info(format, nullptr) < 0)
        return false;
    const AVCodec* decoder = nullptr;
    streamIndex = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (streamIndex < 0 || !decoder)
        return false;
    const AVStream* stream = format->streams[streamIndex];
    timeBase = stream->time_base;
    firstTimestamp = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    const AVRational frameRate = stream->avg_frame_rate.num ? stream->avg_frame_rate : stream->r_frame_rate;
    rate = frameRate.num && frameRate.den ? av_q2d(frameRate) : 25.0;
    indexKeyFrames();

    codec = avcodec_alloc_context3(decoder);
    if (!codec || avcodec_parameters_to_context(codec, stream->codecpar) < 0)
        return false;
    codec->pkt_timebase = timeBase;
    // The player's threads: as many as the machine has cores, frames and slices.
    codec->thread_count = 0;
    codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(codec, decoder, nullptr) < 0)
        return false;
    packet = av_packet_alloc();
    frame = av_frame_alloc();
    rgb.resize(size_t(codec->width) * size_t(codec->height) * 4);
    return packet && frame;
}

void SeekReference::indexKeyFrames()
{
    AVPacket* probe = av_packet_alloc();
    while (probe && av_read_frame(format, probe) >= 0) {
        if (probe->stream_index == streamIndex && (probe->flags & AV_PKT_FLAG_KEY) &&
            probe->pts != AV_NOPTS_VALUE) {
            const double seconds = double(probe->pts - firstTimestamp) * av_q2d(timeBase);
            keys.push_back(int(std::lround(seconds * rate)));
        }
        av_packet_unref(probe);
    }
    av_packet_free(&probe);
    std::sort(keys.begin(), keys.end());
}

void SeekReference::close()
{
    sws_freeContext(scaler);
    scaler = nullptr;
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
}

double SeekReference::seekTo(int index, bool skipNonReference)
{
    if (!isOpen())
        return -1.0;
    const int64_t target = firstTimestamp + int64_t(std::llround(index / rate / av_q2d(timeBase)));
    const int64_t start = av_gettime_relative();
    if (avformat_seek_file(format, streamIndex, INT64_MIN, target, target, 0) < 0)
        return -1.0;
    avcodec_flush_buffers(codec);
    if (!decodeUntil(target, skipNonReference) || !convert())
        return -1.0;
    return double(av_gettime_relative() - start) / 1000.0;
}

bool SeekReference::decodeUntil(int64_t target, bool skipNonReference)
{
    // Half a frame early still counts as the target (rounded timestamps).
    const int64_t earliest = target - int64_t(0.5 / rate / av_q2d(timeBase));
    const auto receive = [&] {
        while (avcodec_receive_frame(codec, frame) >= 0) {
            if (frame->best_effort_timestamp >= earliest)
                return true;
            av_frame_unref(frame);
        }
        return false;
    };
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index != streamIndex) {
            av_packet_unref(packet);
            continue;
        }
        const bool before = packet->pts != AV_NOPTS_VALUE && packet->pts < earliest;
        codec->skip_frame = skipNonReference && before ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
        // A decoder that holds pictures takes the packet once they are out.
        while (avcodec_send_packet(codec, packet) == AVERROR(EAGAIN)) {
            if (receive()) {
                av_packet_unref(packet);
                return true;
            }
        }
        av_packet_unref(packet);
        if (receive())
            return true;
    }
    avcodec_send_packet(codec, nullptr);
    return receive();
}

bool SeekReference::convert()
{
    scaler =
        sws_getCachedContext(scaler, frame->width, frame->height, AVPixelFormat(frame->format), codec->width,
                             codec->height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!scaler)
        return false;
    uint8_t* planes[4] = {rgb.data(), nullptr, nullptr, nullptr};
    int strides[4] = {codec->width * 4, 0, 0, 0};
    sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
    av_frame_unref(frame);
    return true;
}
