#include "rangetimelinewidget.h"

#include "appsettings.h"

#include <QAction>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

const QColor RangeTimelineWidget::rangeEndMarkColour(140, 140, 140);

TimelineWidget::Metrics RangeTimelineWidget::rangeMetrics()
{
    Metrics metrics;
    metrics.height = 46;
    metrics.sideMargin = 50;
    metrics.labelGap = 6;
    metrics.topRowHeight = 14;
    metrics.barHeight = 1;
    metrics.markerWidth = 2;
    metrics.markerHeight = 24;
    metrics.handleLineWidth = 2;
    metrics.handleLineHeight = 23;
    metrics.cacheHeight = 1;
    metrics.frameLabelPointSize = 12;
    metrics.offersRangeBookmarks = false;
    return metrics;
}

RangeTimelineWidget::RangeTimelineWidget(QWidget* parent) : TimelineWidget(rangeMetrics(), parent)
{
    relayout(); // the base constructor laid out without this class's margin rule
}

int RangeTimelineWidget::sideMarginForLabels() const
{
    // Frame labels keep their digits' width (the digits of the font are
    // tabular), so the margin only changes with the label style, the frame
    // rate or the order of magnitude of the clip length.
    const QFontMetrics labelMetrics(fontOfSize(metrics.sideLabelPointSize));
    int widest = 0;
    for (int frame : {m_frameCount, m_rangeStart, m_rangeEnd})
        widest = std::max(widest, labelMetrics.horizontalAdvance(frameLabel(frame)));
    constexpr int edgeSpace = 2;
    return std::max(metrics.sideMargin, widest + metrics.labelGap + edgeSpace);
}

int RangeTimelineWidget::positionOfFrame(int frame) const
{
    if (frame < m_rangeStart || frame > m_rangeEnd)
        return NO_POSITION;
    if (m_rangeStart == m_rangeEnd)
        return m_sideMargin;
    return m_sideMargin + int(qint64(frame - m_rangeStart) * m_trackWidth / (m_rangeEnd - m_rangeStart));
}

int RangeTimelineWidget::frameAtPosition(QPoint pos) const
{
    const int d = pos.x() - m_sideMargin;
    if (d <= 0)
        return m_rangeStart;
    if (d >= m_trackWidth)
        return m_rangeEnd;
    return m_rangeStart + qRound(float(qint64(m_rangeEnd - m_rangeStart) * d) / m_trackWidth);
}

// ---- painting ----

void RangeTimelineWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    drawTrack(painter);
    drawHoverFrame(painter);
    drawCurrentFrame(painter);
    drawFrameBookmarks(painter);
    drawRangeLabels(painter);
}

void RangeTimelineWidget::drawTrack(QPainter& painter)
{
    const int left = m_sideMargin;
    const int right = left + m_trackWidth;
    painter.fillRect(left, m_barY, m_trackWidth, metrics.barHeight, Qt::gray);

    // Only the part of the cache that lies inside the range; a cache entirely
    // outside it shows nothing.
    const bool cacheInRange = m_cachedRangeEnd >= m_rangeStart && m_cachedRangeStart <= m_rangeEnd;
    if (appSettings().rangeTimelineShowCache && m_cachedRangeStart < m_cachedRangeEnd && cacheInRange) {
        int x1 = positionOfFrame(std::max(m_cachedRangeStart, m_rangeStart));
        if (x1 == NO_POSITION)
            x1 = left;
        int x2 = positionOfFrame(std::min(m_rangeEnd, m_cachedRangeEnd));
        if (x2 == NO_POSITION)
            x2 = right;
        if (x1 < x2)
            painter.fillRect(QRect(QPoint(x1, m_barY), QPoint(x2 - 1, m_barY + metrics.cacheHeight - 1)),
                             cacheColour);
    }

    const int markWidth = metrics.handleLineWidth;
    const int markHeight = metrics.handleLineHeight;
    painter.fillRect(left, m_handleY, markWidth, markHeight, rangeEndMarkColour);
    painter.fillRect(right, m_handleY, markWidth, markHeight, rangeEndMarkColour);
}

void RangeTimelineWidget::drawFrameBookmarks(QPainter& painter)
{
    if (appSettings().rangeTimelineShowFrameBookmarks)
        drawFrameBookmarkMarks(painter, m_rangeStart, m_rangeEnd, -1);
}

