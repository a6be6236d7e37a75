#include "fileseeker.h"

#include "firstpictureprobe.h"
#include "mediasource.h"

#include <algorithm>
#include <cmath>

namespace {

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
    mark->history = source->seekHistory;
    mark->fillEnd = source->seekFillEnd;
    double margin = source->seekMargin;
    int result = seekNear(target, margin, mark);
    if (!source->videoStream)
        return result;
    for (int attempt = 0; attempt < LandingAttempts && result >= 0 && !mark->fromStart; ++attempt) {
        bool endOfFile = false;
        const AVPacket* key = readToKeyPicture(landed, &endOfFile);
        if (source->aborting)
            break;
        // No key picture within the probe's reach: decoded from the landing
        // as it is.
        if (!key && !endOfFile)
            break;
        const int64_t timestamp = key ? (key->pts != AV_NOPTS_VALUE ? key->pts : key->dts) : AV_NOPTS_VALUE;
        if (key && (timestamp == AV_NOPTS_VALUE || mediaTime(timestamp) <= target + tolerance()))
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
    if (int64_t(target * AV_TIME_BASE) == 0)
        return seekToStart();
    // The key frame at or before the target, allowing for timestamps rounded
    // to the millisecond.
    if (margin <= 0.0 && !indexReaches(target))
        margin = Margin;
    const int64_t ts = margin > 0.0 ? containerTime(target - margin) : containerTime(target + tolerance());
    // Not after the start, or no key frame that early: the target lies
    // before the first one, so start from the beginning.
    if (ts <= start)
        return seekToStart();
    const int result = avformat_seek_file(context, -1, INT64_MIN, ts, ts, 0);
    if (result < 0)
        return seekToStart();
    mark->fromStart = false;
    return result;
}

int FileSeeker::seekToStart()
{
    // A search for the first timestamp may land after the first key frame:
    // the start of the file is the start of the clip.
    if (searchesTimestamps() && av_seek_frame(context, -1, 0, AVSEEK_FLAG_BYTE) >= 0)
        return 0;
    // Always backwards: when the first shown picture is not a key frame (a
    // cut kept with an edit list), a forward seek to the start would land on
    // the next key frame.
    int result = av_seek_frame(context, -1, start, AVSEEK_FLAG_BACKWARD);
    if (result < 0 && start != 0)
        result = av_seek_frame(context, -1, 0, AVSEEK_FLAG_BACKWARD);
    if (result < 0)
        result = avformat_seek_file(context, -1, INT64_MIN, start, INT64_MAX, 0);
    return result;
}

// Transport and program streams: seeking searches the file for timestamps
// rather than looking up an index of key frames.
bool FileSeeker::searchesTimestamps() const
{
    const AVInputFormat* format = context->iformat;
    return !format->read_seek && !format->read_seek2 && format->read_timestamp &&
           !(format->flags & AVFMT_NO_BYTE_SEEK);
}

double FileSeeker::tolerance() const
{
    return VideoFrameCache::lookupTolerance(source->frameRate > 0 ? 1.0 / source->frameRate : 0.0);
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

const AVPacket* FileSeeker::readToKeyPicture(std::deque<PacketPtr>* landed, bool* endOfFile)
{
    int videoPackets = 0;
    while (!source->aborting && videoPackets < FirstPictureProbe::MaxVideoPackets &&
           int(landed->size()) < FirstPictureProbe::MaxPackets) {
        PacketPtr packet(av_packet_alloc());
        if (!packet)
            return nullptr;
        if (av_read_frame(context, packet.get()) < 0) {
            *endOfFile = true;
            return nullptr;
        }
        landed->push_back(std::move(packet));
        const AVPacket* read = landed->back().get();
        if (read->stream_index != source->videoStreamIndex)
            continue;
        ++videoPackets;
        if (read->flags & AV_PKT_FLAG_KEY)
            return read;
    }
    return nullptr;
}

double FileSeeker::mediaTime(int64_t timestamp) const
{
    const AVStream* stream = source->videoStream ? source->videoStream : source->audioStream;
    return double(timestamp) * av_q2d(stream->time_base) - source->timeOffset;
}
