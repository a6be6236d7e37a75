#pragma once

#include "timelinewidget.h"

// A magnified view of the playback range only: its left end is the range
// start and its right end the range end. It shows the current frame (only
// while it lies inside the range), a hover marker, the frame bookmarks and the
// cached part of the range, and the range ends as labels that are dragged
// sideways to move the range start or end frame by frame.
class RangeTimelineWidget : public TimelineWidget
{
    Q_OBJECT

public:
    explicit RangeTimelineWidget(QWidget* parent = nullptr);

    // NO_POSITION for a frame outside the range.
    int positionOfFrame(int frame) const override;
    int frameAtPosition(QPoint pos) const override;

    using TimelineWidget::setDisplayType;

public slots:
    void setDisplayType(DISPLAY_TYPE type) override;
    void displayFrameBookmarks(bool display) override;
    // The range timeline draws no range bookmarks.
    void displayRangeBookmarks(bool display) override;
    void displayCache(bool display) override;

protected:
    void drawTrack(QPainter& painter) override;
    void drawFrameBookmarks(QPainter& painter) override;
    void updateContextMenu(QPoint pos) override;
    // Wide enough for the range labels: a time code does not fit the 50 pixels.
    int sideMarginForLabels() const override;

    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    static const QColor rangeEndMarkColour;

    static Metrics rangeMetrics();
    void drawRangeLabels(QPainter& painter);
    // One step of a label drag: moves the range end by whole frames once the
    // pointer has travelled far enough for the modifiers held.
    void stepLabelDrag(QMouseEvent* event);

    // The global x of the pointer at the last applied label-drag step.
    int m_lastDragX = 0;
};
