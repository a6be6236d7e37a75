#include "videodecoder.h"

#include "mediasource.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace {

// A jump, forward or back, keeps this many pictures before its target. More
// would be decoded in full before the target is shown; a step back past them
// goes to the reader once and keeps all the cache holds behind the playhead.
constexpr int MinimumHistoryFrames = 3;
constexpr double Unknown = std::numeric_limits<double>::quiet_NaN();
// A target further from its key frame than this many packets is decoded
// without draining: decoding them all again would cost more than it saves.
constexpr size_t MaxReplayPackets = 24;
// The cache wakes a decoder waiting for a place when one frees up, at a seek
// and at an unload: the time-out only bounds a wake-up that went missing, and
// paused with a full cache the decoder wakes once a second, not twenty times.
constexpr int PlaceWaitMs = 1000;

} // namespace

VideoDecoder::VideoDecoder(MediaSource* mediaSource)
    : source(mediaSource), codec(mediaSource->videoCodecContext.get())
{
}

VideoDecoder::~VideoDecoder() = default;

int VideoDecoder::init()
{
    if (initialised || !codec || !source->videoStream)
        return -1;
    packet.reset(av_packet_alloc());
    frame.reset(av_frame_alloc());
    if (!packet || !frame)
        return -1;
    width = source->videoWidth;
    height = source->videoHeight;
    if (width <= 0 || height <= 0)
        return -1;
    // A format the converter cannot read could never be shown.
    if (codec->pix_fmt != AV_PIX_FMT_NONE && !sws_isSupportedInput(codec->pix_fmt))
        return -1;
    timeBase = av_q2d(source->videoStream->time_base);
    frameDuration = source->frameRate > 0 ? 1.0 / source->frameRate : 0.04;
    if (!picturesFit())
        return OutOfMemory;
    converter = std::make_unique<FrameConverter>(width, height);
    initialised = true;
    return 0;
}

// The cache holds at least two pictures, whatever their size: a clip whose
// two pictures cannot even be allocated is refused at once rather than left
// without a picture.
bool VideoDecoder::picturesFit() const
{
    // The largest form a picture takes is 32-bit RGB, the form it is shown in.
    const int64_t bytes = int64_t(width) * height * 4;
    if (bytes > INT32_MAX)
        return false;
    const AvBytesPtr first(static_cast<uint8_t*>(av_malloc(size_t(bytes))));
    const AvBytesPtr second(static_cast<uint8_t*>(av_malloc(size_t(bytes))));
    return first && second;
}

int VideoDecoder::decodeNext(int waitMs)
{
    if (outOfMemory)
        return OutOfMemory;
    if (!initialised)
        return -1;
    flushAheadOfSeek();
    if (source->videoPackets.pop(packet.get(), waitMs) < 0)
        return -1;
    if (PacketQueue::isFlush(packet.get())) {
        flush(packet.get());
        av_packet_unref(packet.get());
        return 0;
    }
    if (seekPending()) {
        // The reader empties the queue for the next seek: decoding what it
        // still holds would only keep the threads from that seek (and its end
        // of stream is no longer where the stream ends).
        av_packet_unref(packet.get());
        return 0;
    }
    if (PacketQueue::isEndOfStream(packet.get())) {
        av_packet_unref(packet.get());
        return drain();
    }
    const bool alreadyOvershot = overshot;
    const int result = decodePacket();
    return overshot && !alreadyOvershot ? Overshot : result;
}

// Nothing is sent to the codec from the start of a seek to its flush marker:
// flushed now, while the reader seeks, it need not be at the marker.
void VideoDecoder::flushAheadOfSeek()
{
    if (codecFlushed || !seekPending())
        return;
    avcodec_flush_buffers(codec);
    codecFlushed = true;
}

// Between the reader's start of a seek and its flush marker, every packet
// in the queue is one of before the seek.
bool VideoDecoder::seekPending() const
{
    return source->seekRequested || source->videoCache.discarding();
}

