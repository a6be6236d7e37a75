#include "videodecoder.h"

#include "mediasource.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>

namespace {

// The conversion nearly always keeps the size and only changes the colour
// format, so the filter only matters for a picture whose size changed.
// Deeper than 8 bits, the chroma is interpolated and the matrix applied at
// full precision, rather than after rounding to 8 bits.
int scalerFlags(AVPixelFormat format)
{
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    const bool deep = descriptor && descriptor->comp[0].depth > 8;
    return SWS_BILINEAR | (deep ? SWS_FULL_CHR_H_INT | SWS_ACCURATE_RND : 0);
}

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
    timeBase = av_q2d(source->videoStream->time_base);
    frameDuration = source->frameRate > 0 ? 1.0 / source->frameRate : 0.04;
    if (!picturesFit())
        return OutOfMemory;
    // The scaler for the stream's announced format; a picture in another
    // format or size gets its own scaler when it arrives.
    if (codec->pix_fmt != AV_PIX_FMT_NONE) {
        scaler.reset(sws_getContext(width, height, codec->pix_fmt, width, height, AV_PIX_FMT_RGB24,
                                    scalerFlags(codec->pix_fmt), nullptr, nullptr, nullptr));
        if (!scaler)
            return -1;
    }
    initialised = true;
    return 0;
}

// The cache holds at least two pictures, whatever their size: a clip whose
// two pictures cannot even be allocated is refused at once rather than left
// without a picture.
bool VideoDecoder::picturesFit() const
{
    VideoFrame first(width, height, 0.0);
    VideoFrame second(width, height, 0.0);
    return first.isValid() && second.isValid();
}

int VideoDecoder::decodeNext(int waitMs)
{
    if (outOfMemory)
        return OutOfMemory;
    if (!initialised)
        return -1;
    if (source->videoPackets.pop(packet.get(), waitMs) < 0)
        return -1;
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

void VideoDecoder::flush()
{
    source->videoCache.setDiscarding(false);
    predictedTime = 0.0;
    pictureSinceFlush = false;
    avcodec_flush_buffers(codec);
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
    return outOfMemory ? OutOfMemory : EndOfStream;
}

int VideoDecoder::decodePacket()
{
    chooseSkipMode();
    int result = avcodec_send_packet(codec, packet.get());
    while (result == AVERROR(EAGAIN)) {
        // The decoder holds pictures that must be taken out first.
        receivePictures();
        if (source->aborting)
            break;
        result = avcodec_send_packet(codec, packet.get());
    }
    av_packet_unref(packet.get());
    source->videoPacketsDecoded.fetch_add(1, std::memory_order_relaxed);
    if (result < 0)
        return -1;
    receivePictures();
    return outOfMemory ? OutOfMemory : 0;
}

void VideoDecoder::chooseSkipMode()
{
    // Right after a seek (nothing cached yet) the pictures from the key frame
    // up to shortly before the target are never shown: pictures that nothing
    // refers to need not be decoded at all. A picture is skipped only when its
    // own time lies well before the clock, far outside the three frame
    // durations within which pictures are stored, so every shown picture is
    // decoded exactly as without skipping.
    AVDiscard mode = AVDISCARD_DEFAULT;
    if (packet->pts != AV_NOPTS_VALUE && source->videoCache.usedSlots() == 0) {
        const double time = double(packet->pts) * timeBase - source->timeOffset;
        const double distance = std::max(0.5, 8 * frameDuration);
        if (time < source->playbackTime(false) - distance) {
            mode = AVDISCARD_NONREF;
            // A skipped picture still counts among those that decode.
            notePicture(time);
        }
    }
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
        if (!tooLate() && !outOfMemory)
            convertAndStore();
        av_frame_unref(frame.get());
    }
}

void VideoDecoder::timePicture()
{
    const int64_t timestamp = frame->best_effort_timestamp;
    if (timestamp != AV_NOPTS_VALUE)
        frameTime = double(timestamp) * timeBase - source->timeOffset;
    else
        frameTime = predictedTime;
    predictedTime = frameTime + frameDuration + frame->repeat_pict * frameDuration * 0.5;
    notePicture(frameTime);
}

bool VideoDecoder::tooLate() const
{
    return source->playbackTime(false) > 3 * frameDuration + frameTime;
}

// Converted pictures get the size the stream was opened with, whatever size
// a picture arrives in, so that every cached frame has the same size. The
// picture's own colour description sets the conversion: it may change from
// one picture to the next.
bool VideoDecoder::prepareScaler()
{
    const auto format = AVPixelFormat(frame->format);
    const ColourDescription colour = ColourDescription::ofPicture(frame.get());
    if (scaler && frame->width == scalerWidth && frame->height == scalerHeight && format == scalerFormat &&
        colour == scalerColour)
        return true;
    SwsContext* next =
        sws_getCachedContext(scaler.release(), frame->width, frame->height, format, width, height,
                             AV_PIX_FMT_RGB24, scalerFlags(format), nullptr, nullptr, nullptr);
    scaler.reset(next);
    if (!next)
        return false;
    colour.applyTo(next, format);
    scalerWidth = frame->width;
    scalerHeight = frame->height;
    scalerFormat = format;
    scalerColour = colour;
    return true;
}

void VideoDecoder::convertAndStore()
{
    if (frame->width <= 0 || frame->height <= 0 || !prepareScaler())
        return;
    auto picture = std::make_unique<VideoFrame>(width, height, frameTime);
    if (!picture->isValid()) {
        outOfMemory = true;
        return;
    }
    picture->colour = scalerColour;
    uint8_t* planes[4] = {picture->pixels.get(), nullptr, nullptr, nullptr};
    int strides[4] = {VideoFrame::bytesPerLine(width), 0, 0, 0};
    sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes, strides);
    // The cache wakes this thread when a place frees up, at a seek and at an
    // unload; the time-out only bounds a wake-up that went missing.
    while (!source->videoCache.insert(picture, frameDuration, 50)) {
        if (source->aborting)
            return;
    }
}
