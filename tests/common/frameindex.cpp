#include "frameindex.h"

#include <QImage>

namespace {

constexpr int bitCount = 16;
// A bit cell and its inverted twin must differ by at least this much luma;
// lossy codecs blur the edges but keep the cell centres far apart.
constexpr int minimumContrast = 64;

int lumaAt(const uint8_t* rgb, int bytesPerLine, int x, int y)
{
    const uint8_t* p = rgb + static_cast<long>(y) * bytesPerLine + x * 3;
    return (p[0] * 299 + p[1] * 587 + p[2] * 114) / 1000;
}

// Mean luma of a small square around (cx, cy), clipped to the picture.
int cellLuma(const uint8_t* rgb, int width, int height, int bytesPerLine, int cx, int cy, int radius)
{
    long sum = 0;
    int count = 0;
    for (int y = cy - radius; y <= cy + radius; ++y) {
        for (int x = cx - radius; x <= cx + radius; ++x) {
            if (x < 0 || y < 0 || x >= width || y >= height)
                continue;
            sum += lumaAt(rgb, bytesPerLine, x, y);
            ++count;
        }
    }
    return count ? static_cast<int>(sum / count) : 0;
}

int decodeBits(const int* bits, const int* inverted)
{
    int value = 0;
    for (int i = 0; i < bitCount; ++i) {
        const int contrast = bits[i] - inverted[i];
        if (contrast > -minimumContrast && contrast < minimumContrast)
            return -1;
        value = (value << 1) | (contrast > 0 ? 1 : 0);
    }
    return value;
}

} // namespace

namespace FrameIndex {

int read(const uint8_t* rgb, int width, int height, int bytesPerLine)
{
    if (!rgb || width <= 0 || height <= 0)
        return -1;
    int bits[bitCount];
    int inverted[bitCount];
    if (width < bitCount) {
        const int cells = 2 * bitCount;
        const int radius = height / cells / 4;
        for (int i = 0; i < bitCount; ++i) {
            const int y = (2 * i + 1) * height / (2 * cells);
            const int yInverted = (2 * (i + bitCount) + 1) * height / (2 * cells);
            bits[i] = cellLuma(rgb, width, height, bytesPerLine, width / 2, y, radius);
            inverted[i] = cellLuma(rgb, width, height, bytesPerLine, width / 2, yInverted, radius);
        }
        return decodeBits(bits, inverted);
    }
    const int rows = 9;
    const int radius = qMin(width / bitCount, height / rows) / 5;
    const int y = height / (2 * rows);
    const int yInverted = 3 * height / (2 * rows);
    for (int i = 0; i < bitCount; ++i) {
        const int x = (2 * i + 1) * width / (2 * bitCount);
        bits[i] = cellLuma(rgb, width, height, bytesPerLine, x, y, radius);
        inverted[i] = cellLuma(rgb, width, height, bytesPerLine, x, yInverted, radius);
    }
    return decodeBits(bits, inverted);
}

int read(const QImage& image)
{
    if (image.isNull())
        return -1;
    const QImage rgb =
        image.format() == QImage::Format_RGB888 ? image : image.convertToFormat(QImage::Format_RGB888);
    return read(rgb.constBits(), rgb.width(), rgb.height(), rgb.bytesPerLine());
}

} // namespace FrameIndex