void RangeTimelineWidget::drawRangeLabels(QPainter& painter)
{
    painter.setFont(fontOfSize(metrics.sideLabelPointSize));
    painter.setPen(sideLabelColour);
    painter.drawText(QRect(0, m_bottomRowTop, m_leftBoxWidth, m_bottomRowHeight),
                     Qt::AlignRight | Qt::AlignVCenter, frameLabel(m_rangeStart));
    painter.drawText(QRect(m_rightBoxX, m_bottomRowTop, m_sideMargin, m_bottomRowHeight),
                     Qt::AlignLeft | Qt::AlignVCenter, frameLabel(m_rangeEnd));
}

// ---- mouse ----

void RangeTimelineWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPoint pos = event->pos();
    const int trackLeft = m_sideMargin - metrics.labelGap;
    const int trackRight = m_sideMargin + m_trackWidth + metrics.labelGap - 1;
    if (pos.x() < trackLeft || pos.x() > trackRight) {
        const QRect leftLabelBox(0, 0, m_leftBoxWidth, height());
        const QRect rightLabelBox(m_rightBoxX, 0, m_sideMargin, height());
        if (leftLabelBox.contains(pos)) {
            m_drag = Drag::StartLabel;
            m_lastDragX = event->globalPos().x();
            return;
        }
        if (rightLabelBox.contains(pos)) {
            m_drag = Drag::EndLabel;
            m_lastDragX = event->globalPos().x();
            return;
        }
    }
    m_drag = Drag::Scrubbing;
    emit frameChangeRequest(frameAtPosition(pos), false);
}

void RangeTimelineWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() == Qt::NoButton) {
        update(); // the hover marker follows the pointer
        return;
    }
    if (m_drag == Drag::Scrubbing)
        emit frameChangeRequest(frameAtPosition(event->pos()), true);
    else if (m_drag == Drag::StartLabel || m_drag == Drag::EndLabel)
        stepLabelDrag(event);
}

void RangeTimelineWidget::stepLabelDrag(QMouseEvent* event)
{
    // Pixels per frame: Shift for coarse steps, Ctrl for fine ones.
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool control = event->modifiers() & Qt::ControlModifier;
    float pixelsPerFrame = 2.0f;
    if (control && !shift)
        pixelsPerFrame = 20.0f;
    else if (shift && !control)
        pixelsPerFrame = 0.1f;

    const int x = event->globalPos().x();
    const int diff = x - m_lastDragX;
    if (-pixelsPerFrame < diff && diff < pixelsPerFrame)
        return;
    m_lastDragX = x;
    const int frames = int(diff / pixelsPerFrame);

    // No clamping here: the window validates the range it is asked for.
    if (m_drag == Drag::StartLabel) {
        const int start = m_rangeStart + frames;
        emit rangeChangeRequest(start, m_rangeEnd);
        if (m_frame < start)
            emit frameChangeRequest(start, false);
    } else {
        const int end = m_rangeEnd + frames;
        emit rangeChangeRequest(m_rangeStart, end);
        if (end < m_frame)
            emit frameChangeRequest(end, false);
    }
}

void RangeTimelineWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_drag = Drag::None;
    event->ignore();
}

// ---- context menu and display switches ----

void RangeTimelineWidget::updateContextMenu(QPoint pos)
{
    TimelineWidget::updateContextMenu(pos);
    const AppSettings& settings = appSettings();
    m_positionAtTopAction->setChecked(settings.rangeTimelinePositionAtTop);
    m_frameBookmarksAction->setChecked(settings.rangeTimelineShowFrameBookmarks);
    m_cacheAction->setChecked(settings.rangeTimelineShowCache);
}

void RangeTimelineWidget::setDisplayType(DISPLAY_TYPE type)
{
    storeDisplayType(type);
    appSettings().rangeTimelineDisplayType = m_displayType;
}

void RangeTimelineWidget::displayFrameBookmarks(bool display)
{
    appSettings().rangeTimelineShowFrameBookmarks = display;
    update();
}

void RangeTimelineWidget::displayRangeBookmarks(bool) {}

void RangeTimelineWidget::displayCache(bool display)
{
    appSettings().rangeTimelineShowCache = display;
    update();
}
