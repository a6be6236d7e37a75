// The range timeline: its own geometry over the playback range, what it hides
// outside the range, its cache line and end marks, the label drags with their
// modifier sensitivities, and its own settings.
#include "appsettings.h"
#include "bookmarks.h"
#include "menuprobe.h"
#include "patience.h"
#include "playerstub.h"
#include "rangetimelinewidget.h"
#include "widgettesthelpers.h"

#include <QCursor>
#include <QSet>
#include <QtTest>

using namespace WidgetTest;

namespace {

const QColor black(0, 0, 0);
const QColor track(Qt::gray);
const QColor marker(200, 200, 200);
const QColor hoverMarker(200, 200, 200, 90);
const QColor endMark(140, 140, 140);
const QColor frameBookmark(200, 200, 200);
const QColor cache(0, 54, 143, 127);

// Rows at the fixed height of 46.
constexpr int barRow = 29;
constexpr int markerTop = 18, markerBottom = 41;
constexpr int endMarkBottom = 40;

// At width 1100 the track is 1,000 pixels from x 50; with the range 101 to
// 201 frame f is at x 50 + 10 (f - 101).
constexpr int width = 1100;
constexpr int xOf(int frame)
{
    return 50 + 10 * (frame - 101);
}

void loadClip(TimelineWidget& timeline)
{
    timeline.setFrameRate(25.0);
    timeline.setRange(1, 1001);
    timeline.setFrame(1);
    timeline.setFrameCount(1001);
    timeline.setRange(101, 201);
    timeline.setFrame(121);
}

// The columns of the bottom rows holding anything brighter than the track.
QSet<int> brightColumns(const QImage& image)
{
    QSet<int> columns;
    for (int y = 14; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y).red() > 170)
                columns.insert(x);
    return columns;
}

int brightest(const QImage& image, const QRect& area)
{
    int value = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            value = std::max(value, image.pixelColor(x, y).red());
    return value;
}

bool isTextIn(int brightestValue, int colourValue)
{
    return brightestValue <= colourValue && brightestValue >= colourValue - 15;
}

} // namespace

class RangeTimelineWidgetTest : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void construction();
    void positionsCoverTheRangeOnly();
    void oneFrameRange();
    void longLabelsWidenTheMargins();

    void trackEndMarksAndMarker();
    void noMarkerOutsideTheRange();
    void onlyBookmarksInsideTheRange();
    void cacheLineInsideTheRange();
    void rangeLabels();
    void hoverMarkerFollowsThePointer();

    void pressOnTrackScrubs();
    void startLabelDragSensitivities();
    void startLabelDragMovesTheCurrentFrame();
    void endLabelDrag();
    void labelDragsAreNotClamped();
    void releaseEndsLabelDrag();

    void contextMenuUsesRangeSettings();
};

void RangeTimelineWidgetTest::init()
{
    appSettings() = AppSettings();
    QCursor::setPos(QPoint(5000, 5000));
    QCoreApplication::processEvents();
}

void RangeTimelineWidgetTest::construction()
{
    RangeTimelineWidget timeline;
    QCOMPARE(timeline.minimumHeight(), 46);
    QCOMPARE(timeline.maximumHeight(), 46);
    QCOMPARE(timeline.minimumWidth(), 400);
    QVERIFY(timeline.hasMouseTracking());
    QCOMPARE(timeline.contextMenuPolicy(), Qt::CustomContextMenu);
    QCOMPARE(timeline.displayType(), FRAME_NUMBERS);
}

