#include "picturebufferpool.h"

#include "blockbufferpool.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace {

// What FFmpeg leaves after each plane of its own pictures, for decoders and
// scalers that read a little past a line's end.
constexpr size_t PlanePadding = 16 + 64 - 1;
constexpr size_t PlaneAlignment = 64;

bool isPlainPicture(AVPixelFormat format)
{
    const AVPixFmtDescriptor* description = av_pix_fmt_desc_get(format);
    return description && (description->flags &
                           (AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM)) == 0;
}

} // namespace

void PictureBufferPool::serve(AVCodecContext* codec)
{
    if (!codec || !codec->codec || (codec->codec->capabilities & AV_CODEC_CAP_DR1) == 0)
        return;
    codec->opaque = this;
    codec->get_buffer2 = &PictureBufferPool::getBuffer;
#if FF_API_THREAD_SAFE_CALLBACKS
    // Says so, or this FFmpeg warns that frame threads need it to be.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    codec->thread_safe_callbacks = 1;
#pragma GCC diagnostic pop
#endif
}

void PictureBufferPool::clear()
{
    std::lock_guard<std::mutex> lock(mutex);
    pool.reset();
    format = AV_PIX_FMT_NONE;
}

int PictureBufferPool::getBuffer(AVCodecContext* codec, AVFrame* picture, int flags)
{
    auto* self = static_cast<PictureBufferPool*>(codec->opaque);
    if (codec->hw_frames_ctx || !self || !self->give(codec, picture))
        return avcodec_default_get_buffer2(codec, picture, flags);
    return 0;
}

bool PictureBufferPool::give(AVCodecContext* codec, AVFrame* picture)
{
    const auto pictureFormat = AVPixelFormat(picture->format);
    if (!isPlainPicture(pictureFormat) || picture->width <= 0 || picture->height <= 0)
        return false;
    std::lock_guard<std::mutex> lock(mutex);
    if ((pictureFormat != format || picture->width != width || picture->height != height) &&
        !layOut(codec, pictureFormat, picture->width, picture->height))
        return false;
    picture->buf[0] = av_buffer_pool_get(pool.get());
    if (!picture->buf[0])
        return false;
    for (int plane = 0; plane < planeCount; ++plane) {
        picture->data[plane] = picture->buf[0]->data + planeOffsets[plane];
        picture->linesize[plane] = lineBytes[plane];
    }
    picture->extended_data = picture->data;
    return true;
}

// The decoder's alignment of the picture's size and lines, as FFmpeg's own
// buffers have it: decoders write whole blocks past the visible edges.
bool PictureBufferPool::layOut(AVCodecContext* codec, AVPixelFormat pictureFormat, int pictureWidth,
                               int pictureHeight)
{
    pool.reset();
    format = AV_PIX_FMT_NONE;
    int alignedWidth = pictureWidth;
    int alignedHeight = pictureHeight;
    int lineAlignment[AV_NUM_DATA_POINTERS] = {};
    avcodec_align_dimensions2(codec, &alignedWidth, &alignedHeight, lineAlignment);
    int lines[4] = {};
    for (;;) {
        if (av_image_fill_linesizes(lines, pictureFormat, alignedWidth) < 0)
            return false;
        bool aligned = true;
        for (int plane = 0; plane < 4; ++plane)
            aligned = aligned && (lineAlignment[plane] <= 0 || lines[plane] % lineAlignment[plane] == 0);
        if (aligned)
            break;
        alignedWidth += alignedWidth & ~(alignedWidth - 1);
    }
    const ptrdiff_t strides[4] = {lines[0], lines[1], lines[2], lines[3]};
    size_t planeBytes[4] = {};
    if (av_image_fill_plane_sizes(planeBytes, pictureFormat, alignedHeight, strides) < 0)
        return false;
    size_t offset = 0;
    planeCount = 0;
    for (int plane = 0; plane < 4 && planeBytes[plane] > 0; ++plane) {
        planeOffsets[plane] = offset;
        lineBytes[plane] = lines[plane];
        offset = FFALIGN(offset + planeBytes[plane] + PlanePadding, PlaneAlignment);
        ++planeCount;
    }
    pool = BlockBufferPool::create(offset);
    if (!pool)
        return false;
    format = pictureFormat;
    width = pictureWidth;
    height = pictureHeight;
    return true;
}
