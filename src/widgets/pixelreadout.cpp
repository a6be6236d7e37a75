#include "pixelreadout.h"

void PixelReadout::setEnabled(bool enabled)
{
    m_enabled = enabled;
}

void PixelReadout::setPointer(const QPoint& position)
{
    m_pointer = position;
    m_hasPointer = true;
}

void PixelReadout::clearPointer()
{
    m_hasPointer = false;
}

QString PixelReadout::text(const QImage& frame, const QPoint& filePixel) const
{
    if (!m_enabled || !m_hasPointer || !frame.valid(filePixel))
        return QString();
    const QRgb value = frame.pixel(filePixel);
    return QStringLiteral("X %1  Y %2   R %3  G %4  B %5")
        .arg(filePixel.x())
        .arg(filePixel.y())
        .arg(qRed(value))
        .arg(qGreen(value))
        .arg(qBlue(value));
}