void RangeTimelineWidgetTest::positionsCoverTheRangeOnly()
{
    RangeTimelineWidget timeline;
    showAndWait(timeline, QSize(width, 46));
    loadClip(timeline);
    QCOMPARE(timeline.positionOfFrame(100), int(TimelineWidget::NO_POSITION));
    QCOMPARE(timeline.positionOfFrame(202), int(TimelineWidget::NO_POSITION));
    QCOMPARE(timeline.positionOfFrame(101), 50);
    QCOMPARE(timeline.positionOfFrame(201), 1050);
    for (int x : {-10, 0, 49, 50})
        QCOMPARE(timeline.frameAtPosition(QPoint(x, 20)), 101);
    for (int x : {1050, 1051, 1099, 2000})
        QCOMPARE(timeline.frameAtPosition(QPoint(x, 20)), 201);
    // qRound(100 * 4 / 1000) and qRound(100 * 5 / 1000): 0.4 and 0.5.
    QCOMPARE(timeline.frameAtPosition(QPoint(54, 20)), 101);
    QCOMPARE(timeline.frameAtPosition(QPoint(55, 20)), 102);
    for (int frame = 101; frame <= 201; ++frame) {
        QCOMPARE(timeline.positionOfFrame(frame), xOf(frame));
        QCOMPARE(timeline.frameAtPosition(QPoint(xOf(frame), 20)), frame);
    }
    // A range longer than the track: truncating positions, rounded frames.
    timeline.setRange(1, 90001);
    QCOMPARE(timeline.positionOfFrame(45001), 550);
    QCOMPARE(timeline.positionOfFrame(33334), 50 + 33333 * 1000 / 90000);
    QCOMPARE(timeline.frameAtPosition(QPoint(550, 20)), 45001);
    QCOMPARE(timeline.frameAtPosition(QPoint(51, 20)), 1 + 90);
}

void RangeTimelineWidgetTest::oneFrameRange()
{
    RangeTimelineWidget timeline;
    showAndWait(timeline, QSize(width, 46));
    loadClip(timeline);
    timeline.setRange(150, 150);
    timeline.setFrame(150);
    QCOMPARE(timeline.positionOfFrame(150), 50);
    QCOMPARE(timeline.positionOfFrame(151), int(TimelineWidget::NO_POSITION));
    for (int x : {0, 50, 51, 500, 1049, 1050, 1099})
        QCOMPARE(timeline.frameAtPosition(QPoint(x, 20)), 150);
    const QImage image = render(timeline);
    QCOMPARE_PIXEL(image, 50, markerTop, marker);
    QCOMPARE_PIXEL(image, 51, markerBottom, marker);
}

void RangeTimelineWidgetTest::longLabelsWidenTheMargins()
{
    RangeTimelineWidget timeline;
    showAndWait(timeline, QSize(400, 46));
    loadClip(timeline);
    QCOMPARE(timeline.positionOfFrame(101), 50);
    // "00:04:00" does not fit 44 pixels at 8 pt: the track moves inward by the
    // same amount on both sides, so the labels are never cut off.
    timeline.setDisplayType(TIME_CODE);
    const int margin = timeline.positionOfFrame(101);
    QVERIFY(margin > 50);
    QCOMPARE(timeline.positionOfFrame(201), 400 - margin);
    QCOMPARE(timeline.frameAtPosition(QPoint(margin, 20)), 101);
    QCOMPARE(timeline.frameAtPosition(QPoint(400 - margin, 20)), 201);
    const QImage image = render(timeline);
    for (int y = 14; y < 46; ++y) {
        QCOMPARE_PIXEL(image, 0, y, black);
        QCOMPARE_PIXEL(image, 399, y, black);
    }
    QVERIFY(brightest(image, QRect(0, 14, margin - 6, 32)) > 100);
    QVERIFY(brightest(image, QRect(400 - margin + 6, 14, margin - 6, 32)) > 100);
    timeline.setDisplayType(FRAME_NUMBERS);
    QCOMPARE(timeline.positionOfFrame(101), 50);
}

