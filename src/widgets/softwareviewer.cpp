#include "softwareviewer.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <cmath>

namespace {

constexpr int ZoomLabelMs = 1500;
constexpr int WheelStep = 120; // one notch of a common mouse wheel, in eighths of a degree
constexpr int LabelMargin = 8;
constexpr int LabelPadding = 4;

void drawLabel(QPainter& painter, const QRect& area, Qt::Alignment corner, const QString& text)
{
    const QFontMetrics metrics = painter.fontMetrics();
    QRect box(0, 0, metrics.horizontalAdvance(text) + 2 * LabelPadding, metrics.height() + 2 * LabelPadding);
    const QRect inner = area.adjusted(LabelMargin, LabelMargin, -LabelMargin, -LabelMargin);
    box.moveLeft(corner & Qt::AlignRight ? inner.right() - box.width() + 1 : inner.left());
    box.moveTop(corner & Qt::AlignBottom ? inner.bottom() - box.height() + 1 : inner.top());
    painter.fillRect(box, QColor(0, 0, 0, 170));
    painter.setPen(QColor(230, 230, 230));
    painter.drawText(box, Qt::AlignCenter, text);
}

} // namespace

SoftwareViewer::SoftwareViewer(QWidget* parent) : QWidget(parent), m_renderer(new ViewRenderer(this))
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setMinimumSize(100, 100);
    // Every paint covers the whole widget.
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(m_renderer, &ViewRenderer::rendered, this, &SoftwareViewer::showRendered);
    m_zoomLabelTimer.setSingleShot(true);
    m_zoomLabelTimer.setInterval(ZoomLabelMs);
    connect(&m_zoomLabelTimer, &QTimer::timeout, this, qOverload<>(&QWidget::update));
}

void SoftwareViewer::setPixmap(QPixmap pixmap)
{
    const QImage image = pixmap.toImage();
    setFrame(image, image.size(), nullptr);
    m_framePixmap = pixmap;
}

void SoftwareViewer::setImage(const QImage& image)
{
    setFrame(image, image.size(), nullptr);
}

void SoftwareViewer::setPreparedImage(const QImage& image, const QSize& fileSize, ImageSource fileImage)
{
    if (image.size() == fileSize || image.isNull())
        setFrame(image, image.size(), nullptr);
    else
        setFrame(image, fileSize, std::move(fileImage));
}

void SoftwareViewer::setFrame(const QImage& frame, const QSize& fileSize, ImageSource fileImage)
{
    m_frame = frame;
    m_fileSize = fileSize;
    m_fileImage = std::move(fileImage);
    m_fileImageCache = m_fileImage ? QImage() : frame;
    m_framePixmap = QPixmap();
    m_turnedPixmap = QPixmap();
    m_view.setPictureSize(m_orientation.pictureSize(fileSize));
    if (frame.isNull()) {
        // Nothing to render: black at once.
        m_shown = ViewRenderer::Picture();
        m_shown.serial = ++m_requested;
        update();
        return;
    }
    scheduleRender();
}

QImage SoftwareViewer::image() const
{
    if (m_fileImageCache.isNull() && m_fileImage)
        m_fileImageCache = m_fileImage();
    return m_fileImageCache;
}

QSize SoftwareViewer::wantedPictureSize() const
{
    return m_frame.isNull() ? QSize() : wantedPictureSize(m_fileSize);
}

QSize SoftwareViewer::wantedPictureSize(const QSize& fileSize) const
{
    if (fileSize.isEmpty())
        return QSize();
    // The view as rendering will find it, with a picture of this size.
    ViewTransform view = m_view;
    view.setViewportSize(deviceViewportSize());
    view.setPictureSize(m_orientation.pictureSize(fileSize));
    const QSize shown = view.pictureRect().size();
    const QSize unturned = m_orientation.swapsAxes() ? shown.transposed() : shown;
    const bool smaller = unturned.width() < fileSize.width() || unturned.height() < fileSize.height();
    return smaller && !unturned.isEmpty() ? unturned : fileSize;
}

QPixmap SoftwareViewer::pixmap() const
{
    if (m_frame.isNull())
        return QPixmap();
    if (m_orientation.isIdentity() && !m_framePixmap.isNull())
        return m_framePixmap;
    if (m_turnedPixmap.isNull())
        m_turnedPixmap = QPixmap::fromImage(m_orientation.apply(image()));
    return m_turnedPixmap;
}

void SoftwareViewer::setFlip(bool horizontal, bool vertical)
{
    setOrientation(ImageOrientation(horizontal, vertical, m_orientation.rotation()));
}

void SoftwareViewer::setRotation(int degrees)
{
    setOrientation(ImageOrientation(m_orientation.flipHorizontal(), m_orientation.flipVertical(), degrees));
}

