#pragma once

#include "avholders.h"
#include "frameconverter.h"
#include "packetqueue.h"
#include "videoframe.h"

#include <limits>
#include <memory>
#include <utility>
#include <vector>

class MediaSource;

// The decoding state of one media's video stream: pops packets from the
// source's video queue, decodes them (send/receive), times each picture and
// stores it in the video frame cache, as the decoder gave it or converted to
// RGB where that takes less room (VideoFrame).
//
// Picture times come from the decoded frame's best-effort timestamp, less the
// source's time offset, so that the first picture is at 0 (a picture without
// a timestamp is placed one frame duration after the previous one).
//
// After a seek (the flush marker and its SeekMark) the work goes to the
// target: pictures nothing refers to are not decoded at all on the way to
// it, the pictures before it are decoded but not stored, except the last
// ones before it: as many as the cache keeps behind the playhead when the
// seek asked for them (a step back), else a few. When the first picture
// after the seek lies after the target, the demuxer landed too late:
// decodeNext reports Overshot and stores nothing until the next seek.
//
// A jump made while paused to a picture a few packets after its key frame
// drains the decoder once the packets of the target and of the pictures kept
// before it are in: the picture comes out at once, not after the packets
// that frame threads and reordering hold it back for. The packets since the
// key frame are then decoded again from a flushed decoder, to go on from
// there (the cache keeps each time once). While the next seek is on its
// way, the packets and pictures still queued for this one are let go
// undecoded and unstored.
//
// Once the target is stored, the controller's hook (seekTargetStored) has it
// converted for the screen on this thread, and the decoder then waits, for a
// short while, until the controller has it on screen: converting and painting
// it have the cores that the pictures after it would take.
//
// A backward fill (SeekMark::fillEnd) stores the pictures from its target up
// to its end into the cache as it stands, and decodes nothing after them.
//
// Each picture keeps its own colour description (matrix and range, see
// ColourDescription), with which it is converted to RGB. At the end of the
// stream the time after its last picture becomes the end of the cached range
// and the source's `videoEnd`.
class VideoDecoder
{
public:
    static constexpr int EndOfStream = -999;
    // A picture could not be allocated: the clip cannot be shown.
    static constexpr int OutOfMemory = -998;
    static constexpr int Overshot = -997;

    explicit VideoDecoder(MediaSource* source);
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // 0 when the decoder is ready, -1 otherwise, and OutOfMemory when not
    // even two pictures of the clip fit in memory.
    int init();
    // Decodes the next packet: 0 when it was handled, -1 when the queue stayed
    // empty for `waitMs` or the packet failed, EndOfStream after the
    // end-of-stream marker (the cache then ends after the last picture),
    // Overshot when the seek's first picture lies after its target,
    // OutOfMemory when a picture could not be allocated.
    int decodeNext(int waitMs = 1);
    // The target of the seek whose first picture came too late.
    double overshotTarget() const { return seek.target; }

private:
    // A timestamp of the stream as media time (0 at the first picture).
    double mediaTime(int64_t timestamp) const;
    bool seekPending() const;
    void flushAheadOfSeek();
    void flush(const AVPacket* marker);
    int drain();
    int decodePacket();
    int send(AVPacket* sent);
    bool isTargetPacket() const;
    // Within the lookup tolerance of the seek's target.
    bool isAtTarget(double time) const;
    void keepForReplay();
    bool picturesBeforeTargetSent() const;
    void stopDraining();
    void drainToTarget();
    void awaitShown(uint64_t shownBefore);
    bool isSeekTarget() const;
    void replay(std::vector<std::pair<PacketPtr, AVDiscard>>& packets);
    void receivePictures();
    void timePicture();
    void checkOvershoot();
    void checkFillComplete();
    bool isFill() const { return seek.fillEnd >= 0.0; }
    bool worthStoring() const;
    // Stores the picture in the cache; with `keepReference`, returns a
    // reference to it once stored.
    std::unique_ptr<VideoFrame> store(bool keepReference);
    void chooseSkipMode();
    // Where the pictures kept of this seek begin.
    double historyStart() const;
    bool picturesFit() const;
    void notePicture(double time);

    MediaSource* source;
    AVCodecContext* codec;
    PacketPtr packet;
    FramePtr frame;
    std::unique_ptr<FrameConverter> converter;
    bool initialised = false;
    bool outOfMemory = false;
    int width = 0;
    int height = 0;
    double timeBase = 0.0;
    double frameDuration = 0.04;
    double frameTime = 0.0;
    double predictedTime = 0.0;

    // The seek being served; before the first one, everything is kept.
    SeekMark seek{-std::numeric_limits<double>::infinity(), SeekHistory::Few, true};
    // Pictures before this time are not stored, the unreferenced ones among
    // them not even decoded; unknown (NaN) until the seek's first packet.
    double keepFrom = -std::numeric_limits<double>::infinity();
    bool firstPictureSeen = true;
    // Flushed ahead of the seek's marker, and sent nothing since.
    bool codecFlushed = false;
    bool overshot = false;
    // Every picture of the backward fill being served has come out: the
    // packets that follow are not decoded.
    bool fillComplete = false;
    // The latest picture time since the last flush, when there was one.
    bool pictureSinceFlush = false;
    double lastPictureTime = 0.0;

    // The packets of this seek so far, with how they were decoded, while the
    // decoder may still be drained once the target's packet and those of the
    // pictures before it are in.
    std::vector<std::pair<PacketPtr, AVDiscard>> sinceKeyFrame;
    bool drainable = false;
    bool targetSent = false;
    // The target has been stored and handed to the screen first.
    bool targetStored = false;
    // Draining at the target: the pictures after it come again.
    bool draining = false;
    // A new seek came while the packets were decoded again: nothing more of
    // this one is decoded or stored.
    bool abandoned = false;
};
