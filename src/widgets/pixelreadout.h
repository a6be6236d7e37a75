#pragma once

#include <QImage>
#include <QPoint>
#include <QString>

// The pixel readout of the viewer: where the pointer is, and the text that
// names the file pixel under it and its value.
class PixelReadout
{
public:
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);

    // In widget coordinates; cleared when the pointer leaves the viewer.
    bool hasPointer() const { return m_hasPointer; }
    QPoint pointer() const { return m_pointer; }
    void setPointer(const QPoint& position);
    void clearPointer();

    // "X 12  Y 34   R 255  G 0  B 17" for pixel `filePixel` of `frame`; empty
    // while off, while the pointer is away, or when the pixel is off the frame.
    QString text(const QImage& frame, const QPoint& filePixel) const;

private:
    bool m_enabled = false;
    bool m_hasPointer = false;
    QPoint m_pointer;
};
