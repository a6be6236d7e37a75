#include "timelinewidget.h"

#include "appsettings.h"
#include "bookmarks.h"
#include "timelinemarks.h"

#include <QAction>
#include <QCursor>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cstdlib>

const QColor TimelineWidget::trackColour(64, 64, 64);
const QColor TimelineWidget::markerColour(200, 200, 200);
const QColor TimelineWidget::labelColour(200, 200, 200);
const QColor TimelineWidget::hoverColour(200, 200, 200, 90);
const QColor TimelineWidget::rangeColour(140, 140, 140);
const QColor TimelineWidget::highlightColour(200, 200, 200);
const QColor TimelineWidget::frameBookmarkColour(200, 200, 200);
const QColor TimelineWidget::rangeBookmarkColour(255, 255, 0, 150);
const QColor TimelineWidget::sideLabelColour(140, 140, 140);
const QColor TimelineWidget::cacheColour(0, 54, 143, 127);

namespace {

// A context-menu click this close to the current-frame marker means "current".
constexpr int nearMarkerDistance = 6;

} // namespace

TimelineWidget::TimelineWidget(QWidget* parent) : TimelineWidget(Metrics(), parent) {}

TimelineWidget::TimelineWidget(const Metrics& metrics, QWidget* parent) : QWidget(parent), metrics(metrics)
{
    setMinimumWidth(400);
    setFixedHeight(metrics.height);
    setMouseTracking(true);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &TimelineWidget::contextMenu);
    createActions();
    updateLayout();
}

void TimelineWidget::createActions()
{
    m_rangeStartAction = new QAction(tr("Range Start to Current"), this);
    connect(m_rangeStartAction, &QAction::triggered, this, &TimelineWidget::setRangeStartFromAction);
    m_rangeEndAction = new QAction(tr("Range End to Current"), this);
    connect(m_rangeEndAction, &QAction::triggered, this, &TimelineWidget::setRangeEndFromAction);
    m_resetRangeAction = new QAction(tr("Reset Playback Range"), this);
    connect(m_resetRangeAction, &QAction::triggered, this, &TimelineWidget::resetRange);

    const auto displayTypeAction = [this](const QString& text) {
        QAction* action = new QAction(text, this);
        action->setCheckable(true);
        connect(action, &QAction::triggered, this, qOverload<>(&TimelineWidget::setDisplayType));
        return action;
    };
    m_frameNumbersAction = displayTypeAction(tr("Frame Numbers"));
    m_timeCodeAction = displayTypeAction(tr("Time Code"));
    m_secondsAction = displayTypeAction(tr("Seconds"));

    const auto switchAction = [this](const QString& text) {
        QAction* action = new QAction(text, this);
        action->setCheckable(true);
        return action;
    };
    m_positionAtTopAction = switchAction(tr("Position Timeline at Top"));
    connect(m_positionAtTopAction, &QAction::triggered, this, &TimelineWidget::setPositionAtTop);
    m_frameBookmarksAction = switchAction(tr("Frame Bookmarks"));
    connect(m_frameBookmarksAction, &QAction::triggered, this, &TimelineWidget::displayFrameBookmarks);
    m_rangeBookmarksAction = switchAction(tr("Range Bookmarks"));
    connect(m_rangeBookmarksAction, &QAction::triggered, this, &TimelineWidget::displayRangeBookmarks);
    m_cacheAction = switchAction(tr("Cache"));
    connect(m_cacheAction, &QAction::triggered, this, &TimelineWidget::displayCache);
}

// ---- state pushed in by the player window ----

void TimelineWidget::setFrame(int frame)
{
    if (frame == m_frame)
        return;
    m_frame = frame;
    update();
}

void TimelineWidget::setFrameCount(int count)
{
    if (count == m_frameCount)
        return;
    m_frameCount = count;
    // The window sets the range before the frame count of a new clip; the
    // handles must follow the new count, not wait for the next range change.
    relayout();
    update();
}

