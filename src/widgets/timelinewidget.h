#pragma once

#include "cliptimecode.h"
#include "displaytype.h"
#include "timelinemarks.h"

#include <QColor>
#include <QRect>
#include <QWidget>

class Bookmarks;
class QAction;
class QPainter;

// The main scrub bar of the player window: the whole clip as a track with the
// playback range and its handles, the current frame with a large label, a
// hover marker, frame and range bookmarks, an optional cache strip, the clip
// length on the left and the frame rate or speed on the right.
//
// The widget never changes the player's state: it emits requests, and the
// window pushes the resulting state back through the setters. Frame numbers
// are 1-based. The layer switches and the label style live in the settings
// record and are read and written there directly.
class TimelineWidget : public QWidget
{
    Q_OBJECT

public:
    // What positionOfFrame returns for a frame that has no place on the track.
    static constexpr int NO_POSITION = -999999;

    explicit TimelineWidget(QWidget* parent = nullptr);

    // Each setter repaints only when the value changes.
    void setFrame(int frame);
    int frame() const { return m_frame; }
    void setFrameCount(int count);
    int frameCount() const { return m_frameCount; }
    void setRange(int start, int end);
    int rangeStart() const { return m_rangeStart; }
    int rangeEnd() const { return m_rangeEnd; }
    void setFrameRate(double fps);
    double frameRate() const { return m_frameRate; }
    // The file's start time code (empty for none) and whether time code
    // labels count from it rather than from zero.
    void setSourceTimecode(const QString& startText, bool use);
    const ClipTimecode& timecode() const { return m_timecode; }
    // Measured frames per second while playing, 0 when not playing.
    void setPlaybackRate(double fps);
    double playbackRate() const { return m_playbackRate; }
    void setSpeed(double speed);
    double speed() const { return m_speed; }
    void setCachedRange(int start, int end);
    int cachedRangeStart() const { return m_cachedRangeStart; }
    int cachedRangeEnd() const { return m_cachedRangeEnd; }
    // The player's bookmark model; not owned.
    void setBookmarks(Bookmarks* bookmarks);
    Bookmarks* bookmarks() const { return m_bookmarks; }
    DISPLAY_TYPE displayType() const { return m_displayType; }

    // The text of a frame in the current label style; empty while the frame
    // rate is not positive.
    QString frameLabel(int frame) const;
    // The clip's length in the current label style: its frame count, or
    // frame count x frame duration in seconds (to the millisecond) or as a
    // time code.
    QString lengthLabel() const;

    // The x of a frame's marker; the track's left end for a one-frame clip.
    virtual int positionOfFrame(int frame) const;
    // The frame whose marker is nearest to the x of pos, within the clip.
    virtual int frameAtPosition(QPoint pos) const;

signals:
    void frameChangeRequest(int frame, bool audioScrub);
    void rangeChangeRequest(int start, int end);
    void positionChangeRequest(bool top);

public slots:
    virtual void setDisplayType(DISPLAY_TYPE type);
    // Takes the type from the sending menu action.
    void setDisplayType();
    void setPositionAtTop(bool top);
    virtual void displayFrameBookmarks(bool display);
    virtual void displayRangeBookmarks(bool display);
    virtual void displayCache(bool display);
    void setRangeStartFromAction();
    void setRangeEndFromAction();
    void resetRange();
    void contextMenu(QPoint pos);

protected:
    // The layout constants; the range timeline uses its own set.
    struct Metrics
    {
        int height = 40;
        int sideMargin = 100;
        int labelGap = 10;
        int topRowHeight = 20;
        int barHeight = 6;
        int rangeHeight = 8;
        int handleTabWidth = 8;
        int markerWidth = 2;
        int markerHeight = 10;
        int frameLabelBoxWidth = 200;
        int cacheHeight = 3;
        int handleLineWidth = 2;
        int handleLineHeight = 10;
        int frameLabelPointSize = 15;
        int sideLabelPointSize = 8;
        bool offersRangeBookmarks = true;
    };

    // What the pointer is doing between a left-button press and its release.
    enum class Drag
    {
        None,
        Scrubbing,
        WholeRange,
        StartHandle,
        EndHandle,
        StartLabel,
        EndLabel
    };

