#pragma once

#include "imageorientation.h"
#include "pixelreadout.h"
#include "viewrenderer.h"
#include "viewtransform.h"

#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <functional>

// Shows the current video frame on black: fitted to the widget with its
// aspect ratio kept (the default), or zoomed and panned. The playback
// controller hands it frames as they are decoded (setImage, or setPixmap) and
// the mirroring and rotation to show them with; a null frame clears the
// picture. A frame may come already scaled to the size it is shown at
// (setPreparedImage, see wantedPictureSize()), with a way to get the file's
// pixels for whatever needs them: they are converted only then.
//
// Scaling runs on the ViewRenderer's thread, once per new frame or view; a
// paint only copies the finished picture. Until a new picture is ready the
// last one stays on screen (moved to the new view when the view changed).
//
// Mouse: Ctrl+wheel zooms on the pointer, the middle button pans. Other
// buttons and the plain wheel are left to the parent (the player window
// scrubs with the left button).
class SoftwareViewer : public QWidget
{
    Q_OBJECT

public:
    // Gives the file's pixels of a frame; may be called on any thread.
    using ImageSource = std::function<QImage()>;

    explicit SoftwareViewer(QWidget* parent = nullptr);

    // `image` is the frame at the file's size `fileSize`, or scaled to
    // wantedPictureSize(); `fileImage` gives the frame at the file's size.
    void setPreparedImage(const QImage& image, const QSize& fileSize, ImageSource fileImage);
    // The size in device pixels to hand frames over at: while the whole
    // picture is shown smaller than the file (fitted, or zoomed out), the
    // size of the whole picture on screen, not turned; else the file's size.
    // Empty while there is no frame.
    QSize wantedPictureSize() const;
    // The same for a frame of `fileSize` about to be handed over, as the view
    // will be once it is shown: also for the first frame of a clip.
    QSize wantedPictureSize(const QSize& fileSize) const;

    // The frame as shown: mirrored and rotated, whole, at the file's size.
    QPixmap pixmap() const;
    // The frame in the file's pixels.
    QImage image() const;
    ImageOrientation orientation() const { return m_orientation; }
    // The size of the whole picture on screen, in widget pixels; 0 while
    // there is no picture.
    int displayedWidth() const;
    int displayedHeight() const;

    bool isFitToWindow() const { return m_view.isFit(); }
    // Device pixels per file pixel.
    double zoom() const { return m_view.zoom(); }
    // "Fit 47%", "100%", "12.5%".
    QString zoomText() const;
    // The file pixel shown at a point of the widget; (-1, -1) off the picture.
    QPoint filePixelAt(const QPoint& position) const;

    bool isPixelReadoutEnabled() const { return m_readout.isEnabled(); }
    // What the readout shows for the pointer now; empty when it shows nothing.
    QString pixelReadoutText() const;

    // The picture on screen is the one for the latest frame, view and orientation.
    bool isPictureCurrent() const;

public slots:
    void setPixmap(QPixmap pixmap);
    void setImage(const QImage& image);
    void setFlip(bool horizontal, bool vertical);
    void setRotation(int degrees);

    // Centred on the middle of the widget.
    void zoomIn();
    void zoomOut();
    void zoomToActualPixels();
    void fitToWindow();
    void setPixelReadoutEnabled(bool enabled);

signals:
    // A paint put a newly rendered picture on screen.
    void picturePainted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void setFrame(const QImage& frame, const QSize& fileSize, ImageSource fileImage);
    void setOrientation(const ImageOrientation& orientation);
    void viewChanged();
    void zoomChanged();
    void scheduleRender();
    void requestRender();
    void showRendered(const ViewRenderer::Picture& picture);
    void updateViewport();
    QSize deviceViewportSize() const;
    qreal pixelRatio() const;
    QPointF toDevice(const QPointF& position) const;
    QRectF shownPictureTarget() const;
    void paintOverlays(QPainter& painter);

    QImage m_frame; // as handed over: the file's pixels, or them scaled for the view
    QSize m_fileSize;
    ImageSource m_fileImage;         // while m_frame is scaled
    mutable QImage m_fileImageCache; // image(), once asked for
    QPixmap m_framePixmap;           // the pixmap handed over, while the frame came as one
    mutable QPixmap m_turnedPixmap;  // pixmap(), made on demand for this frame and orientation
    ImageOrientation m_orientation;
    ViewTransform m_view;
    PixelReadout m_readout;
    ViewRenderer* m_renderer = nullptr;
    ViewRenderer::Picture m_shown;
    quint64 m_requested = 0; // serial of the last job asked for
    bool m_renderScheduled = false;
    quint64 m_painted = 0; // serial of the last picture painted
    bool m_panning = false;
    QPoint m_panLast;
    int m_wheelAngle = 0;
    QTimer m_zoomLabelTimer;
};