double VideoDecoder::mediaTime(int64_t timestamp) const
{
    return double(timestamp) * timeBase - source->timeOffset;
}

void VideoDecoder::flush(const AVPacket* marker)
{
    source->videoCache.setDiscarding(false);
    predictedTime = 0.0;
    pictureSinceFlush = false;
    if (!codecFlushed)
        avcodec_flush_buffers(codec);
    codecFlushed = false;
    overshot = false;
    fillComplete = false;
    abandoned = false;
    stopDraining();
    SeekMark mark;
    if (PacketQueue::seekMark(marker, &mark)) {
        seek = mark;
        keepFrom = Unknown;
        firstPictureSeen = false;
        targetSent = false;
        targetStored = false;
        // Stepping back keeps what it decodes on the way, and playing (either
        // way) goes on from the target without waiting for the packets to
        // come again, or for the pictures before it.
        drainable = !isFill() && seek.history != SeekHistory::Trailing && !source->playing &&
                    !source->videoCache.backward();
    } else {
        seek = SeekMark{-std::numeric_limits<double>::infinity(), SeekHistory::Few, true};
        keepFrom = -std::numeric_limits<double>::infinity();
        firstPictureSeen = true;
    }
}

int VideoDecoder::drain()
{
    codec->skip_frame = AVDISCARD_DEFAULT;
    if (avcodec_send_packet(codec, nullptr) == 0)
        receivePictures();
    // Every picture from the seek point on has been timed (or skipped as one
    // that decodes): the last of them ends the stream, whatever the
    // container promised.
    double end = source->endTime > 0.0 ? source->endTime : source->videoCache.rangeEnd();
    if (pictureSinceFlush && !source->aborting) {
        end = lastPictureTime + frameDuration;
        source->videoEnd = end;
    }
    source->videoCache.markEndOfStream(end);
    if (isFill() && !fillComplete && !overshot && !source->aborting) {
        fillComplete = true;
        source->fillDone = true;
    }
    return outOfMemory ? OutOfMemory : EndOfStream;
}

int VideoDecoder::decodePacket()
{
    chooseSkipMode();
    targetSent = targetSent || isTargetPacket();
    keepForReplay();
    const int result = send(packet.get());
    av_packet_unref(packet.get());
    source->videoPacketsDecoded.fetch_add(1, std::memory_order_relaxed);
    if (result < 0)
        return -1;
    receivePictures();
    // A target sent before the pictures shown ahead of it (a P-picture before
    // its B-pictures) is drained once they are in too.
    if (targetSent && drainable && picturesBeforeTargetSent())
        drainToTarget();
    return outOfMemory ? OutOfMemory : 0;
}

int VideoDecoder::send(AVPacket* sent)
{
    int result = avcodec_send_packet(codec, sent);
    while (result == AVERROR(EAGAIN)) {
        // The decoder holds pictures that must be taken out first. Taking
        // them out may wait for a place in the cache until a seek empties
        // it: the packet is then one of before the seek, and decoding it
        // would hold up the flush for the seek's own packets.
        receivePictures();
        if (source->aborting || seekPending())
            break;
        result = avcodec_send_packet(codec, sent);
    }
    return result;
}

bool VideoDecoder::isTargetPacket() const
{
    if (packet->pts == AV_NOPTS_VALUE)
        return false;
    return isAtTarget(mediaTime(packet->pts));
}

bool VideoDecoder::isAtTarget(double time) const
{
    return std::abs(time - seek.target) <= VideoFrameCache::lookupTolerance(frameDuration);
}

void VideoDecoder::keepForReplay()
{
    if (!drainable)
        return;
    // Decoded again, a picture must get the time it had: only the packets'
    // own presentation times are sure to give it (a raw stream's are guessed).
    const bool replayable = packet->pts != AV_NOPTS_VALUE && sinceKeyFrame.size() < MaxReplayPackets;
    PacketPtr kept(replayable ? av_packet_clone(packet.get()) : nullptr);
    if (!kept) {
        stopDraining();
        return;
    }
    sinceKeyFrame.emplace_back(std::move(kept), codec->skip_frame);
}

