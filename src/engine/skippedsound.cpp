#include "skippedsound.h"

void SkippedSound::reset()
{
    skippingFrom = false;
    readingBackFlag = false;
    resumeTime = AV_NOPTS_VALUE;
}

int64_t SkippedSound::timeOf(const AVPacket* packet)
{
    return packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
}

bool SkippedSound::skip(const AVPacket* packet)
{
    const int64_t time = timeOf(packet);
    if (time == AV_NOPTS_VALUE || readingBackFlag)
        return false;
    skippingFrom = true;
    resumeTime = time;
    return true;
}

int SkippedSound::seekBack(AVFormatContext* context, int soundStream)
{
    skippingFrom = false;
    readingBackFlag = true;
    // At or before the first packet skipped: by the sound stream's own index
    // where the container has one, else by the file's.
    int result = avformat_seek_file(context, soundStream, INT64_MIN, resumeTime, resumeTime, 0);
    if (result < 0) {
        const AVStream* stream = context->streams[soundStream];
        const int64_t fileTime = av_rescale_q(resumeTime, stream->time_base, AV_TIME_BASE_Q);
        result = avformat_seek_file(context, -1, INT64_MIN, fileTime, fileTime, 0);
    }
    return result;
}

bool SkippedSound::drops(const AVPacket* packet, bool sound) const
{
    if (!sound)
        return readingBackFlag;
    if (skippingFrom)
        return true;
    const int64_t time = timeOf(packet);
    return readingBackFlag && time != AV_NOPTS_VALUE && time < resumeTime;
}