    static const QColor trackColour;
    static const QColor markerColour;
    static const QColor labelColour;
    static const QColor hoverColour;
    static const QColor rangeColour;
    static const QColor highlightColour;
    static const QColor frameBookmarkColour;
    static const QColor rangeBookmarkColour;
    static const QColor sideLabelColour;
    static const QColor cacheColour;

    TimelineWidget(const Metrics& metrics, QWidget* parent);

    virtual void drawTrack(QPainter& painter);
    virtual void drawRange(QPainter& painter);
    virtual void drawCurrentFrame(QPainter& painter);
    virtual void drawHoverFrame(QPainter& painter);
    virtual void drawFrameBookmarks(QPainter& painter);
    virtual void drawRangeBookmarks(QPainter& painter);
    virtual void drawFrameCount(QPainter& painter);
    virtual void drawFrameRate(QPainter& painter);

    // Sets the menu texts, data and checks for a menu opened at pos.
    virtual void updateContextMenu(QPoint pos);
    // The space left and right of the track: the side margin of the metrics,
    // or more where the side labels need it.
    virtual int sideMarginForLabels() const;

    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

    // Recomputes the layout and the hit areas after a change of size or of
    // what the side labels show.
    void relayout();
    // Stores the label style and repaints when it changed; writes no setting.
    void storeDisplayType(DISPLAY_TYPE type);
    // Checks the menu entry of the current label style only.
    void checkDisplayTypeAction();
    // Draws a frame label centred in the box above the marker at x.
    void drawFrameLabel(QPainter& painter, int x, const QString& text, const QColor& colour);
    // Where the hover label is centred for a hover marker at hoverX.
    int hoverLabelCentre(int hoverX, const QString& hoverText) const;
    // Draws the marks of the frame bookmarks from first to last, one per
    // pixel column, with the dot dotOffset pixels below its usual place.
    void drawFrameBookmarkMarks(QPainter& painter, int first, int last, int dotOffset);
    // What decides where a frame's mark lands, besides the width.
    TimelineMarks::Layout markLayout() const;
    bool isFrameBookmark(int frame) const;
    QFont fontOfSize(int pointSize) const;

    const Metrics metrics;

    // The layout of the current size (see updateLayout).
    int m_sideMargin = 0;
    int m_trackWidth = 0;
    int m_leftBoxWidth = 0;
    int m_rightBoxX = 0;
    int m_bottomRowTop = 0;
    int m_bottomRowHeight = 0;
    int m_barY = 0;
    int m_rangeY = 0;
    int m_markerY = 0;
    int m_handleY = 0;
    int m_cacheY = 0;

    int m_frame = 1;
    int m_frameCount = 0;
    int m_rangeStart = 1;
    int m_rangeEnd = 100;
    int m_cachedRangeStart = -1;
    int m_cachedRangeEnd = -1;
    double m_frameRate = 0.0;
    double m_playbackRate = 0.0;
    double m_speed = 1.0;
    Bookmarks* m_bookmarks = nullptr;
    TimelineMarks m_marks;
    DISPLAY_TYPE m_displayType = FRAME_NUMBERS;
    Drag m_drag = Drag::None;

    QAction* m_rangeStartAction = nullptr;
    QAction* m_rangeEndAction = nullptr;
    QAction* m_resetRangeAction = nullptr;
    QAction* m_frameNumbersAction = nullptr;
    QAction* m_timeCodeAction = nullptr;
    QAction* m_secondsAction = nullptr;
    QAction* m_positionAtTopAction = nullptr;
    QAction* m_frameBookmarksAction = nullptr;
    QAction* m_rangeBookmarksAction = nullptr;
    QAction* m_cacheAction = nullptr;

private:
    void createActions();
    void updateLayout();
    void updateTimecode();
    // Recomputes the hit areas of the range and its handles.
    void updateHandles();
    // The x of the range ends on the track, with the range clamped to the clip.
    int rangeStartX() const;
    int rangeEndX() const;
    int centredY(int height) const;
    void dragWholeRange(int delta);
    void updateHover(QPoint pos);

    QString m_sourceTimecodeText;
    bool m_useSourceTimecode = false;
    ClipTimecode m_timecode;
    bool m_overRange = false;
    bool m_overStartHandle = false;
    bool m_overEndHandle = false;
    int m_rangeLengthAtPress = 0;
    bool m_squeezedAtStart = false;
    QRect m_rangeRect;
    QRect m_startHandleRect;
    QRect m_endHandleRect;
};
