#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <QString>
#include <cstdint>
#include <vector>

// The least a program must do to show an exact frame of a clip, done in this
// process with the FFmpeg libraries, as the reference the player's seeks are
// measured against: seek the demuxer to the key frame at or before the
// target, decode with the player's threads (frame and slice threads on every
// core) until the target comes out, convert it to 32-bit RGB.
//
// The clip is opened once; only the seek itself is timed. With `skipNonReference`
// the decoder skips pictures no other picture refers to on the way to the
// target ("refskip"); without, it decodes every picture ("ref").
class SeekReference
{
public:
    explicit SeekReference(const QString& path);
    ~SeekReference();
    SeekReference(const SeekReference&) = delete;
    SeekReference& operator=(const SeekReference&) = delete;

    bool isOpen() const { return codec != nullptr; }
    double frameRate() const { return rate; }
    // 0-based indexes of the key frames, in display order.
    const std::vector<int>& keyFrames() const { return keys; }

    // Milliseconds from the seek to the converted picture of 0-based frame
    // `index`; negative when the picture did not come out.
    double seekTo(int index, bool skipNonReference);

private:
    bool open(const QString& path);
    void indexKeyFrames();
    bool decodeUntil(int64_t target, bool skipNonReference);
    bool convert();
    void close();

    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    SwsContext* scaler = nullptr;
    std::vector<uint8_t> rgb;
    int streamIndex = -1;
    AVRational timeBase{1, 1};
    int64_t firstTimestamp = 0;
    double rate = 25.0;
    std::vector<int> keys;
};
