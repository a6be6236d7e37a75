#pragma once

#include "avholders.h"
#include "bandedscaler.h"
#include "colourdescription.h"

#include <QImage>
#include <vector>

class VideoFrame;

// Turns decoded pictures into 32-bit RGB, the layout the screen takes
// (QImage::Format_RGB32): for the cache where the decoder's own format would
// take more room than RGB, at the size the stream was opened with (whatever
// size a picture arrives in); for the viewer at the size it asks for, in one
// pass (the colour conversion and the scaling together; a picture kept as RGB
// is scaled as RGB). Each picture is
// converted with its own colour description (matrix and range, see
// ColourDescription), from the full precision of its format.
//
// Nothing large is allocated per picture once it runs: images are reused as
// soon as nobody else holds them, RGB pictures for the cache come from a
// buffer pool, and the scalers are kept while the size, format and colour
// stay the same. Each picture is spread over the cores, a band of rows to a
// scaler (BandedScaler). One converter serves one thread at a time.
class FrameConverter
{
public:
    FrameConverter(int width, int height);
    ~FrameConverter();
    FrameConverter(const FrameConverter&) = delete;
    FrameConverter& operator=(const FrameConverter&) = delete;

    // The picture as an image of `size` (the stream's size when empty); a
    // null image when it cannot be converted. A picture the cache already
    // keeps as RGB is shared, not copied, at the stream's size.
    QImage toImage(const VideoFrame& frame, QSize size = QSize());
    // The picture converted to 32-bit RGB in a pooled buffer; null on failure.
    FramePtr toRgbFrame(const AVFrame* picture);
    // Puts in place, ahead of need, the memory of as many images of `size`
    // as a converter keeps for reuse, but one (ImageMemoryPool).
    static void reserveImages(const QSize& size);

private:
    bool prepare(const AVFrame* picture, const QSize& size);
    void scale(const AVFrame* picture, uint8_t* pixels, int bytesPerLine);
    // An image of `size` of the list nobody else holds, or a new one.
    QImage* freeImage(const QSize& size);

    int width;
    int height;
    int rgbBytesPerLine;
    BandedScaler scaler;
    int scalerWidth = 0;
    int scalerHeight = 0;
    AVPixelFormat scalerFormat = AV_PIX_FMT_NONE;
    ColourDescription scalerColour;
    QSize scalerOutput;
    BufferPoolPtr rgbPool;
    std::vector<QImage> images;
};
