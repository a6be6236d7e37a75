#pragma once

#include "avholders.h"
#include "videoframe.h"

#include <memory>

class MediaSource;

// The decoding state of one media's video stream: pops packets from the
// source's video queue, decodes them (send/receive), times each picture,
// converts it to padded RGB24 and stores it in the video frame cache.
//
// Picture times come from the decoded frame's best-effort timestamp, less the
// source's time offset, so that the first picture is at 0 (a picture without
// a timestamp is placed one frame duration after the previous one). Pictures
// more than three frame durations behind the clock are decoded but neither
// converted nor stored: typically those between a key frame and a seek target.
//
// Each picture is converted with its own colour description (matrix and
// range, see ColourDescription), from the full precision of its format.
// At the end of the stream the time after its last picture becomes the end
// of the cached range and the source's `videoEnd`.
class VideoDecoder
{
public:
    static constexpr int EndOfStream = -999;
    // A picture could not be allocated: the clip cannot be shown.
    static constexpr int OutOfMemory = -998;

    explicit VideoDecoder(MediaSource* source);
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // 0 when the decoder and the converter are ready, -1 otherwise, and
    // OutOfMemory when not even two pictures of the clip fit in memory.
    int init();
    // Decodes the next packet: 0 when it was handled, -1 when the queue stayed
    // empty for `waitMs` or the packet failed, EndOfStream after the
    // end-of-stream marker (the cache then ends after the last picture),
    // OutOfMemory when a picture could not be allocated.
    int decodeNext(int waitMs = 1);

private:
    void flush();
    int drain();
    int decodePacket();
    void receivePictures();
    void timePicture();
    bool tooLate() const;
    void convertAndStore();
    void chooseSkipMode();
    bool prepareScaler();
    bool picturesFit() const;
    void notePicture(double time);

    MediaSource* source;
    AVCodecContext* codec;
    PacketPtr packet;
    FramePtr frame;
    ScalerPtr scaler;
    // What the scaler was last set up for: a picture that differs in any of
    // these sets it up again.
    int scalerWidth = 0;
    int scalerHeight = 0;
    AVPixelFormat scalerFormat = AV_PIX_FMT_NONE;
    ColourDescription scalerColour;
    bool initialised = false;
    bool outOfMemory = false;
    int width = 0;
    int height = 0;
    double timeBase = 0.0;
    double frameDuration = 0.04;
    double frameTime = 0.0;
    double predictedTime = 0.0;
    // The latest picture time since the last flush, when there was one.
    bool pictureSinceFlush = false;
    double lastPictureTime = 0.0;
};
