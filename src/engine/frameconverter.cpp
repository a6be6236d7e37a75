#include "frameconverter.h"

#include "videoframe.h"

extern "C" {
#include <libavutil/macros.h>
#include <libavutil/pixdesc.h>
}

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

void releasePicture(void* picture)
{
    auto* frame = static_cast<AVFrame*>(picture);
    av_frame_free(&frame);
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
    if (scaler && picture->width == scalerWidth && picture->height == scalerHeight &&
        format == scalerFormat && colour == scalerColour && size == scalerOutput)
        return true;
    const bool scalesDown = size.width() < width || size.height() < height;
    SwsContext* next = sws_getCachedContext(scaler.release(), picture->width, picture->height, format,
                                            size.width(), size.height(), AV_PIX_FMT_RGB32,
                                            scalerFlags(format, scalesDown), nullptr, nullptr, nullptr);
    scaler.reset(next);
    if (!next)
        return false;
    colour.applyTo(next, format);
    scalerWidth = picture->width;
    scalerHeight = picture->height;
    scalerFormat = format;
    scalerColour = colour;
    scalerOutput = size;
    return true;
}

void FrameConverter::scale(const AVFrame* picture, uint8_t* pixels, int bytesPerLine)
{
    uint8_t* planes[4] = {pixels, nullptr, nullptr, nullptr};
    int strides[4] = {bytesPerLine, 0, 0, 0};
    sws_scale(scaler.get(), picture->data, picture->linesize, 0, picture->height, planes, strides);
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
    images.emplace_back(size, QImage::Format_RGB32);
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
        rgbPool.reset(av_buffer_pool_init(size_t(rgbBytesPerLine) * size_t(height), nullptr));
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