void RangeTimelineWidgetTest::trackEndMarksAndMarker()
{
    RangeTimelineWidget timeline;
    showAndWait(timeline, QSize(width, 46));
    loadClip(timeline);
    timeline.setFrame(151);
    appSettings().rangeTimelineShowCache = false;
    const QImage image = render(timeline);

    // A one-pixel track in gray.
    QCOMPARE_PIXEL(image, 300, barRow, track);
    QCOMPARE_PIXEL(image, 1049, barRow, track);
    QCOMPARE_PIXEL(image, 300, barRow - 1, black);
    QCOMPARE_PIXEL(image, 300, barRow + 1, black);
    // 2 x 23 end marks at both ends of the track.
    for (int x : {50, 51, 1050, 1051}) {
        QCOMPARE_PIXEL(image, x, markerTop, endMark);
        QCOMPARE_PIXEL(image, x, barRow, endMark);
        QCOMPARE_PIXEL(image, x, endMarkBottom, endMark);
        QCOMPARE_PIXEL(image, x, endMarkBottom + 1, black);
        QCOMPARE_PIXEL(image, x, markerTop - 1, black);
    }
    QCOMPARE_PIXEL(image, 1052, barRow, black);
    // The current frame: 2 x 24 at its position, label above.
    for (int x : {xOf(151), xOf(151) + 1}) {
        QCOMPARE_PIXEL(image, x, markerTop, marker);
        QCOMPARE_PIXEL(image, x, barRow, marker);
        QCOMPARE_PIXEL(image, x, markerBottom, marker);
        QCOMPARE_PIXEL(image, x, markerBottom + 1, black);
        QCOMPARE_PIXEL(image, x, markerTop - 1, black);
    }
    QCOMPARE_PIXEL(image, xOf(151) + 2, barRow, track);
    QVERIFY(isTextIn(brightest(image, QRect(xOf(151) - 30, 0, 60, 14)), 200));
}

void RangeTimelineWidgetTest::noMarkerOutsideTheRange()
{
    RangeTimelineWidget timeline;
    showAndWait(timeline, QSize(width, 46));
    loadClip(timeline);
    for (int frame : {100, 202, 1}) {
        timeline.setFrame(frame);
        const QImage image = render(timeline);
        QCOMPARE(brightColumns(image), QSet<int>());
        QCOMPARE(brightest(image, QRect(0, 0, width, 14)), 0); // and no label
    }
    timeline.setFrame(201);
    QCOMPARE(brightColumns(render(timeline)), (QSet<int>{1050, 1051}));
}

void RangeTimelineWidgetTest::onlyBookmarksInsideTheRange()
{
    Bookmarks bookmarks;
    for (int frame : {50, 100, 151, 202, 300})
        bookmarks.addFrameBookmark(frame);
    RangeTimelineWidget timeline;
    timeline.setBookmarks(&bookmarks);
    showAndWait(timeline, QSize(width, 46));
    loadClip(timeline); // current frame 121, at x 250

    QImage image = render(timeline);
    // The marker's two columns, and the bookmark's line with its dot.
    const QSet<int> columns = brightColumns(image);
    QVERIFY(columns.contains(xOf(121)) && columns.contains(xOf(121) + 1) && columns.contains(xOf(151)));
    for (int x : columns)
        QVERIFY2(qAbs(x - xOf(121)) <= 2 || qAbs(x - xOf(151)) <= 2, qPrintable(QString("column %1").arg(x)));
    // A line 24 high, its dot at the bottom.
    QCOMPARE_PIXEL(image, xOf(151), markerTop, frameBookmark);
    QCOMPARE_PIXEL(image, xOf(151), markerBottom, frameBookmark);
    QCOMPARE_PIXEL(image, xOf(151), markerTop - 1, black);
    QCOMPARE_PIXEL(image, xOf(151) + 1, markerTop, black);

    // The main timeline's switch does not hide them; the range timeline's does.
    appSettings().timelineShowFrameBookmarks = false;
    timeline.update();
    QCOMPARE(brightColumns(render(timeline)), columns);
    timeline.displayFrameBookmarks(false);
    QVERIFY(!appSettings().rangeTimelineShowFrameBookmarks);
    QCOMPARE(brightColumns(render(timeline)), (QSet<int>{xOf(121), xOf(121) + 1}));

    // A bookmarked current frame takes the bookmark colour.
    timeline.setFrame(151);
    QCOMPARE_PIXEL(render(timeline), xOf(151), markerTop, frameBookmark);
}