void TimelineWidget::setRange(int start, int end)
{
    if (start == m_rangeStart && end == m_rangeEnd)
        return;
    m_rangeStart = start;
    m_rangeEnd = end;
    relayout();
    update();
}

void TimelineWidget::setFrameRate(double fps)
{
    if (fps == m_frameRate)
        return;
    m_frameRate = fps;
    updateTimecode();
    relayout();
    update();
}

void TimelineWidget::setSourceTimecode(const QString& startText, bool use)
{
    if (startText == m_sourceTimecodeText && use == m_useSourceTimecode)
        return;
    m_sourceTimecodeText = startText;
    m_useSourceTimecode = use;
    updateTimecode();
    relayout();
    update();
}

void TimelineWidget::updateTimecode()
{
    m_timecode = ClipTimecode(m_frameRate, m_sourceTimecodeText);
    m_timecode.useSourceTimecode(m_useSourceTimecode);
}

void TimelineWidget::setPlaybackRate(double fps)
{
    if (fps == m_playbackRate)
        return;
    m_playbackRate = fps;
    update();
}

void TimelineWidget::setSpeed(double speed)
{
    if (speed == m_speed)
        return;
    m_speed = speed;
    update();
}

void TimelineWidget::setCachedRange(int start, int end)
{
    if (start == m_cachedRangeStart && end == m_cachedRangeEnd)
        return;
    m_cachedRangeStart = start;
    m_cachedRangeEnd = end;
    update();
}

void TimelineWidget::setBookmarks(Bookmarks* bookmarks)
{
    if (bookmarks == m_bookmarks)
        return;
    m_bookmarks = bookmarks;
    update();
}

// ---- labels and geometry ----

QString TimelineWidget::frameLabel(int frame) const
{
    if (!(m_frameRate > 0.0))
        return QString();
    switch (m_displayType) {
    case SECONDS:
        return QString::number((frame - 1) / m_frameRate, 'f', 2);
    case TIME_CODE:
        return m_timecode.label(frame);
    case FRAME_NUMBERS:
        break;
    }
    return QString::number(frame);
}

QString TimelineWidget::lengthLabel() const
{
    switch (m_displayType) {
    case SECONDS:
        return m_frameRate > 0.0
                   ? QString::number(m_frameCount / m_frameRate, 'f', 3) + QStringLiteral(" sec")
                   : QStringLiteral(" sec");
    case TIME_CODE:
        return frameLabel(m_frameCount + 1);
    case FRAME_NUMBERS:
        break;
    }
    return frameLabel(m_frameCount) + QStringLiteral(" frames");
}

int TimelineWidget::positionOfFrame(int frame) const
{
    if (m_frameCount == 1)
        return m_sideMargin;
    // 64-bit product: long clips on wide screens overflow an int.
    return m_sideMargin + int(qint64(m_trackWidth) * (frame - 1) / (m_frameCount - 1));
}

int TimelineWidget::frameAtPosition(QPoint pos) const
{
    const int d = pos.x() - m_sideMargin;
    if (d < 1)
        return 1;
    if (d >= m_trackWidth)
        return m_frameCount;
    return qRound(float(qint64(m_frameCount - 1) * d) / m_trackWidth) + 1;
}

int TimelineWidget::centredY(int height) const
{
    return int((m_bottomRowHeight - height) * 0.5f + m_bottomRowTop);
}

void TimelineWidget::updateLayout()
{
    m_sideMargin = sideMarginForLabels();
    const int margin = m_sideMargin;
    m_trackWidth = width() - 2 * margin;
    m_leftBoxWidth = margin - metrics.labelGap;
    m_rightBoxX = width() - margin + metrics.labelGap;
    m_bottomRowTop = metrics.topRowHeight;
    m_bottomRowHeight = height() - metrics.topRowHeight;
    m_barY = centredY(metrics.barHeight);
    m_rangeY = centredY(metrics.rangeHeight);
    m_markerY = centredY(metrics.markerHeight);
    m_handleY = centredY(metrics.handleLineHeight);
    m_cacheY = m_barY + 3; // the lower half of the track bar
}