void SoftwareViewer::setOrientation(const ImageOrientation& orientation)
{
    if (orientation == m_orientation)
        return;
    // A zoomed view keeps the same spot of the frame in its middle.
    const QSize fileSize = m_fileSize;
    const QPointF middle = toDevice(QPointF(width() / 2.0, height() / 2.0));
    const QPointF filePoint =
        m_orientation.fileToPicture(fileSize).inverted().map(m_view.deviceToPicture(middle));
    m_orientation = orientation;
    m_turnedPixmap = QPixmap();
    m_view.setPictureSize(orientation.pictureSize(fileSize));
    m_view.centreOn(orientation.fileToPicture(fileSize).map(filePoint));
    viewChanged();
}

int SoftwareViewer::displayedWidth() const
{
    return m_frame.isNull() ? 0 : qRound(m_view.pictureRect().width() / pixelRatio());
}

int SoftwareViewer::displayedHeight() const
{
    return m_frame.isNull() ? 0 : qRound(m_view.pictureRect().height() / pixelRatio());
}

QString SoftwareViewer::zoomText() const
{
    const double percent = m_view.zoom() * 100.0;
    const bool whole = std::abs(percent - std::round(percent)) < 0.05;
    const QString number = QString::number(percent, 'f', whole ? 0 : 1) + QLatin1Char('%');
    return m_view.isFit() ? QStringLiteral("Fit ") + number : number;
}

QPoint SoftwareViewer::filePixelAt(const QPoint& position) const
{
    if (m_frame.isNull() || m_view.pictureRect().isEmpty())
        return QPoint(-1, -1);
    // The centre of the device pixel there, as the renderer samples it.
    const QPointF device = toDevice(position);
    const QPointF centre(std::floor(device.x()) + 0.5, std::floor(device.y()) + 0.5);
    const QPointF file =
        m_orientation.fileToPicture(m_fileSize).inverted().map(m_view.deviceToPicture(centre));
    const QPoint pixel(int(std::floor(file.x())), int(std::floor(file.y())));
    return QRect(QPoint(0, 0), m_fileSize).contains(pixel) ? pixel : QPoint(-1, -1);
}

QString SoftwareViewer::pixelReadoutText() const
{
    // The file's pixels are converted only for a readout that shows one.
    const QPoint pixel = filePixelAt(m_readout.pointer());
    if (!m_readout.isEnabled() || !m_readout.hasPointer() || pixel.x() < 0)
        return QString();
    return m_readout.text(image(), pixel);
}

bool SoftwareViewer::isPictureCurrent() const
{
    return !m_renderScheduled && m_shown.serial == m_requested;
}

void SoftwareViewer::zoomIn()
{
    m_view.zoomIn(toDevice(QPointF(width() / 2.0, height() / 2.0)));
    zoomChanged();
}

void SoftwareViewer::zoomOut()
{
    m_view.zoomOut(toDevice(QPointF(width() / 2.0, height() / 2.0)));
    zoomChanged();
}

void SoftwareViewer::zoomToActualPixels()
{
    m_view.zoomTo(1.0, toDevice(QPointF(width() / 2.0, height() / 2.0)));
    zoomChanged();
}

void SoftwareViewer::fitToWindow()
{
    m_view.fitToViewport();
    zoomChanged();
}

void SoftwareViewer::setPixelReadoutEnabled(bool enabled)
{
    m_readout.setEnabled(enabled);
    // The readout follows the pointer even while no button is held.
    setMouseTracking(enabled);
    if (enabled) {
        const QPoint pointer = mapFromGlobal(QCursor::pos());
        if (rect().contains(pointer))
            m_readout.setPointer(pointer);
    }
    update();
}

void SoftwareViewer::zoomChanged()
{
    m_zoomLabelTimer.start();
    viewChanged();
}

void SoftwareViewer::viewChanged()
{
    update();
    if (!m_frame.isNull())
        scheduleRender();
}

void SoftwareViewer::scheduleRender()
{
    // Several changes in one pass of the event loop (a frame and its
    // orientation) make one job.
    if (m_renderScheduled)
        return;
    m_renderScheduled = true;
    QMetaObject::invokeMethod(this, &SoftwareViewer::requestRender, Qt::QueuedConnection);
}

void SoftwareViewer::requestRender()
{
    m_renderScheduled = false;
    // A hidden viewer renders when it is shown.
    if (m_frame.isNull() || !isVisible())
        return;
    updateViewport();
    ViewRenderer::Job job;
    job.frame = m_frame;
    job.fileSize = m_fileSize;
    job.fileImage = m_fileImage;
    job.orientation = m_orientation;
    job.pictureRect = m_view.pictureRect();
    job.viewportSize = m_view.viewportSize();
    job.devicePixelRatio = pixelRatio();
    job.serial = ++m_requested;
    // No thread to wake for no work: on a busy machine the wake-up and the
    // way back can take longer than a frame lasts.
    if (ViewRenderer::showsFrameAsItIs(job))
        showRendered(ViewRenderer::render(job));
    else
        m_renderer->request(job);
}

