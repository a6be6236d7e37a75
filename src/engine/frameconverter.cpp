#include "frameconverter.h"

#include "blockbufferpool.h"
#include "imagememorypool.h"
#include "largepages.h"
#include "videoframe.h"

extern "C" {
#include <libavutil/macros.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>

namespace {

// At the stream's size the conversion only changes the colour format, and
// the filter matters only for a picture whose size changed. Scaled down for
// the view, the area filter averages each output pixel over the pixels it
// covers (as the view's own smooth scaling did), where a bilinear filter
// would weigh the middle ones more. Deeper than 8 bits, the chroma is
// interpolated and the matrix applied at full precision, rather than after
// rounding to 8 bits.
int scalerFlags(AVPixelFormat format, bool scalesDown)
{
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    const bool deep = descriptor && descriptor->comp[0].depth > 8;
    return (scalesDown ? SWS_AREA : SWS_BILINEAR) | (deep ? SWS_FULL_CHR_H_INT | SWS_ACCURATE_RND : 0);
}
// Images in use at once: the one on screen, one the viewer may still hold
// while it repaints, the one being made and those prepared ahead of it
// (FramePreparer::Ahead).
constexpr size_t ReusedImages = 5;

SwsContext* newScaler(const AVFrame* picture, AVPixelFormat format, const QSize& size, int flags)
{
    ScalerPtr scaler(sws_alloc_context());
    if (!scaler)
        return nullptr;
    SwsContext* s = scaler.get();
    av_opt_set_int(s, "srcw", picture->width, 0);
    av_opt_set_int(s, "srch", picture->height, 0);
    av_opt_set_int(s, "src_format", format, 0);
    av_opt_set_int(s, "dstw", size.width(), 0);
    av_opt_set_int(s, "dsth", size.height(), 0);
    av_opt_set_int(s, "dst_format", AV_PIX_FMT_RGB32, 0);
    av_opt_set_int(s, "sws_flags", flags, 0);
    // The bands are shared out by the BandedScaler.
    av_opt_set_int(s, "threads", 1, 0);
    if (sws_init_context(s, nullptr, nullptr) < 0)
        return nullptr;
    return scaler.release();
}

// The pixels written by the scaler belong to the caller.
void keepPixels(void*, uint8_t*) {}

void releasePicture(void* picture)
{
    auto* frame = static_cast<AVFrame*>(picture);
    av_frame_free(&frame);
}

struct ImageMemory
{
    void* block;
    size_t bytes;
};

void releaseImageMemory(void* memory)
{
    const auto* image = static_cast<ImageMemory*>(memory);
    ImageMemoryPool::give(image->block, image->bytes);
    delete image;
}

int imageBytesPerLine(const QSize& size)
{
    return FFALIGN(size.width() * 4, 64);
}

// The block an image of `size` takes in large pages; 0 for a small image.
size_t imageBlockBytes(const QSize& size)
{
    const size_t bytes = size_t(imageBytesPerLine(size)) * size_t(std::max(0, size.height()));
    return bytes < LargePages::PageBytes ? 0 : FFALIGN(bytes, LargePages::PageBytes);
}

// A new image in memory that comes in large pages, kept for the next image
// when this one goes: a picture's worth of fresh small pages cost more to
// fault in than converting into them (20 ms for 1080p on a virtual machine),
// and the view asks for new images whenever its size changes. Small images
// come from the heap.
QImage imageInLargePages(const QSize& size)
{
    const int bytesPerLine = imageBytesPerLine(size);
    const size_t blockBytes = imageBlockBytes(size);
    if (blockBytes == 0)
        return QImage(size, QImage::Format_RGB32);
    void* block = ImageMemoryPool::take(blockBytes);
    if (!block)
        return QImage(size, QImage::Format_RGB32);
    return QImage(static_cast<uchar*>(block), size.width(), size.height(), bytesPerLine, QImage::Format_RGB32,
                  &releaseImageMemory, new ImageMemory{block, blockBytes});
}

} // namespace

FrameConverter::FrameConverter(int frameWidth, int frameHeight)
    : width(frameWidth), height(frameHeight), rgbBytesPerLine(FFALIGN(frameWidth * 4, 64))
{
}

FrameConverter::~FrameConverter() = default;

bool FrameConverter::prepare(const AVFrame* picture, const QSize& size)
{
    const auto format = AVPixelFormat(picture->format);
    const ColourDescription colour = ColourDescription::ofPicture(picture);
    if (scaler.isValid() && picture->width == scalerWidth && picture->height == scalerHeight &&
        format == scalerFormat && colour == scalerColour && size == scalerOutput)
        return true;
    const bool scalesDown = size.width() < width || size.height() < height;
    const bool made = scaler.reset([&]() -> SwsContext* {
        SwsContext* next = newScaler(picture, format, size, scalerFlags(format, scalesDown));
        if (next)
            colour.applyTo(next, format);
        return next;
    });
    if (!made)
        return false;
    scalerWidth = picture->width;
    scalerHeight = picture->height;
    scalerFormat = format;
    scalerColour = colour;
    scalerOutput = size;
    return true;
}

// The scalers take the output pixels through a reference.
void FrameConverter::scale(const AVFrame* picture, uint8_t* pixels, int bytesPerLine)
{
    FramePtr output(av_frame_alloc());
    if (!output)
        return;
    output->format = AV_PIX_FMT_RGB32;
    output->width = scalerOutput.width();
    output->height = scalerOutput.height();
    output->buf[0] =
        av_buffer_create(pixels, size_t(bytesPerLine) * size_t(output->height), &keepPixels, nullptr, 0);
    if (!output->buf[0])
        return;
    output->data[0] = pixels;
    output->linesize[0] = bytesPerLine;
    scaler.scale(picture, output.get());
}

void FrameConverter::reserveImages(const QSize& size)
{
    const size_t blockBytes = imageBlockBytes(size);
    if (blockBytes > 0)
        ImageMemoryPool::reserve(blockBytes, int(ReusedImages) - 1);
}

QImage* FrameConverter::freeImage(const QSize& size)
{
    for (QImage& image : images) {
        // Held by nobody but this list: its pixels may be written again
        // (writing into a shared image would copy it first).
        if (image.isDetached() && image.size() == size)
            return &image;
    }
    if (images.size() >= ReusedImages)
        images.erase(images.begin());
    images.push_back(imageInLargePages(size));
    return images.back().isNull() ? nullptr : &images.back();
}

QImage FrameConverter::toImage(const VideoFrame& frame, QSize size)
{
    const AVFrame* picture = frame.picture.get();
    if (size.isEmpty())
        size = QSize(width, height);
    if (!frame.isValid() || size.isEmpty())
        return QImage();
    if (picture->format == AV_PIX_FMT_RGB32 && picture->width == width && picture->height == height) {
        AVFrame* shared = av_frame_clone(picture);
        if (!shared)
            return QImage();
        const QImage image(static_cast<const uchar*>(shared->data[0]), width, height, shared->linesize[0],
                           QImage::Format_RGB32, &releasePicture, shared);
        // The scaler would take RGB through YUV and back, which is slower and
        // not exact; Qt's smooth scaling averages the RGB pixels themselves.
        return size == image.size() ? image
                                    : image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    if (!prepare(picture, size))
        return QImage();
    QImage* image = freeImage(size);
    if (!image)
        return QImage();
    scale(picture, image->bits(), int(image->bytesPerLine()));
    return *image;
}

FramePtr FrameConverter::toRgbFrame(const AVFrame* picture)
{
    if (!picture || width <= 0 || height <= 0 || !prepare(picture, QSize(width, height)))
        return nullptr;
    if (!rgbPool)
        rgbPool = BlockBufferPool::create(size_t(rgbBytesPerLine) * size_t(height));
    FramePtr rgb(av_frame_alloc());
    if (!rgbPool || !rgb)
        return nullptr;
    rgb->buf[0] = av_buffer_pool_get(rgbPool.get());
    if (!rgb->buf[0])
        return nullptr;
    rgb->data[0] = rgb->buf[0]->data;
    rgb->linesize[0] = rgbBytesPerLine;
    rgb->format = AV_PIX_FMT_RGB32;
    rgb->width = width;
    rgb->height = height;
    scale(picture, rgb->data[0], rgbBytesPerLine);
    return rgb;
}