int TimelineWidget::rangeStartX() const
{
    if (m_frameCount == 1)
        return m_sideMargin;
    const int start = std::max(m_rangeStart, 1);
    return m_sideMargin + int(qint64(start - 1) * m_trackWidth / (m_frameCount - 1));
}

int TimelineWidget::rangeEndX() const
{
    if (m_frameCount == 1)
        return m_sideMargin + m_trackWidth;
    const int end = std::min(m_rangeEnd, m_frameCount);
    return m_sideMargin + int(qint64(end - 1) * m_trackWidth / (m_frameCount - 1));
}

int TimelineWidget::sideMarginForLabels() const
{
    return metrics.sideMargin;
}

void TimelineWidget::relayout()
{
    updateLayout();
    updateHandles();
}

void TimelineWidget::updateHandles()
{
    if (m_frameCount < 2)
        return;
    const int xs = rangeStartX();
    const int xe = rangeEndX();
    const int top = m_handleY - 1;
    const int bottom = m_handleY + metrics.handleLineHeight;
    const int tab = metrics.handleTabWidth;
    m_startHandleRect = QRect(QPoint(xs - tab, top), QPoint(xs + 1, bottom));
    m_endHandleRect = QRect(QPoint(xe, top), QPoint(xe + tab + 1, bottom));
    m_rangeRect = QRect(QPoint(xs - tab, top), QPoint(xe + tab + 1, bottom));
}

void TimelineWidget::resizeEvent(QResizeEvent* event)
{
    relayout();
    QWidget::resizeEvent(event);
}

// ---- painting ----

QFont TimelineWidget::fontOfSize(int pointSize) const
{
    QFont labelFont = font();
    labelFont.setPointSize(pointSize);
    return labelFont;
}

TimelineMarks::Layout TimelineWidget::markLayout() const
{
    return {m_frameCount, m_rangeStart, m_rangeEnd, m_sideMargin, m_trackWidth};
}

bool TimelineWidget::isFrameBookmark(int frame) const
{
    return m_bookmarks && m_bookmarks->hasFrameBookmark(frame);
}

void TimelineWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    drawTrack(painter);
    drawRange(painter);
    drawRangeBookmarks(painter);
    drawHoverFrame(painter);
    drawCurrentFrame(painter);
    drawFrameBookmarks(painter);
    drawFrameCount(painter);
    drawFrameRate(painter);
}

void TimelineWidget::drawTrack(QPainter& painter)
{
    painter.fillRect(m_sideMargin, m_barY, m_trackWidth, metrics.barHeight, trackColour);
}

void TimelineWidget::drawRange(QPainter& painter)
{
    const int xs = rangeStartX();
    const int xe = rangeEndX();
    const int rangeBottom = m_rangeY + metrics.rangeHeight;
    const bool overRangeOnly = m_overRange && !m_overStartHandle && !m_overEndHandle;
    painter.setPen(QPen(highlightColour, 2));

    if (overRangeOnly)
        painter.fillRect(QRect(QPoint(xs, m_rangeY - 1), QPoint(xe - 1, rangeBottom)), highlightColour);
    painter.fillRect(QRect(QPoint(xs, m_rangeY), QPoint(xe - 1, rangeBottom - 1)), rangeColour);

    if (appSettings().timelineShowCache) {
        const int ps = positionOfFrame(std::max(m_cachedRangeStart, 1));
        const int pe = positionOfFrame(std::min(m_frameCount, m_cachedRangeEnd));
        if (ps < pe)
            painter.fillRect(QRect(QPoint(ps, m_cacheY), QPoint(pe - 1, m_cacheY + metrics.cacheHeight - 1)),
                             cacheColour);
    }

    const int lineWidth = metrics.handleLineWidth;
    const int lineHeight = metrics.handleLineHeight;
    painter.fillRect(xs, m_handleY, lineWidth, lineHeight, rangeColour);
    painter.fillRect(xe, m_handleY, lineWidth, lineHeight, rangeColour);

    // The tabs show what a press would grab.
    painter.setBrush(QBrush(Qt::black, Qt::SolidPattern));
    const int tab = metrics.handleTabWidth;
    if (m_overStartHandle || overRangeOnly)
        painter.drawRoundedRect(QRect(xs - tab + 1, m_handleY, tab, lineHeight), 1, 1, Qt::AbsoluteSize);
    if (m_overEndHandle || overRangeOnly)
        painter.drawRoundedRect(QRect(xe + 1, m_handleY, tab, lineHeight), 1, 1, Qt::AbsoluteSize);
}