void RangeTimelineWidgetTest::cacheLineInsideTheRange()
{
    RangeTimelineWidget timeline;
    showAndWait(timeline, QSize(width, 46));
    loadClip(timeline);
    timeline.setFrame(1);
    QVERIFY(appSettings().rangeTimelineShowCache);
    QVERIFY(!appSettings().timelineShowCache);

    timeline.setCachedRange(121, 161);
    QImage image = render(timeline);
    QCOMPARE_PIXEL(image, xOf(121), barRow, over(cache, track));
    QCOMPARE_PIXEL(image, xOf(161) - 1, barRow, over(cache, track));
    QCOMPARE_PIXEL(image, xOf(121) - 1, barRow, track);
    QCOMPARE_PIXEL(image, xOf(161), barRow, track);
    QCOMPARE_PIXEL(image, 400, barRow - 1, black);
    QCOMPARE_PIXEL(image, 400, barRow + 1, black);

    // Cut at the range ends.
    timeline.setCachedRange(51, 151);
    image = render(timeline);
    QCOMPARE_PIXEL(image, 52, barRow, over(cache, track));
    QCOMPARE_PIXEL(image, xOf(151) - 1, barRow, over(cache, track));
    QCOMPARE_PIXEL(image, xOf(151), barRow, track);
    timeline.setCachedRange(151, 400);
    image = render(timeline);
    QCOMPARE_PIXEL(image, xOf(151) - 1, barRow, track);
    QCOMPARE_PIXEL(image, xOf(151), barRow, over(cache, track));
    QCOMPARE_PIXEL(image, 1049, barRow, over(cache, track));

    // A cache wholly before or after the range shows nothing.
    for (QPair<int, int> cached : {qMakePair(300, 400), qMakePair(1, 50), qMakePair(130, 130)}) {
        timeline.setCachedRange(cached.first, cached.second);
        image = render(timeline);
        for (int x : {52, 300, 550, 1049})
            QCOMPARE_PIXEL(image, x, barRow, track);
    }

    timeline.setCachedRange(121, 161);
    timeline.displayCache(false);
    QVERIFY(!appSettings().rangeTimelineShowCache);
    QCOMPARE_PIXEL(render(timeline), xOf(131), barRow, track);
}

void RangeTimelineWidgetTest::rangeLabels()
{
    RangeTimelineWidget timeline;
    showAndWait(timeline, QSize(width, 46));
    loadClip(timeline);
    timeline.setFrame(1);
    QImage image = render(timeline);
    const QRect left(0, 14, 44, 32);
    const QRect right(1056, 14, 44, 32);
    QVERIFY(isTextIn(brightest(image, left), 140));
    QVERIFY(isTextIn(brightest(image, right), 140));
    // No length, frame rate or speed labels: the rows below the labels' line stay dark.
    timeline.setSpeed(0.5);
    image = render(timeline);
    QVERIFY(isTextIn(brightest(image, right), 140));
    // Empty labels without a frame rate.
    timeline.setFrameRate(0.0);
    image = render(timeline);
    QCOMPARE(brightest(image, left), 0);
    QCOMPARE(brightest(image, right), 0);
}

void RangeTimelineWidgetTest::hoverMarkerFollowsThePointer()
{
    RangeTimelineWidget timeline;
    showAndWait(timeline, QSize(width, 46));
    loadClip(timeline);
    appSettings().rangeTimelineShowCache = false;
    QCursor::setPos(timeline.mapToGlobal(QPoint(xOf(171) + 3, 44)));
    QTRY_VERIFY_WITH_TIMEOUT(timeline.underMouse(), patienceMs);
    const QImage image = render(timeline);
    QCOMPARE_PIXEL(image, xOf(171), markerTop, over(hoverMarker, black));
    QCOMPARE_PIXEL(image, xOf(171) + 1, markerBottom, over(hoverMarker, black));
    QCOMPARE_PIXEL(image, xOf(171), barRow, over(hoverMarker, track));
    QVERIFY(brightest(image, QRect(xOf(171) - 30, 0, 60, 14)) > 40);
}

void RangeTimelineWidgetTest::pressOnTrackScrubs()
{
    RangeTimelineWidget timeline;
    PlayerStub player(timeline);
    showAndWait(timeline, QSize(width, 46));
    loadClip(timeline);

    press(timeline, QPoint(xOf(151), 30));
    drag(timeline, QPoint(xOf(161), 5));
    drag(timeline, QPoint(0, 30));
    release(timeline, QPoint(0, 30));
    QCOMPARE(player.take(), (QStringList{"frame 151", "frame 161 scrub", "frame 101 scrub"}));
    // The label gap beside the track belongs to the track.
    press(timeline, QPoint(44, 30));
    release(timeline, QPoint(44, 30));
    press(timeline, QPoint(1055, 30));
    release(timeline, QPoint(1055, 30));
    QCOMPARE(player.take(), (QStringList{"frame 101", "frame 201"}));
    // Beyond it lie the labels: a press there requests nothing.
    press(timeline, QPoint(43, 30));
    release(timeline, QPoint(43, 30));
    press(timeline, QPoint(1056, 5));
    release(timeline, QPoint(1056, 5));
    QCOMPARE(player.take(), QStringList());
    QCOMPARE(timeline.rangeStart(), 101);
    QCOMPARE(timeline.rangeEnd(), 201);
}