void SoftwareViewer::showRendered(const ViewRenderer::Picture& picture)
{
    // A picture of an older job arriving after a newer one was shown.
    if (picture.serial < m_shown.serial)
        return;
    QImage replaced = std::move(m_shown.image);
    m_shown = picture;
    m_renderer->recycle(std::move(replaced));
    update();
}

void SoftwareViewer::updateViewport()
{
    m_view.setViewportSize(deviceViewportSize());
}

QSize SoftwareViewer::deviceViewportSize() const
{
    const qreal ratio = pixelRatio();
    return QSize(qRound(width() * ratio), qRound(height() * ratio));
}

qreal SoftwareViewer::pixelRatio() const
{
    return devicePixelRatioF();
}

QPointF SoftwareViewer::toDevice(const QPointF& position) const
{
    return position * pixelRatio();
}

QRectF SoftwareViewer::shownPictureTarget() const
{
    if (m_shown.image.isNull())
        return QRectF();
    // Rendered for another view: where its part of the picture lies now.
    const QRect now = m_view.pictureRect();
    const QRect then = m_shown.pictureRect;
    const QRect& from = m_shown.deviceRect;
    QRectF device = from;
    if (now != then && !now.isEmpty()) {
        const double sx = double(now.width()) / then.width();
        const double sy = double(now.height()) / then.height();
        device = QRectF(now.x() + (from.x() - then.x()) * sx, now.y() + (from.y() - then.y()) * sy,
                        from.width() * sx, from.height() * sy);
    }
    const qreal ratio = pixelRatio();
    return QRectF(device.topLeft() / ratio, device.size() / ratio);
}

void SoftwareViewer::paintEvent(QPaintEvent*)
{
    if (!m_frame.isNull() && deviceViewportSize() != m_view.viewportSize()) {
        // Moved to a screen of another pixel ratio.
        updateViewport();
        scheduleRender();
    }
    QPainter painter(this);
    const QRectF target = shownPictureTarget();
    // Black where the picture leaves the widget uncovered.
    const QRect inside(QPoint(int(std::ceil(target.left())), int(std::ceil(target.top()))),
                       QPoint(int(std::floor(target.right())) - 1, int(std::floor(target.bottom())) - 1));
    for (const QRect& band : QRegion(rect()).subtracted(QRegion(inside)))
        painter.fillRect(band, Qt::black);
    if (!target.isEmpty()) {
        if (target.size() == QSizeF(m_shown.image.size()) / m_shown.image.devicePixelRatio())
            painter.drawImage(target.topLeft(), m_shown.image);
        else
            painter.drawImage(target, m_shown.image);
    }
    paintOverlays(painter);
    if (m_shown.serial != m_painted && !m_shown.image.isNull()) {
        m_painted = m_shown.serial;
        emit picturePainted();
    }
}

void SoftwareViewer::paintOverlays(QPainter& painter)
{
    if (m_zoomLabelTimer.isActive() && !m_frame.isNull())
        drawLabel(painter, rect(), Qt::AlignTop | Qt::AlignLeft, zoomText());
    const QString readout = pixelReadoutText();
    if (!readout.isEmpty())
        drawLabel(painter, rect(), Qt::AlignBottom | Qt::AlignLeft, readout);
}

void SoftwareViewer::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateViewport();
    viewChanged();
}

void SoftwareViewer::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    updateViewport();
    viewChanged();
}

void SoftwareViewer::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::MiddleButton) {
        event->ignore();
        return;
    }
    m_panning = true;
    m_panLast = event->pos();
    setCursor(Qt::ClosedHandCursor);
}

void SoftwareViewer::mouseMoveEvent(QMouseEvent* event)
{
    if (m_readout.isEnabled()) {
        m_readout.setPointer(event->pos());
        update();
    }
    if (!m_panning) {
        event->ignore();
        return;
    }
    const QPoint moved = event->pos() - m_panLast;
    m_panLast = event->pos();
    m_view.panBy(toDevice(moved).toPoint());
    viewChanged();
}

void SoftwareViewer::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::MiddleButton || !m_panning) {
        event->ignore();
        return;
    }
    m_panning = false;
    unsetCursor();
}

void SoftwareViewer::wheelEvent(QWheelEvent* event)
{
    if (!(event->modifiers() & Qt::ControlModifier)) {
        event->ignore();
        return;
    }
    // Fine-grained wheels and touchpads add up to whole steps.
    m_wheelAngle += event->angleDelta().y();
    // The centre of the device pixel under the pointer, as the picture samples it.
    const QPointF device = toDevice(event->position());
    const QPointF anchor(std::floor(device.x()) + 0.5, std::floor(device.y()) + 0.5);
    const int steps = m_wheelAngle / WheelStep;
    m_wheelAngle -= steps * WheelStep;
    for (int i = 0; i < std::abs(steps); ++i) {
        if (steps > 0)
            m_view.zoomIn(anchor);
        else
            m_view.zoomOut(anchor);
    }
    if (steps != 0)
        zoomChanged();
}

void SoftwareViewer::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    if (m_readout.hasPointer()) {
        m_readout.clearPointer();
        update();
    }
}