void TimelineWidget::drawRangeBookmarks(QPainter& painter)
{
    if (!appSettings().timelineShowRangeBookmarks || !m_bookmarks || m_frameCount < 1)
        return;
    // Ends beyond the clip are drawn at its ends.
    const auto x = [this](int frame) { return positionOfFrame(qBound(1, frame, m_frameCount)); };
    const int barBottom = m_barY + metrics.barHeight;
    for (const TimelineMarks::Run& run : m_marks.rangeRuns(*m_bookmarks, 0, width(), markLayout(), x)) {
        QColor colour = rangeBookmarkColour;
        colour.setAlpha(TimelineMarks::layeredAlpha(rangeBookmarkColour.alpha(), run.depth));
        painter.fillRect(QRect(QPoint(run.left, barBottom - 1), QPoint(run.right - 1, barBottom)), colour);
    }
}

void TimelineWidget::drawFrameLabel(QPainter& painter, int x, const QString& text, const QColor& colour)
{
    const int boxWidth = metrics.frameLabelBoxWidth;
    painter.setPen(colour);
    painter.setFont(fontOfSize(metrics.frameLabelPointSize));
    painter.drawText(QRect(x + int(boxWidth * -0.5), 0, boxWidth, metrics.topRowHeight), Qt::AlignCenter,
                     text);
}

void TimelineWidget::drawHoverFrame(QPainter& painter)
{
    // While the left button alone is down the user drags; the marker would only
    // duplicate the current frame.
    if (!underMouse() || QGuiApplication::mouseButtons() == Qt::LeftButton)
        return;
    const int frame = frameAtPosition(mapFromGlobal(QCursor::pos()));
    const int x = positionOfFrame(frame);
    if (x == NO_POSITION)
        return;
    const QColor colour = isFrameBookmark(frame) ? frameBookmarkColour : hoverColour;
    painter.fillRect(x, m_markerY, metrics.markerWidth, metrics.markerHeight, colour);
    const QString text = frameLabel(frame);
    drawFrameLabel(painter, hoverLabelCentre(x, text), text, colour);
}

int TimelineWidget::hoverLabelCentre(int hoverX, const QString& hoverText) const
{
    // Both labels share the top row. Near the current frame the hover label
    // moves aside, on the pointer's side, so that neither becomes unreadable.
    const int currentX = positionOfFrame(m_frame);
    if (currentX == NO_POSITION)
        return hoverX;
    const QFontMetrics labelMetrics(fontOfSize(metrics.frameLabelPointSize));
    const int hoverHalf = labelMetrics.horizontalAdvance(hoverText) / 2;
    const int currentHalf = labelMetrics.horizontalAdvance(frameLabel(m_frame)) / 2;
    const int space = labelMetrics.averageCharWidth() / 2 + hoverHalf + currentHalf;
    if (std::abs(hoverX - currentX) >= space)
        return hoverX;
    return hoverX < currentX ? currentX - space : currentX + space;
}

