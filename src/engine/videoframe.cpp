#include "videoframe.h"

VideoFrame::VideoFrame(int frameWidth, int frameHeight, double frameTime)
    : width(frameWidth), height(frameHeight), time(frameTime)
{
    if (width <= 0 || height <= 0)
        return;
    const int64_t bytes = int64_t(bytesPerLine(width)) * height;
    if (bytes > INT32_MAX)
        return;
    pixels.reset(static_cast<uint8_t*>(av_malloc(size_t(bytes))));
    if (pixels)
        byteCount = int(bytes);
}
