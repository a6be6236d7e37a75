#include "mediadescription.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/pixdesc.h>
#include <libavutil/timecode.h>
}

namespace {

// The codec's long name up to its first alternative ("H.264" of "H.264 /
// AVC / MPEG-4 AVC / ..."), with the profile when the stream names one:
// "H.264, High 10 profile".
QString codecName(AVCodecID id, int profile)
{
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(id);
    QString name = descriptor && descriptor->long_name ? QString::fromUtf8(descriptor->long_name)
                                                       : QString::fromLatin1(avcodec_get_name(id));
    name = name.section(QStringLiteral(" / "), 0, 0);
    if (const char* profileName = avcodec_profile_name(id, profile))
        name += QStringLiteral(", %1 profile").arg(QString::fromLatin1(profileName));
    return name;
}

QString pixelFormatName(AVPixelFormat format)
{
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    if (!descriptor)
        return QStringLiteral("unknown");
    return QStringLiteral("%1, %2 bits")
        .arg(QString::fromLatin1(descriptor->name))
        .arg(descriptor->comp[0].depth);
}

QString fieldOrderName(AVFieldOrder order)
{
    switch (order) {
    case AV_FIELD_PROGRESSIVE:
        return QStringLiteral("Progressive");
    case AV_FIELD_TT:
        return QStringLiteral("Interlaced, top field first");
    case AV_FIELD_BB:
        return QStringLiteral("Interlaced, bottom field first");
    case AV_FIELD_TB:
        return QStringLiteral("Interlaced, top field coded first, bottom shown first");
    case AV_FIELD_BT:
        return QStringLiteral("Interlaced, bottom field coded first, top shown first");
    default:
        return QStringLiteral("Not stated");
    }
}

QString sampleFormatName(AVSampleFormat format)
{
    const char* name = av_get_sample_fmt_name(format);
    if (!name)
        return QStringLiteral("unknown");
    const AVSampleFormat packed = av_get_packed_sample_fmt(format);
    const bool floating = packed == AV_SAMPLE_FMT_FLT || packed == AV_SAMPLE_FMT_DBL;
    QString text = QStringLiteral("%1, %2-bit %3")
                       .arg(QString::fromLatin1(name))
                       .arg(av_get_bytes_per_sample(format) * 8)
                       .arg(floating ? QStringLiteral("float") : QStringLiteral("integer"));
    if (av_sample_fmt_is_planar(format))
        text += QStringLiteral(", planar");
    return text;
}

QString channelLayoutName(const AVChannelLayout& layout)
{
    char name[128] = {};
    if (av_channel_layout_describe(&layout, name, sizeof(name)) < 0)
        return QStringLiteral("%1 channels").arg(layout.nb_channels);
    return QStringLiteral("%1, %2 channel%3")
        .arg(QString::fromLatin1(name))
        .arg(layout.nb_channels)
        .arg(layout.nb_channels == 1 ? QString() : QStringLiteral("s"));
}

QString timecodeTag(const AVDictionary* metadata)
{
    const AVDictionaryEntry* entry = av_dict_get(metadata, "timecode", nullptr, 0);
    return entry && entry->value ? QString::fromUtf8(entry->value).trimmed() : QString();
}

} // namespace

MediaDescription MediaDescription::of(const AVStream* video, const AVCodecContext* videoCodec,
                                      const AVStream* audio, const AVCodecContext* audioCodec)
{
    MediaDescription d;
    if (video && videoCodec) {
        const AVCodecParameters* parameters = video->codecpar;
        d.videoCodec = codecName(videoCodec->codec_id, videoCodec->profile);
        const AVPixelFormat format =
            videoCodec->pix_fmt != AV_PIX_FMT_NONE ? videoCodec->pix_fmt : AVPixelFormat(parameters->format);
        d.pixelFormat = pixelFormatName(format);
        d.colour = ColourDescription::describe(parameters->color_space, parameters->color_range,
                                               parameters->color_primaries, parameters->color_trc, format,
                                               parameters->height);
        d.fieldOrder = fieldOrderName(parameters->field_order);
    }
    if (audio && audioCodec) {
        d.audioCodec = codecName(audioCodec->codec_id, audioCodec->profile);
        d.sampleFormat = sampleFormatName(audioCodec->sample_fmt);
        d.sampleRate = QStringLiteral("%1 Hz").arg(audioCodec->sample_rate);
        d.channelLayout = channelLayoutName(audioCodec->ch_layout);
    }
    return d;
}

QString MediaDescription::startTimecodeOf(const AVFormatContext* context, const AVStream* video)
{
    if (video) {
        const QString own = timecodeTag(video->metadata);
        if (!own.isEmpty())
            return own;
    }
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const QString other = timecodeTag(context->streams[i]->metadata);
        if (!other.isEmpty())
            return other;
    }
    return timecodeTag(context->metadata);
}

QString MediaDescription::groupTimecodeText(uint32_t packed)
{
    char text[AV_TIMECODE_STR_SIZE] = {};
    return QString::fromLatin1(av_timecode_make_mpeg_tc_string(text, packed));
}
