#include "firstpictureprobe.h"

#include <cmath>
#include <cstring>

namespace {

// NaN until the decoder gives a picture; then its time, or infinity for a
// picture without a timestamp.
double receivePicture(AVCodecContext* codec, AVFrame* picture, double timeBase,
                      std::optional<uint32_t>* gopTimecode)
{
    if (avcodec_receive_frame(codec, picture) < 0)
        return std::nan("");
    const int64_t timestamp = picture->best_effort_timestamp;
    const AVFrameSideData* group = av_frame_get_side_data(picture, AV_FRAME_DATA_GOP_TIMECODE);
    if (gopTimecode && group && group->size >= int(sizeof(int64_t))) {
        int64_t packed = 0;
        memcpy(&packed, group->data, sizeof(packed));
        *gopTimecode = uint32_t(packed);
    }
    av_frame_unref(picture);
    return timestamp != AV_NOPTS_VALUE ? double(timestamp) * timeBase : INFINITY;
}

double decode(AVCodecContext* codec, const AVPacket* packet, AVFrame* picture, double timeBase,
              std::optional<uint32_t>* gopTimecode)
{
    int sent = avcodec_send_packet(codec, packet);
    double time = receivePicture(codec, picture, timeBase, gopTimecode);
    // A decoder holding pictures takes the packet once one is out. A packet
    // it refuses otherwise is one it cannot decode: the probe goes on.
    if (sent == AVERROR(EAGAIN) && std::isnan(time)) {
        sent = avcodec_send_packet(codec, packet);
        time = receivePicture(codec, picture, timeBase, gopTimecode);
    }
    return time;
}

} // namespace

std::optional<double> FirstPictureProbe::find(AVFormatContext* context, int videoStreamIndex,
                                              AVCodecContext* codec, const std::atomic<bool>& abort,
                                              std::optional<uint32_t>* gopTimecode)
{
    if (!context || !codec || videoStreamIndex < 0 || videoStreamIndex >= int(context->nb_streams))
        return std::nullopt;
    const double timeBase = av_q2d(context->streams[videoStreamIndex]->time_base);
    PacketPtr packet(av_packet_alloc());
    FramePtr picture(av_frame_alloc());
    if (!packet || !picture)
        return std::nullopt;
    double time = std::nan("");
    int videoPackets = 0;
    for (int packets = 0;
         std::isnan(time) && !abort && packets < MaxPackets && videoPackets < MaxVideoPackets; ++packets) {
        if (av_read_frame(context, packet.get()) < 0) {
            // The end of the file: the pictures the decoder still holds.
            time = decode(codec, nullptr, picture.get(), timeBase, gopTimecode);
            break;
        }
        if (packet->stream_index == videoStreamIndex) {
            ++videoPackets;
            time = decode(codec, packet.get(), picture.get(), timeBase, gopTimecode);
        }
        av_packet_unref(packet.get());
    }
    avcodec_flush_buffers(codec);
    if (!std::isfinite(time))
        return std::nullopt;
    return time;
}