void TimelineWidget::drawCurrentFrame(QPainter& painter)
{
    const int x = positionOfFrame(m_frame);
    if (x == NO_POSITION)
        return;
    const bool bookmarked = isFrameBookmark(m_frame);
    const QColor marker = bookmarked ? frameBookmarkColour : markerColour;
    painter.fillRect(x, m_markerY, metrics.markerWidth, metrics.markerHeight, marker);
    drawFrameLabel(painter, x, frameLabel(m_frame), bookmarked ? marker : labelColour);
}

void TimelineWidget::drawFrameBookmarks(QPainter& painter)
{
    if (!appSettings().timelineShowFrameBookmarks)
        return;
    drawFrameBookmarkMarks(painter, 1, m_frameCount, 0);
}

void TimelineWidget::drawFrameBookmarkMarks(QPainter& painter, int first, int last, int dotOffset)
{
    if (!m_bookmarks)
        return;
    // A line with a dot below it, drawn once and stamped on every column: a
    // dot drawn anew costs several times as much.
    const int height = metrics.markerHeight;
    const int dotTop = height - 1 + dotOffset;
    const int lineX = 2;
    const qreal ratio = painter.device()->devicePixelRatioF();
    QImage mark(QSize(lineX + 2, dotTop + 4) * ratio, QImage::Format_ARGB32_Premultiplied);
    mark.setDevicePixelRatio(ratio);
    mark.fill(Qt::transparent);
    {
        QPainter stamp(&mark);
        stamp.setPen(frameBookmarkColour);
        stamp.setBrush(frameBookmarkColour);
        stamp.fillRect(lineX, 0, 1, height, frameBookmarkColour);
        stamp.drawEllipse(QRect(QPoint(lineX - 1, dotTop), QPoint(lineX, dotTop + 1)));
    }
    const auto x = [this](int frame) { return positionOfFrame(frame); };
    for (int column : m_marks.frameColumns(*m_bookmarks, first, last, 0, width(), markLayout(), x))
        painter.drawImage(column - lineX, m_markerY, mark);
}

void TimelineWidget::drawFrameCount(QPainter& painter)
{
    const QString text = lengthLabel();
    painter.setFont(fontOfSize(metrics.sideLabelPointSize));
    painter.setPen(sideLabelColour);
    const int gap = metrics.labelGap;
    painter.drawText(QRect(gap, m_bottomRowTop + 2, m_sideMargin - gap, m_bottomRowHeight), Qt::AlignLeft,
                     text);
}

void TimelineWidget::drawFrameRate(QPainter& painter)
{
    const int margin = m_sideMargin;
    const int top = m_bottomRowTop + 2;
    const auto drawAt = [&](int x, const QString& text) {
        painter.drawText(QRect(x, top, m_rightBoxX + margin - x, m_bottomRowHeight), Qt::AlignLeft, text);
    };
    painter.setFont(fontOfSize(metrics.sideLabelPointSize));
    painter.setPen(sideLabelColour);
    const QFontMetrics labelMetrics(painter.font());
    // The columns keep their places unless a rate of 100 fps or more would run
    // into the next one.
    constexpr int columnSpace = 2;
    const auto nextColumn = [&](int fixedX, int previousX, const QString& previousText) {
        return std::max(fixedX, previousX + labelMetrics.horizontalAdvance(previousText) + columnSpace);
    };

    const QString frameRate = QString::number(m_frameRate, 'f', 2);
    drawAt(m_rightBoxX, frameRate);
    const int secondColumn = nextColumn(m_rightBoxX + int(margin * 0.36), m_rightBoxX, frameRate);
    if (m_speed != 1.0) {
        painter.setPen(labelColour);
        drawAt(secondColumn, QString::number(m_speed, 'f', 2) + QLatin1Char('x'));
    } else {
        const QString playbackRate = QString::number(m_playbackRate, 'f', 1);
        drawAt(secondColumn, playbackRate);
        drawAt(nextColumn(m_rightBoxX + int(margin * 0.65), secondColumn, playbackRate),
               QStringLiteral("fps"));
    }
}

