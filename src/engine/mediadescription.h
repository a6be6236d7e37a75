#pragma once

#include "avholders.h"
#include "colourdescription.h"

#include <QString>

// What the media information shows of a clip's streams, read by the reader
// when it opens the file. Texts are empty for a stream the clip does not have.
class MediaDescription
{
public:
    // From the opened decoders (either may be null).
    static MediaDescription of(const AVStream* video, const AVCodecContext* videoCodec, const AVStream* audio,
                               const AVCodecContext* audioCodec);
    // The file's start time code: the video stream's own "timecode" tag
    // (QuickTime copies its tmcd track there), else that of another stream
    // (a tmcd or MXF data track), else the container's (the MXF material
    // package).
    static QString startTimecodeOf(const AVFormatContext* context, const AVStream* video);
    // "01:00:00:00" of a time code packed as an MPEG-2 group header holds it.
    static QString groupTimecodeText(uint32_t packed);

    // "H.264, High 10 profile"
    QString videoCodec;
    // "yuv420p10le, 10 bits"
    QString pixelFormat;
    // The stream's own description, before any picture was decoded.
    ColourDescription colour;
    // "Progressive", "Top field first", ...
    QString fieldOrder;

    // The start time code the file gives ("01:00:00:00", "00:59:59;28" for
    // drop-frame), empty when it has none.
    QString startTimecode;

    // "AAC (Advanced Audio Coding), LC profile"
    QString audioCodec;
    // "fltp, 32-bit float, planar"
    QString sampleFormat;
    // "48000 Hz"
    QString sampleRate;
    // "5.1(side), 6 channels"
    QString channelLayout;
};
