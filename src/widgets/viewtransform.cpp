#include "viewtransform.h"

#include <QtGlobal>
#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Zoom factors closer than this are the same step.
constexpr double SameStep = 1e-6;

std::vector<double> zoomSteps(double fit)
{
    std::vector<double> steps;
    for (double zoom = ViewTransform::MinimumZoom; zoom <= ViewTransform::MaximumZoom; zoom *= 2.0)
        steps.push_back(zoom);
    if (fit > 0.0)
        steps.push_back(fit);
    std::sort(steps.begin(), steps.end());
    return steps;
}

bool sameZoom(double a, double b)
{
    return std::abs(a - b) <= SameStep * std::max(a, b);
}

// The whole-pixel origin nearest to the one that keeps picture point `point`
// under device point `anchor` at `scale`, kept where possible within the
// origins that leave the same picture pixel under the anchor.
int anchoredOrigin(double anchor, double point, double scale)
{
    const double ideal = anchor - point * scale;
    int origin = qRound(ideal);
    const double cell = std::floor(point);
    const double highest = anchor - cell * scale;      // inclusive
    const double lowest = anchor - (cell + 1) * scale; // exclusive
    if (origin > highest)
        origin = int(std::floor(highest));
    else if (origin <= lowest)
        origin = int(std::floor(lowest)) + 1;
    // A picture pixel narrower than a device pixel may leave no whole origin in that range.
    if (origin > highest || origin <= lowest)
        origin = qRound(ideal);
    return origin;
}

} // namespace

void ViewTransform::setPictureSize(const QSize& size)
{
    if (size == m_pictureSize)
        return;
    m_pictureSize = size;
    // Another picture size: a zoomed view starts centred.
    m_offset = -QPoint(zoomedSize(m_zoom).width() / 2, zoomedSize(m_zoom).height() / 2);
}

void ViewTransform::setViewportSize(const QSize& size)
{
    m_viewportSize = size;
}

double ViewTransform::fitZoom() const
{
    if (m_pictureSize.isEmpty() || m_viewportSize.isEmpty())
        return 0.0;
    return std::min(double(m_viewportSize.width()) / m_pictureSize.width(),
                    double(m_viewportSize.height()) / m_pictureSize.height());
}

double ViewTransform::zoom() const
{
    return m_fit ? fitZoom() : m_zoom;
}

void ViewTransform::fitToViewport()
{
    m_fit = true;
}

void ViewTransform::zoomTo(double zoom, const QPointF& anchor)
{
    zoom = std::clamp(zoom, MinimumZoom, MaximumZoom);
    const QRect before = pictureRect();
    if (before.isEmpty()) {
        m_fit = false;
        m_zoom = zoom;
        return;
    }
    const QPointF point = deviceToPicture(anchor);
    const QSize size = zoomedSize(zoom);
    const QPoint origin(
        anchoredOrigin(anchor.x(), point.x(), double(size.width()) / m_pictureSize.width()),
        anchoredOrigin(anchor.y(), point.y(), double(size.height()) / m_pictureSize.height()));
    m_fit = false;
    m_zoom = zoom;
    m_offset = origin - viewportCentre();
    keepCentreCovered();
}

void ViewTransform::zoomIn(const QPointF& anchor)
{
    if (pictureRect().isEmpty())
        return;
    const double current = zoom();
    const double fit = fitZoom();
    for (const double step : zoomSteps(fit)) {
        if (step > current && !sameZoom(step, current)) {
            if (fit > 0.0 && sameZoom(step, fit))
                fitToViewport();
            else
                zoomTo(step, anchor);
            return;
        }
    }
}

void ViewTransform::zoomOut(const QPointF& anchor)
{
    if (pictureRect().isEmpty())
        return;
    const double current = zoom();
    const double fit = fitZoom();
    const std::vector<double> steps = zoomSteps(fit);
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        if (*step < current && !sameZoom(*step, current)) {
            if (fit > 0.0 && sameZoom(*step, fit))
                fitToViewport();
            else
                zoomTo(*step, anchor);
            return;
        }
    }
}

void ViewTransform::panBy(const QPoint& delta)
{
    if (m_fit)
        return;
    m_offset += delta;
    keepCentreCovered();
}

void ViewTransform::centreOn(const QPointF& picturePoint)
{
    if (m_fit || m_pictureSize.isEmpty())
        return;
    const QSize size = zoomedSize(m_zoom);
    m_offset = -QPoint(qRound(picturePoint.x() * size.width() / m_pictureSize.width()),
                       qRound(picturePoint.y() * size.height() / m_pictureSize.height()));
    keepCentreCovered();
}

QRect ViewTransform::pictureRect() const
{
    if (m_pictureSize.isEmpty() || m_viewportSize.isEmpty())
        return QRect();
    if (m_fit) {
        QSize size = m_pictureSize.scaled(m_viewportSize, Qt::KeepAspectRatio);
        // A picture shown smaller is converted to that size, which swscale
        // does several times slower to an odd width (8 ms against 1.6 ms for
        // 1080p): it is a pixel narrower instead.
        if (size.width() % 2 != 0 && size.width() > 1 && size.width() < m_pictureSize.width())
            size.rwidth() -= 1;
        // Integer halves: an odd spare pixel stays on the right (or bottom).
        return QRect(QPoint((m_viewportSize.width() - size.width()) / 2,
                            (m_viewportSize.height() - size.height()) / 2),
                     size);
    }
    return QRect(viewportCentre() + m_offset, zoomedSize(m_zoom));
}

QTransform ViewTransform::pictureToDevice() const
{
    const QRect rect = pictureRect();
    if (rect.isEmpty())
        return QTransform();
    return QTransform(double(rect.width()) / m_pictureSize.width(), 0, 0,
                      double(rect.height()) / m_pictureSize.height(), rect.x(), rect.y());
}

QPointF ViewTransform::deviceToPicture(const QPointF& device) const
{
    const QRect rect = pictureRect();
    if (rect.isEmpty())
        return QPointF();
    return QPointF((device.x() - rect.x()) * m_pictureSize.width() / rect.width(),
                   (device.y() - rect.y()) * m_pictureSize.height() / rect.height());
}

QSize ViewTransform::zoomedSize(double zoom) const
{
    return QSize(std::max(1, qRound(m_pictureSize.width() * zoom)),
                 std::max(1, qRound(m_pictureSize.height() * zoom)));
}

QPoint ViewTransform::viewportCentre() const
{
    return QPoint(m_viewportSize.width() / 2, m_viewportSize.height() / 2);
}

void ViewTransform::keepCentreCovered()
{
    const QSize size = zoomedSize(m_zoom);
    m_offset.setX(std::clamp(m_offset.x(), -size.width(), 0));
    m_offset.setY(std::clamp(m_offset.y(), -size.height(), 0));
}
