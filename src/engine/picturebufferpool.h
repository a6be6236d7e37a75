#pragma once

#include "avholders.h"

#include <mutex>

// Where a video decoder's pictures are decoded into: one buffer per picture
// holding all its planes, laid out as FFmpeg's own pictures are (the same
// line alignment and padding), from a BlockBufferPool. The cache holds on to
// hundreds of pictures, so the decoder's own pool keeps asking for fresh
// memory until the cache is full, and it zero-fills each new buffer first;
// these buffers are neither filled nor faulted in one page at a time.
class PictureBufferPool
{
public:
    PictureBufferPool() = default;
    PictureBufferPool(const PictureBufferPool&) = delete;
    PictureBufferPool& operator=(const PictureBufferPool&) = delete;

    // Makes `codec` (not yet opened) ask this pool for its pictures, which
    // it does from its decoding threads; this pool must outlive the codec
    // context. Hardware pictures and decoders that want other buffers still
    // get FFmpeg's own.
    void serve(AVCodecContext* codec);
    // Lets go of the buffers kept for the next pictures (those still in use
    // go when they are given back).
    void clear();

private:
    static int getBuffer(AVCodecContext* codec, AVFrame* picture, int flags);
    bool give(AVCodecContext* codec, AVFrame* picture);
    bool layOut(AVCodecContext* codec, AVPixelFormat format, int width, int height);

    std::mutex mutex;
    AVPixelFormat format = AV_PIX_FMT_NONE;
    int width = 0;
    int height = 0;
    int lineBytes[4] = {};
    size_t planeOffsets[4] = {};
    int planeCount = 0;
    BufferPoolPtr pool;
};
