#pragma once

#include "avholders.h"
#include "colourdescription.h"

#include <cstdint>

// One decoded picture in the frame cache, with its time.
//
// The cache keeps a picture in whichever of two forms takes fewer bytes: the
// decoder's own picture (a reference to the decoder's buffers, no copy: YUV
// 4:2:0 takes 1.5 bytes a pixel), or the picture converted to 32-bit RGB
// (AV_PIX_FMT_RGB32, laid out as QImage::Format_RGB32), which formats of more
// than 4 bytes a pixel (deep 4:4:4, 16-bit) are converted to as they are
// decoded. Any other picture, 10-bit 4:2:2 (as large as RGB) among them, is
// turned into RGB only when it is shown (FrameConverter): once, at the size
// it is shown at, rather than whole as it is decoded and then scaled again.
class VideoFrame
{
public:
    // Takes over `picture`; its bytes are those of the buffers it holds.
    VideoFrame(FramePtr picture, double time);

    // The form the cache keeps pictures of the decoder's `format` in: the
    // format itself, or AV_PIX_FMT_RGB32.
    static AVPixelFormat storedFormat(AVPixelFormat format, int width, int height);
    // Bytes of one picture of `width` x `height` in that form, as the cache
    // budget counts them.
    static int64_t storedBytes(AVPixelFormat format, int width, int height);

    bool isValid() const { return picture && picture->data[0]; }
    int width() const { return picture ? picture->width : 0; }
    int height() const { return picture ? picture->height : 0; }

    FramePtr picture;
    int64_t byteCount = 0;
    double time = 0.0; // seconds of media time
    // How the picture was converted to RGB, for the media information.
    ColourDescription colour;
};
