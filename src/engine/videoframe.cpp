#include "videoframe.h"

extern "C" {
#include <libavutil/imgutils.h>
}

namespace {

int64_t rgbBytes(int width, int height)
{
    return int64_t(width) * height * 4;
}

} // namespace

VideoFrame::VideoFrame(FramePtr decoded, double frameTime) : picture(std::move(decoded)), time(frameTime)
{
    if (!picture)
        return;
    for (const AVBufferRef* buffer : picture->buf) {
        if (buffer)
            byteCount += int64_t(buffer->size);
    }
}

AVPixelFormat VideoFrame::storedFormat(AVPixelFormat format, int width, int height)
{
    const int bytes = format == AV_PIX_FMT_NONE ? -1 : av_image_get_buffer_size(format, width, height, 1);
    return bytes > 0 && bytes <= rgbBytes(width, height) ? format : AV_PIX_FMT_RGB32;
}

int64_t VideoFrame::storedBytes(AVPixelFormat format, int width, int height)
{
    const AVPixelFormat stored = storedFormat(format, width, height);
    if (stored == AV_PIX_FMT_RGB32)
        return rgbBytes(width, height);
    // The decoder's buffers are padded: a little more than the bare picture.
    return int64_t(av_image_get_buffer_size(stored, width, height, 64)) + 64 * int64_t(height);
}
