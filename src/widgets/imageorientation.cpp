#include "imageorientation.h"

ImageOrientation::ImageOrientation(bool flipHorizontal, bool flipVertical, int rotationDegrees)
    : m_flipHorizontal(flipHorizontal), m_flipVertical(flipVertical)
{
    const int degrees = ((rotationDegrees % 360) + 360) % 360;
    m_rotation = (degrees + 45) / 90 % 4 * 90;
}

QSize ImageOrientation::pictureSize(const QSize& fileSize) const
{
    return swapsAxes() ? fileSize.transposed() : fileSize;
}

QTransform ImageOrientation::fileToPicture(const QSize& fileSize) const
{
    const qreal w = fileSize.width();
    const qreal h = fileSize.height();
    // Mirroring within the frame's own box...
    const QTransform mirror(m_flipHorizontal ? -1 : 1, 0, 0, m_flipVertical ? -1 : 1,
                            m_flipHorizontal ? w : 0, m_flipVertical ? h : 0);
    // ...then the clockwise turn, moved back so that the picture starts at 0, 0.
    QTransform turn;
    switch (m_rotation) {
    case 90:
        turn = QTransform(0, 1, -1, 0, h, 0); // (x, y) -> (h - y, x)
        break;
    case 180:
        turn = QTransform(-1, 0, 0, -1, w, h);
        break;
    case 270:
        turn = QTransform(0, -1, 1, 0, 0, w); // (x, y) -> (y, w - x)
        break;
    default:
        break;
    }
    return mirror * turn;
}

QImage ImageOrientation::apply(const QImage& frame) const
{
    if (isIdentity() || frame.isNull())
        return frame;
    QImage turned =
        m_flipHorizontal || m_flipVertical ? frame.mirrored(m_flipHorizontal, m_flipVertical) : frame;
    if (m_rotation != 0)
        turned = turned.transformed(QTransform().rotate(m_rotation), Qt::FastTransformation);
    return turned;
}

bool ImageOrientation::operator==(const ImageOrientation& other) const
{
    return m_flipHorizontal == other.m_flipHorizontal && m_flipVertical == other.m_flipVertical &&
           m_rotation == other.m_rotation;
}
