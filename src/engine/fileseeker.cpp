#include "fileseeker.h"

#include "mediasource.h"

#include <algorithm>
#include <cmath>

namespace {

// Packets read at most to find the first key picture after landing.
constexpr int LandingPacketLimit = 1000;
// Seeks further back at most, each twice as far as the one before: a demuxer
// that still lands after the target is left to the decoder, which reports it
// (VideoDecoder::Overshot).
constexpr int LandingAttempts = 4;

} // namespace

FileSeeker::FileSeeker(MediaSource* mediaSource)
    : source(mediaSource), context(mediaSource->formatContext.get()),
      start(context->start_time != AV_NOPTS_VALUE ? context->start_time : 0)
{
}

int FileSeeker::seek(SeekMark* mark, std::deque<PacketPtr>* landed)
{
    const double target = std::max(source->seekTarget.load(), 0.0);
    mark->target = target;
    mark->keepHistory = source->seekKeepsHistory;
    double margin = source->seekMargin;
    int result = seekNear(target, margin, mark);
    if (!source->videoStream)
        return result;
    for (int attempt = 0; attempt < LandingAttempts && result >= 0 && !mark->fromStart; ++attempt) {
        const AVPacket* key = readToKeyPicture(landed);
        if (source->aborting)
            break;
        if (key &&
            (key->pts == AV_NOPTS_VALUE || mediaTime(key->pts) <= target + VideoFrameCache::LookupTolerance))
            break;
        // Shown after the target, or no key picture at all up to the end:
        // further back, twice as far each time.
        landed->clear();
        margin = margin > 0.0 ? 2 * margin : Margin;
        result = seekNear(target, margin, mark);
    }
    return result;
}

int FileSeeker::seekNear(double target, double margin, SeekMark* mark)
{
    const auto containerTime = [this](double time) {
        return int64_t(std::floor((time + source->timeOffset) * AV_TIME_BASE));
    };
    mark->fromStart = true;
    if (int64_t(target * AV_TIME_BASE) == 0) {
        // Always backwards: when the first shown picture is not a key frame
        // (a cut kept with an edit list), a forward seek to the start would
        // land on the next key frame.
        int result = av_seek_frame(context, -1, start, AVSEEK_FLAG_BACKWARD);
        if (result < 0 && start != 0)
            result = av_seek_frame(context, -1, 0, AVSEEK_FLAG_BACKWARD);
        return result;
    }
    // The key frame at or before the target, allowing for timestamps rounded
    // to the millisecond.
    if (margin <= 0.0 && !indexReaches(target))
        margin = Margin;
    const int64_t ts =
        std::max(start, margin > 0.0 ? containerTime(target - margin)
                                     : containerTime(target + VideoFrameCache::LookupTolerance));
    int result = avformat_seek_file(context, -1, INT64_MIN, ts, ts, 0);
    mark->fromStart = ts <= start;
    if (result < 0) {
        // No key frame that early: the target lies before the first one,
        // so start from the beginning.
        result = av_seek_frame(context, -1, start, AVSEEK_FLAG_BACKWARD);
        mark->fromStart = true;
    }
    if (result < 0)
        result = avformat_seek_file(context, -1, INT64_MIN, start, INT64_MAX, 0);
    return result;
}

bool FileSeeker::indexReaches(double target) const
{
    AVStream* stream = source->videoStream ? source->videoStream : source->audioStream;
    const int entries = stream ? avformat_index_get_entries_count(stream) : 0;
    if (entries <= 0)
        return false;
    const AVIndexEntry* last = avformat_index_get_entry(stream, entries - 1);
    return last && mediaTime(last->timestamp) >= target;
}

const AVPacket* FileSeeker::readToKeyPicture(std::deque<PacketPtr>* landed)
{
    for (int count = 0; count < LandingPacketLimit && !source->aborting; ++count) {
        PacketPtr packet(av_packet_alloc());
        if (!packet || av_read_frame(context, packet.get()) < 0)
            return nullptr;
        landed->push_back(std::move(packet));
        const AVPacket* read = landed->back().get();
        if (read->stream_index == source->videoStreamIndex && (read->flags & AV_PKT_FLAG_KEY))
            return read;
    }
    return nullptr;
}

double FileSeeker::mediaTime(int64_t timestamp) const
{
    const AVStream* stream = source->videoStream ? source->videoStream : source->audioStream;
    return double(timestamp) * av_q2d(stream->time_base) - source->timeOffset;
}