// Whether the packets of every picture kept before the target (one a frame
// duration, back to the key frame) are in the decoder: drained earlier, a
// picture shown before the target but decoded after it (a B-picture after
// the P-picture it leads up to) would leave a gap in the cache, until the
// packets came again, that playing backwards from the target would pass over.
bool VideoDecoder::picturesBeforeTargetSent() const
{
    const double tolerance = VideoFrameCache::lookupTolerance(frameDuration);
    const double from = std::max(keepFrom, mediaTime(sinceKeyFrame.front().first->pts));
    for (double time = seek.target - frameDuration; time >= from - tolerance; time -= frameDuration) {
        const bool sent = std::any_of(sinceKeyFrame.begin(), sinceKeyFrame.end(), [&](const auto& kept) {
            return std::abs(mediaTime(kept.first->pts) - time) <= tolerance;
        });
        if (!sent)
            return false;
    }
    return true;
}

void VideoDecoder::stopDraining()
{
    drainable = false;
    sinceKeyFrame.clear();
}

void VideoDecoder::drainToTarget()
{
    auto packets = std::move(sinceKeyFrame);
    stopDraining();
    draining = true;
    if (avcodec_send_packet(codec, nullptr) == 0)
        receivePictures();
    draining = false;
    avcodec_flush_buffers(codec);
    replay(packets);
}

// The picture a seek or a step is waiting for, shown as soon as it is stored.
bool VideoDecoder::isSeekTarget() const
{
    return !targetStored && !isFill() && !source->playing && isAtTarget(frameTime);
}

// The target is converted and drawn on the same cores as the decoding
// threads would take for what comes after it: it goes first, for a while.
void VideoDecoder::awaitShown(uint64_t shownBefore)
{
    constexpr auto Step = std::chrono::microseconds(200);
    constexpr int MaxSteps = 100;
    for (int step = 0; step < MaxSteps; ++step) {
        if (source->picturesShown.load() != shownBefore || source->seekRequested || source->aborting ||
            source->playing)
            return;
        std::this_thread::sleep_for(Step);
    }
}

void VideoDecoder::replay(std::vector<std::pair<PacketPtr, AVDiscard>>& packets)
{
    for (auto& [sent, mode] : packets) {
        if (source->aborting || source->seekRequested) {
            abandoned = true;
            return;
        }
        codec->skip_frame = mode;
        if (send(sent.get()) == 0)
            receivePictures();
    }
}

double VideoDecoder::historyStart() const
{
    const double trailingSpan = source->videoCache.trailing() * frameDuration;
    if (seek.history == SeekHistory::Trailing)
        return seek.target - trailingSpan;
    return seek.target - std::min(trailingSpan, MinimumHistoryFrames * frameDuration);
}

void VideoDecoder::chooseSkipMode()
{
    AVDiscard mode = AVDISCARD_DEFAULT;
    const bool timed = packet->pts != AV_NOPTS_VALUE;
    const double time = timed ? mediaTime(packet->pts) : seek.target;
    if (std::isnan(keepFrom)) {
        // The seek's first packet: the key frame the decoding starts from.
        // Half a frame more, so that the pictures kept are whole frames.
        keepFrom = isFill() ? seek.target : historyStart();
        keepFrom -= 0.5 * frameDuration;
    }
    if (overshot || fillComplete || abandoned) {
        // Nothing of this seek is stored: the next one is on its way.
        mode = AVDISCARD_ALL;
    } else if (timed && time < keepFrom) {
        // Never shown and never stored: what nothing refers to need not be
        // decoded. The pictures that are shown decode exactly as without.
        mode = AVDISCARD_NONREF;
    }
    // A skipped picture still counts among those that decode.
    if (timed && mode != AVDISCARD_DEFAULT)
        notePicture(time);
    codec->skip_frame = mode;
}

