#pragma once

#include "avholders.h"
#include "colourdescription.h"

#include <cstdint>

// One decoded picture as 24-bit RGB, rows padded to a multiple of 4 bytes so
// that a QImage of format RGB888 can wrap the pixels without a stride.
class VideoFrame
{
public:
    VideoFrame(int width, int height, double time);

    // Bytes of one padded RGB24 row.
    static int bytesPerLine(int width) { return (width * 3 + 3) & ~3; }

    bool isValid() const { return pixels != nullptr; }

    AvBytesPtr pixels; // owned, av_malloc'ed (aligned for the converter)
    int byteCount = 0;
    int width = 0;
    int height = 0;
    double time = 0.0; // seconds of media time
    // How the picture was converted to RGB, for the media information.
    ColourDescription colour;
};
