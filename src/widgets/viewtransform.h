#pragma once

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>
#include <QTransform>

// Where the picture lies in the viewer, in device pixels: scaled to fit the
// viewport (the default), or at a zoom factor with a pan offset.
//
// The zoom factor counts device pixels per picture pixel, so 1 shows one
// pixel of the frame on one pixel of the screen whatever the screen's pixel
// ratio. Zoomed, the picture's top-left corner always lies on a whole device
// pixel, so that at whole factors every picture pixel covers the same number
// of device pixels; the pan offset is kept relative to the viewport's centre,
// so that a resized viewport keeps what it showed in its middle.
class ViewTransform
{
public:
    static constexpr double MinimumZoom = 1.0 / 8.0;
    static constexpr double MaximumZoom = 32.0;

    // The picture as shown (turned already), in its own pixels.
    void setPictureSize(const QSize& size);
    QSize pictureSize() const { return m_pictureSize; }
    void setViewportSize(const QSize& size);
    QSize viewportSize() const { return m_viewportSize; }

    bool isFit() const { return m_fit; }
    // Device pixels per picture pixel; while fitted, the fit factor.
    double zoom() const;
    double fitZoom() const;

    void fitToViewport();
    // Zooms so that the picture pixel under the device point `anchor` stays
    // under it, as far as the pan limits allow.
    void zoomTo(double zoom, const QPointF& anchor);
    // The next step up or down among the powers of two from MinimumZoom to
    // MaximumZoom and the fit factor; landing on the fit factor fits. Nothing
    // happens without a picture.
    void zoomIn(const QPointF& anchor);
    void zoomOut(const QPointF& anchor);
    // Moves a zoomed picture by a distance in device pixels. The picture
    // always keeps covering the viewport's centre.
    void panBy(const QPoint& delta);
    // Moves a zoomed picture so that the picture point is in the middle.
    void centreOn(const QPointF& picturePoint);

    // The picture's rectangle in device pixels (empty without a picture or a viewport).
    QRect pictureRect() const;
    QTransform pictureToDevice() const;
    QPointF deviceToPicture(const QPointF& device) const;

private:
    QSize zoomedSize(double zoom) const;
    QPoint viewportCentre() const;
    void keepCentreCovered();

    QSize m_pictureSize;
    QSize m_viewportSize;
    bool m_fit = true;
    double m_zoom = 1.0;
    QPoint m_offset; // zoomed: the picture's top-left relative to viewportCentre()
};