// ---- mouse ----

void TimelineWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPoint pos = event->pos();
    int requested;
    if (m_startHandleRect.contains(pos)) {
        m_drag = Drag::StartHandle;
        requested = m_rangeStart;
    } else if (m_endHandleRect.contains(pos)) {
        m_drag = Drag::EndHandle;
        requested = m_rangeEnd;
    } else {
        const bool wholeClip = m_rangeStart == 1 && m_rangeEnd == m_frameCount;
        if (wholeClip || !m_rangeRect.contains(pos)) {
            m_drag = Drag::Scrubbing;
        } else {
            m_drag = Drag::WholeRange;
            m_rangeLengthAtPress = m_rangeEnd - m_rangeStart;
        }
        requested = frameAtPosition(pos);
    }
    emit frameChangeRequest(requested, false);
}

void TimelineWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() == Qt::NoButton) {
        updateHover(event->pos());
        return;
    }
    if (event->buttons() != Qt::LeftButton) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    // The window follows each request synchronously, so m_frame is the frame
    // of the previous step.
    const int frame = frameAtPosition(event->pos());
    const int delta = frame - m_frame;
    switch (m_drag) {
    case Drag::StartHandle:
        emit rangeChangeRequest(std::max(m_rangeStart + delta, 1), std::min(m_rangeEnd, m_frameCount));
        emit frameChangeRequest(frame, false);
        break;
    case Drag::EndHandle:
        emit rangeChangeRequest(std::max(m_rangeStart, 1), std::min(m_rangeEnd + delta, m_frameCount));
        emit frameChangeRequest(frame, false);
        break;
    case Drag::WholeRange:
        dragWholeRange(delta);
        emit frameChangeRequest(frame, true);
        break;
    case Drag::Scrubbing:
        emit frameChangeRequest(frame, true);
        break;
    default:
        break;
    }
}

// Moves the whole range by delta frames. A range pushed against either end of
// the clip shrinks; pulled back, its pinned side stays until it has its length
// of the press again, and from then on it moves as a whole.
void TimelineWidget::dragWholeRange(int delta)
{
    int start = std::max(m_rangeStart + delta, 1);
    int end = std::min(m_rangeEnd + delta, m_frameCount);
    const int length = m_rangeLengthAtPress;
    if (end - start < length) {
        if (start == 1 || end == m_frameCount) {
            m_squeezedAtStart = start == 1;
        } else if (!m_squeezedAtStart) {
            end = std::min(start + length, m_frameCount);
        } else {
            start = std::max(m_rangeEnd - length, 1);
            if (end - start > length)
                start = end - length;
        }
    }
    emit rangeChangeRequest(start, end);
}

void TimelineWidget::updateHover(QPoint pos)
{
    const bool wholeClip = m_rangeStart == 1 && m_rangeEnd == m_frameCount;
    m_overRange = !wholeClip && m_rangeRect.contains(pos);
    m_overStartHandle = m_startHandleRect.contains(pos);
    m_overEndHandle = m_endHandleRect.contains(pos);
    // Repaint in any case: the hover marker follows the pointer.
    update();
}

void TimelineWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_drag = Drag::None;
    // The window sees the release too (it ends its scrubbing state there).
    event->ignore();
}

void TimelineWidget::leaveEvent(QEvent* event)
{
    // All three: a fast exit may skip the move that leaves a handle.
    m_overRange = false;
    m_overStartHandle = false;
    m_overEndHandle = false;
    update();
    QWidget::leaveEvent(event);
}

// ---- context menu and display switches ----