void RangeTimelineWidgetTest::startLabelDragSensitivities()
{
    RangeTimelineWidget timeline;
    PlayerStub player(timeline);
    showAndWait(timeline, QSize(width, 46));
    loadClip(timeline);
    timeline.setRange(101, 401);
    timeline.setFrame(350);

    // No modifier: two pixels a frame, nothing under two pixels.
    press(timeline, QPoint(20, 30));
    drag(timeline, QPoint(30, 30));
    QCOMPARE(player.take(), QStringList{"range 106 401"});
    drag(timeline, QPoint(31, 30));
    QCOMPARE(player.take(), QStringList());
    drag(timeline, QPoint(32, 30));
    QCOMPARE(player.take(), QStringList{"range 107 401"});
    drag(timeline, QPoint(29, 30));
    QCOMPARE(player.take(), QStringList{"range 106 401"});
    release(timeline, QPoint(29, 30));

    // Shift: ten frames a pixel.
    press(timeline, QPoint(20, 30));
    drag(timeline, QPoint(30, 30), Qt::ShiftModifier);
    QCOMPARE(player.take(), QStringList{"range 206 401"});
    drag(timeline, QPoint(31, 30), Qt::ShiftModifier);
    QCOMPARE(player.take(), QStringList{"range 216 401"});
    drag(timeline, QPoint(21, 30), Qt::ShiftModifier);
    QCOMPARE(player.take(), QStringList{"range 116 401"});
    release(timeline, QPoint(21, 30));

    // Ctrl: twenty pixels a frame, counted from the last applied step.
    press(timeline, QPoint(20, 30));
    drag(timeline, QPoint(30, 30), Qt::ControlModifier);
    drag(timeline, QPoint(39, 30), Qt::ControlModifier);
    QCOMPARE(player.take(), QStringList());
    drag(timeline, QPoint(40, 30), Qt::ControlModifier);
    QCOMPARE(player.take(), QStringList{"range 117 401"});
    drag(timeline, QPoint(50, 30), Qt::ControlModifier);
    drag(timeline, QPoint(22, 30), Qt::ControlModifier);
    QCOMPARE(player.take(), QStringList());
    drag(timeline, QPoint(20, 30), Qt::ControlModifier);
    QCOMPARE(player.take(), QStringList{"range 116 401"});
    release(timeline, QPoint(20, 30));

    // Ctrl and Shift together: two pixels a frame again.
    press(timeline, QPoint(20, 30));
    drag(timeline, QPoint(30, 30), Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(player.take(), QStringList{"range 121 401"});
    release(timeline, QPoint(30, 30));
}

void RangeTimelineWidgetTest::startLabelDragMovesTheCurrentFrame()
{
    RangeTimelineWidget timeline;
    PlayerStub player(timeline);
    showAndWait(timeline, QSize(width, 46));
    loadClip(timeline); // frame 121
    press(timeline, QPoint(20, 30));
    drag(timeline, QPoint(60, 30)); // 20 frames: the start reaches the frame
    QCOMPARE(player.take(), QStringList{"range 121 201"});
    drag(timeline, QPoint(80, 30)); // 10 more: past it
    QCOMPARE(player.take(), (QStringList{"range 131 201", "frame 131"}));
    QCOMPARE(timeline.frame(), 131);
    release(timeline, QPoint(80, 30));
}

void RangeTimelineWidgetTest::endLabelDrag()
{
    RangeTimelineWidget timeline;
    PlayerStub player(timeline);
    showAndWait(timeline, QSize(width, 46));
    loadClip(timeline); // frame 121
    press(timeline, QPoint(1080, 30));
    QCOMPARE(player.take(), QStringList());
    drag(timeline, QPoint(1070, 30));
    QCOMPARE(player.take(), QStringList{"range 101 196"});
    drag(timeline, QPoint(1080, 30), Qt::ShiftModifier);
    QCOMPARE(player.take(), QStringList{"range 101 296"});
    // Below the current frame: the frame follows the end.
    drag(timeline, QPoint(1060, 30), Qt::ShiftModifier);
    QCOMPARE(player.take(), (QStringList{"range 101 96", "frame 96"}));
    release(timeline, QPoint(1060, 30));
}

void RangeTimelineWidgetTest::labelDragsAreNotClamped()
{
    RangeTimelineWidget timeline;
    QStringList requests;
    connect(&timeline, &TimelineWidget::rangeChangeRequest,
            [&](int start, int end) { requests << QString("range %1 %2").arg(start).arg(end); });
    showAndWait(timeline, QSize(width, 46));
    loadClip(timeline);
    press(timeline, QPoint(20, 30));
    drag(timeline, QPoint(0, 30), Qt::ShiftModifier);
    release(timeline, QPoint(0, 30));
    press(timeline, QPoint(1080, 30));
    drag(timeline, QPoint(1099, 30), Qt::ShiftModifier);
    release(timeline, QPoint(1099, 30));
    // Nothing was pushed back: the widget asks, the window validates.
    QCOMPARE(requests, (QStringList{"range -99 201", "range 101 391"}));
}

void RangeTimelineWidgetTest::releaseEndsLabelDrag()
{
    RangeTimelineWidget timeline;
    PlayerStub player(timeline);
    showAndWait(timeline, QSize(width, 46));
    loadClip(timeline);
    press(timeline, QPoint(20, 30));
    QVERIFY(!release(timeline, QPoint(20, 30)));
    drag(timeline, QPoint(60, 30));
    QCOMPARE(player.take(), QStringList());
    press(timeline, QPoint(20, 30), Qt::RightButton);
    drag(timeline, QPoint(60, 30));
    QCOMPARE(player.take(), QStringList());
}

void RangeTimelineWidgetTest::contextMenuUsesRangeSettings()
{
    RangeTimelineWidget timeline;
    PlayerStub player(timeline);
    showAndWait(timeline, QSize(width, 46));
    loadClip(timeline);
    timeline.setDisplayType(SECONDS);
    const QStringList expected = {"Range Start to Current",
                                  "Range End to Current",
                                  "Reset Playback Range",
                                  "-",
                                  "[ ] Frame Numbers",
                                  "[ ] Time Code",
                                  "[x] Seconds",
                                  "-",
                                  "Display",
                                  "  [x] Position Timeline at Top",
                                  "  -",
                                  "  [x] Frame Bookmarks",
                                  "  [x] Cache"};
    QCOMPARE(MenuProbe::open(timeline, QPoint(xOf(121), 30)), expected);
    QCOMPARE(appSettings().rangeTimelineDisplayType, 1);
    QCOMPARE(appSettings().timelineDisplayType, 0);

    // The clicked frame by this timeline's own positions: frame 171 at 25 fps.
    MenuProbe::open(timeline, QPoint(xOf(171), 30), "Range End to 6.80");
    QCOMPARE(player.take(), QStringList{"range 101 171"});

    MenuProbe::open(timeline, QPoint(500, 30), "Cache");
    QVERIFY(!appSettings().rangeTimelineShowCache);
    MenuProbe::open(timeline, QPoint(500, 30), "Frame Bookmarks");
    QVERIFY(!appSettings().rangeTimelineShowFrameBookmarks);
    QVERIFY(appSettings().timelineShowFrameBookmarks);
    QVERIFY(!appSettings().timelineShowCache);
    MenuProbe::open(timeline, QPoint(500, 30), "Position Timeline at Top");
    QCOMPARE(player.take(), QStringList{"position bottom"});
    MenuProbe::open(timeline, QPoint(500, 30), "Time Code");
    QCOMPARE(appSettings().rangeTimelineDisplayType, 2);
    QCOMPARE(appSettings().timelineDisplayType, 0);

    timeline.displayRangeBookmarks(false);
    QVERIFY(appSettings().timelineShowRangeBookmarks);
}

int runRangeTimelineWidgetTests(int argc, char** argv)
{
    RangeTimelineWidgetTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_rangetimelinewidget.moc"