void VideoDecoder::notePicture(double time)
{
    lastPictureTime = pictureSinceFlush ? std::max(lastPictureTime, time) : time;
    pictureSinceFlush = true;
}

void VideoDecoder::receivePictures()
{
    while (!source->aborting) {
        const int result = avcodec_receive_frame(codec, frame.get());
        if (result < 0)
            return;
        timePicture();
        // The target came out without draining: nothing to gain from it.
        if (drainable && frameTime >= seek.target - VideoFrameCache::lookupTolerance(frameDuration))
            stopDraining();
        checkOvershoot();
        checkFillComplete();
        if (worthStoring() && !outOfMemory) {
            const bool target = isSeekTarget();
            const uint64_t shownBefore = source->picturesShown.load();
            const std::unique_ptr<VideoFrame> stored = store(target);
            if (stored) {
                targetStored = true;
                if (source->seekTargetStored)
                    source->seekTargetStored(*stored);
                awaitShown(shownBefore);
            }
        }
        av_frame_unref(frame.get());
    }
}

void VideoDecoder::timePicture()
{
    const int64_t timestamp = frame->best_effort_timestamp;
    if (timestamp != AV_NOPTS_VALUE)
        frameTime = mediaTime(timestamp);
    else
        frameTime = predictedTime;
    predictedTime = frameTime + frameDuration + frame->repeat_pict * frameDuration * 0.5;
    notePicture(frameTime);
}

void VideoDecoder::checkOvershoot()
{
    if (firstPictureSeen)
        return;
    firstPictureSeen = true;
    // The seek landed after the key frame the target needs. Where it could
    // not have gone earlier, the first picture is the first there is.
    if (!seek.fromStart && frameTime > seek.target + VideoFrameCache::lookupTolerance(frameDuration))
        overshot = true;
}

// Pictures come out in time order: the first one at or after the end of a
// backward fill follows every picture the fill is for.
void VideoDecoder::checkFillComplete()
{
    if (!isFill() || fillComplete || overshot ||
        frameTime < seek.fillEnd - VideoFrameCache::lookupTolerance(frameDuration))
        return;
    fillComplete = true;
    source->fillDone = true;
}

bool VideoDecoder::worthStoring() const
{
    if (overshot || fillComplete || abandoned || frameTime < keepFrom)
        return false;
    if (isFill())
        return true;
    if (frameTime <= seek.target + VideoFrameCache::lookupTolerance(frameDuration))
        return true;
    if (draining)
        return false;
    // Past the target: pictures that would already be more than three frame
    // durations in the past are not worth keeping while catching up.
    return source->playbackTime(false) <= 3 * frameDuration + frameTime;
}

std::unique_ptr<VideoFrame> VideoDecoder::store(bool keepReference)
{
    // A picture of the seek being replaced: the reader has the cache discard it.
    if (frame->width <= 0 || frame->height <= 0 || source->seekRequested)
        return nullptr;
    const auto format = AVPixelFormat(frame->format);
    const ColourDescription colour = ColourDescription::ofPicture(frame.get());
    FramePtr kept;
    if (VideoFrame::storedFormat(format, frame->width, frame->height) == format) {
        kept.reset(av_frame_alloc());
        if (kept)
            av_frame_move_ref(kept.get(), frame.get());
    } else {
        kept = converter->toRgbFrame(frame.get());
    }
    if (!kept) {
        outOfMemory = true;
        return nullptr;
    }
    std::unique_ptr<VideoFrame> reference;
    if (keepReference)
        reference = std::make_unique<VideoFrame>(FramePtr(av_frame_clone(kept.get())), frameTime);
    auto picture = std::make_unique<VideoFrame>(std::move(kept), frameTime);
    picture->colour = colour;
    while (!source->videoCache.insert(picture, frameDuration, PlaceWaitMs)) {
        if (source->aborting || source->seekRequested)
            return nullptr;
    }
    return reference && reference->isValid() ? std::move(reference) : nullptr;
}