void TimelineWidget::contextMenu(QPoint pos)
{
    updateContextMenu(pos);
    QMenu menu(this);
    menu.addAction(m_rangeStartAction);
    menu.addAction(m_rangeEndAction);
    menu.addAction(m_resetRangeAction);
    menu.addSeparator();
    menu.addAction(m_frameNumbersAction);
    menu.addAction(m_timeCodeAction);
    menu.addAction(m_secondsAction);
    menu.addSeparator();
    QMenu* display = menu.addMenu(tr("Display"));
    display->addAction(m_positionAtTopAction);
    display->addSeparator();
    display->addAction(m_frameBookmarksAction);
    if (metrics.offersRangeBookmarks)
        display->addAction(m_rangeBookmarksAction);
    display->addAction(m_cacheAction);
    menu.exec(mapToGlobal(pos));
}

void TimelineWidget::checkDisplayTypeAction()
{
    m_frameNumbersAction->setChecked(m_displayType == FRAME_NUMBERS);
    m_secondsAction->setChecked(m_displayType == SECONDS);
    m_timeCodeAction->setChecked(m_displayType == TIME_CODE);
}

void TimelineWidget::updateContextMenu(QPoint pos)
{
    checkDisplayTypeAction();
    const int clicked = frameAtPosition(pos);
    const bool nearMarker = std::abs(pos.x() - positionOfFrame(m_frame)) <= nearMarkerDistance;
    if (nearMarker || clicked == m_frame) {
        m_rangeStartAction->setText(tr("Range Start to Current"));
        m_rangeEndAction->setText(tr("Range End to Current"));
        m_rangeStartAction->setData(m_frame);
        m_rangeEndAction->setData(m_frame);
    } else {
        m_rangeStartAction->setText(tr("Range Start to %1").arg(frameLabel(clicked)));
        m_rangeEndAction->setText(tr("Range End to %1").arg(frameLabel(clicked)));
        m_rangeStartAction->setData(clicked);
        m_rangeEndAction->setData(clicked);
    }
    const AppSettings& settings = appSettings();
    m_positionAtTopAction->setChecked(settings.timelinePositionAtTop);
    m_frameBookmarksAction->setChecked(settings.timelineShowFrameBookmarks);
    m_rangeBookmarksAction->setChecked(settings.timelineShowRangeBookmarks);
    m_cacheAction->setChecked(settings.timelineShowCache);
}

void TimelineWidget::storeDisplayType(DISPLAY_TYPE type)
{
    // A negative or unknown number from the settings file reads as frame numbers.
    if (type != SECONDS && type != TIME_CODE)
        type = FRAME_NUMBERS;
    if (type == m_displayType)
        return;
    m_displayType = type;
    relayout();
    update();
}

void TimelineWidget::setDisplayType(DISPLAY_TYPE type)
{
    storeDisplayType(type);
    appSettings().timelineDisplayType = m_displayType;
}

void TimelineWidget::setDisplayType()
{
    const QObject* action = sender();
    if (action == m_frameNumbersAction)
        setDisplayType(FRAME_NUMBERS);
    else if (action == m_secondsAction)
        setDisplayType(SECONDS);
    else if (action == m_timeCodeAction)
        setDisplayType(TIME_CODE);
}

void TimelineWidget::setPositionAtTop(bool top)
{
    emit positionChangeRequest(top);
}

void TimelineWidget::displayFrameBookmarks(bool display)
{
    appSettings().timelineShowFrameBookmarks = display;
    update();
}

void TimelineWidget::displayRangeBookmarks(bool display)
{
    appSettings().timelineShowRangeBookmarks = display;
    update();
}

void TimelineWidget::displayCache(bool display)
{
    appSettings().timelineShowCache = display;
    update();
}

void TimelineWidget::setRangeStartFromAction()
{
    emit rangeChangeRequest(m_rangeStartAction->data().toInt(), m_rangeEnd);
}

void TimelineWidget::setRangeEndFromAction()
{
    emit rangeChangeRequest(m_rangeStart, m_rangeEndAction->data().toInt());
}

void TimelineWidget::resetRange()
{
    emit rangeChangeRequest(1, m_frameCount);
}
