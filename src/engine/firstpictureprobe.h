#pragma once

#include "avholders.h"

#include <atomic>
#include <optional>

// Finds where a clip's pictures begin: the time of the first picture its
// decoder gives. That is not always the time of the first packet: a clip cut
// from a longer recording without re-encoding starts inside a group of
// pictures, whose first packets cannot be decoded, and the leading pictures
// of an open group are dropped by the decoder.
class FirstPictureProbe
{
public:
    // Reads packets from where the demuxer stands and decodes those of the
    // video stream with `codec` until a picture comes out (or `abort` is
    // set, or the limits below are reached). Returns the picture's time in
    // seconds of container time. The codec is flushed afterwards; the
    // demuxer is left where the reading stopped. The time code of the
    // picture's group (MPEG-2 writes one into each group header), as the
    // header packs it, goes to gopTimecode when given and present.
    static std::optional<double> find(AVFormatContext* context, int videoStreamIndex, AVCodecContext* codec,
                                      const std::atomic<bool>& abort,
                                      std::optional<uint32_t>* gopTimecode = nullptr);

    // How far the probe reads at most: a long group of pictures at a high
    // frame rate, with its sound.
    static constexpr int MaxVideoPackets = 600;
    static constexpr int MaxPackets = 6000;
};
