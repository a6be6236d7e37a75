#pragma once

#include <QImage>
#include <QSize>
#include <QTransform>

// How a frame is turned for display: mirrored horizontally and/or vertically
// first, then rotated clockwise by a quarter turn, a half turn or three
// quarters. The frame as decoded has the "file" coordinates; the turned one
// the "picture" coordinates. Both count pixels, y down.
class ImageOrientation
{
public:
    ImageOrientation() = default;
    // Degrees are taken modulo 360 and rounded to the nearest quarter turn.
    ImageOrientation(bool flipHorizontal, bool flipVertical, int rotationDegrees);

    bool flipHorizontal() const { return m_flipHorizontal; }
    bool flipVertical() const { return m_flipVertical; }
    int rotation() const { return m_rotation; } // 0, 90, 180 or 270
    bool isIdentity() const { return !m_flipHorizontal && !m_flipVertical && m_rotation == 0; }
    // Width and height trade places at a quarter turn.
    bool swapsAxes() const { return m_rotation == 90 || m_rotation == 270; }

    QSize pictureSize(const QSize& fileSize) const;
    // Maps file coordinates to picture coordinates for a frame of fileSize.
    QTransform fileToPicture(const QSize& fileSize) const;
    // The whole frame, turned (a shallow copy when there is nothing to turn).
    QImage apply(const QImage& frame) const;

    bool operator==(const ImageOrientation& other) const;
    bool operator!=(const ImageOrientation& other) const { return !(*this == other); }

private:
    bool m_flipHorizontal = false;
    bool m_flipVertical = false;
    int m_rotation = 0;
};
