// The main timeline: geometry, labels, every painted layer checked against the
// colour table, bookmarks reduced to what lands on distinct pixels, the mouse
// (scrub, handles, the squeezed whole-range drag), the context menu and the
// settings it writes.
#include "appsettings.h"
#include "bookmarks.h"
#include "frameentry.h"
#include "menuprobe.h"
#include "patience.h"
#include "playerstub.h"
#include "timelinemarks.h"
#include "timelinewidget.h"
#include "widgettesthelpers.h"

#include <QCursor>
#include <QtTest>

using namespace WidgetTest;

namespace {

// The colour table of the timeline.
const QColor black(0, 0, 0);
const QColor track(64, 64, 64);
const QColor marker(200, 200, 200);
const QColor label(200, 200, 200);
const QColor hoverMarker(200, 200, 200, 90);
const QColor rangeFill(140, 140, 140);
const QColor highlight(200, 200, 200);
const QColor frameBookmark(200, 200, 200);
const QColor rangeBookmark(255, 255, 0, 150);
const QColor sideLabel(140, 140, 140);
const QColor cache(0, 54, 143, 127);

// Rows at the fixed height of 40.
constexpr int barTop = 27, barBottom = 32;
constexpr int rangeTop = 26, rangeBottom = 33;
constexpr int markerTop = 25, markerBottom = 34;
constexpr int cacheTop = 30, cacheBottom = 32;

// At width 1200 the track is 1,000 pixels from x 100, so with 1,001 frames
// frame f is at x 99 + f.
constexpr int wideWidth = 1200;
constexpr int frames = 1001;
constexpr int xOf(int frame)
{
    return 99 + frame;
}

// What the window does when a clip has loaded, in its order.
void loadClip(TimelineWidget& timeline, int frameCount = frames, double fps = 25.0)
{
    timeline.setFrameRate(fps);
    timeline.setRange(1, frameCount);
    timeline.setFrame(1);
    timeline.setFrameCount(frameCount);
}

// The brightest channel value inside a rectangle of the picture.
int brightest(const QImage& image, const QRect& area)
{
    int value = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor colour = image.pixelColor(x, y);
            value = std::max({value, colour.red(), colour.green(), colour.blue()});
        }
    return value;
}

// Whether the brightest pixel of some text is that of its colour; the
// antialiased glyphs of small text may stay a little below it.
bool isTextIn(int brightestValue, const QColor& colour)
{
    return brightestValue <= colour.red() && brightestValue >= colour.red() - 15;
}

} // namespace

class TimelineWidgetTest : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void construction();
    void positionsAtTheEdges();
    void oneFrameClip();
    void roundTrips_data();
    void roundTrips();
    void integerAndSinglePrecisionArithmetic();

    void frameNumberAndSecondsLabels();
    void timeCodeCountsWholeFramesPerSecond();
    void zeroFrameRateGivesEmptyLabels();
    void clipTimecodeLabels_data();
    void clipTimecodeLabels();
    void timecodeRoundTripsEveryLabel();
    void goToEntries_data();
    void goToEntries();

    void trackRangeHandlesAndMarker();
    void cacheStripOnlyWhenSwitchedOn();
    void frameBookmarkMarks();
    void rangeBookmarkStrip();
    void marksFallOnDistinctColumns();
    void rangeStripsBecomeLayeredRuns();
    void manyBookmarksDrawAsFew();
    void hoverMarkerFollowsThePointer();
    void hoverLabelStepsAsideOfTheFrameLabel();
    void hoverOverRangeShowsHighlightAndTabs();
    void lengthLabelAtZeroFrameRate();
    void speedLabelInLabelColour();

    void pressOnHandleStartsHandleDragEvenForWholeClip();
    void handleDragsMoveOneEnd();
    void pressInsideWholeClipRangeScrubs();
    void pressOutsideRangeScrubs();
    void handleHitAreasIncludeTheirCorners();
    void handlesFollowANewClip();
    void wholeRangeDragMovesTheRange();
    void rangeSqueezedAgainstFirstFrameGrowsBack();
    void rangeSqueezedAgainstLastFrameGrowsBack();
    void releaseEndsTheDragAndPropagates();
    void otherButtonsRequestNothing();

    void contextMenuEntries();
    void contextMenuNearTheMarkerUsesCurrentFrame();
    void contextMenuElsewhereUsesClickedFrame();
    void contextMenuOnOneFrameClip();
    void contextMenuSwitchesWriteSettings();
    void displayTypeIsStoredInSettings();
};

void TimelineWidgetTest::init()
{
    appSettings() = AppSettings();
    QCursor::setPos(QPoint(5000, 5000)); // away from every test window
    QCoreApplication::processEvents();
}

void TimelineWidgetTest::construction()
{
    TimelineWidget timeline;
    QCOMPARE(timeline.minimumWidth(), 400);
    QCOMPARE(timeline.minimumHeight(), 40);
    QCOMPARE(timeline.maximumHeight(), 40);
    QVERIFY(timeline.hasMouseTracking());
    QCOMPARE(timeline.contextMenuPolicy(), Qt::CustomContextMenu);
    QCOMPARE(timeline.frame(), 1);
    QCOMPARE(timeline.frameCount(), 0);
    QCOMPARE(timeline.rangeStart(), 1);
    QCOMPARE(timeline.rangeEnd(), 100);
    QCOMPARE(timeline.cachedRangeStart(), -1);
    QCOMPARE(timeline.cachedRangeEnd(), -1);
    QCOMPARE(timeline.frameRate(), 0.0);
    QCOMPARE(timeline.playbackRate(), 0.0);
    QCOMPARE(timeline.speed(), 1.0);
    QCOMPARE(timeline.displayType(), FRAME_NUMBERS);
    QCOMPARE(timeline.findChildren<QAction*>().size(), 10);
}

void TimelineWidgetTest::positionsAtTheEdges()
{
    for (int width : {400, 1200}) {
        TimelineWidget timeline;
        showAndWait(timeline, QSize(width, 40));
        loadClip(timeline, 5000);
        for (int x : {-40, 0, 50, 99, 100})
            QCOMPARE(timeline.frameAtPosition(QPoint(x, 20)), 1);
        QVERIFY(timeline.frameAtPosition(QPoint(101, 20)) > 1);
        for (int x : {width - 100, width - 99, width, width + 300})
            QCOMPARE(timeline.frameAtPosition(QPoint(x, 20)), 5000);
        QVERIFY(timeline.frameAtPosition(QPoint(width - 101, 20)) < 5000);
        QCOMPARE(timeline.positionOfFrame(1), 100);
        QCOMPARE(timeline.positionOfFrame(5000), width - 100);
    }
}

void TimelineWidgetTest::oneFrameClip()
{
    TimelineWidget timeline;
    showAndWait(timeline, QSize(800, 40));
    loadClip(timeline, 1);
    for (int frame : {1, 0, 2, 500, -7})
        QCOMPARE(timeline.positionOfFrame(frame), 100);
    for (int x : {0, 100, 101, 400, 699, 700, 799})
        QCOMPARE(timeline.frameAtPosition(QPoint(x, 20)), 1);
    // The range of a one-frame clip covers the whole track.
    const QImage image = render(timeline);
    QCOMPARE_PIXEL(image, 400, rangeTop, rangeFill);
    QCOMPARE_PIXEL(image, 699, rangeBottom, rangeFill);
}

void TimelineWidgetTest::roundTrips_data()
{
    QTest::addColumn<int>("frameCount");
    QTest::addColumn<int>("width");
    for (int frameCount : {1000, 100000})
        for (int width : {400, 1000, 1200, 2200, 2600})
            QTest::addRow("%d frames at %d px", frameCount, width) << frameCount << width;
}

void TimelineWidgetTest::roundTrips()
{
    QFETCH(int, frameCount);
    QFETCH(int, width);
    TimelineWidget timeline;
    showAndWait(timeline, QSize(width, 40));
    loadClip(timeline, frameCount);
    const int trackWidth = width - 200;
    // With two or more pixels per frame every frame comes back exactly;
    // otherwise a frame comes back within one pixel's worth of frames.
    const bool exact = trackWidth >= 2 * (frameCount - 1);
    const int framesPerPixel = (frameCount - 1 + trackWidth - 1) / trackWidth;
    const int step = frameCount > 10000 ? 7 : 1;
    for (int frame = 1; frame <= frameCount; frame += step) {
        const int x = timeline.positionOfFrame(frame);
        QVERIFY(x >= 100 && x <= width - 100);
        const int back = timeline.frameAtPosition(QPoint(x, 20));
        if (exact)
            QCOMPARE(back, frame);
        else
            QVERIFY2(qAbs(back - frame) <= framesPerPixel,
                     qPrintable(QString("%1 -> %2").arg(frame).arg(back)));
    }
    QCOMPARE(timeline.frameAtPosition(QPoint(timeline.positionOfFrame(frameCount), 20)), frameCount);
    // Position -> frame -> position: monotonic, and back to the nearest
    // frame's pixel (within one pixel when frames outnumber pixels).
    const double pixelsPerFrame = double(trackWidth) / (frameCount - 1);
    int previous = 1;
    for (int x = 100; x <= width - 100; ++x) {
        const int frame = timeline.frameAtPosition(QPoint(x, 20));
        QVERIFY(frame >= previous);
        previous = frame;
        QVERIFY2(qAbs(timeline.positionOfFrame(frame) - x) <= pixelsPerFrame / 2 + 1,
                 qPrintable(QString("x %1").arg(x)));
    }
}

void TimelineWidgetTest::integerAndSinglePrecisionArithmetic()
{
    TimelineWidget timeline;
    showAndWait(timeline, QSize(400, 40));
    loadClip(timeline, 1000);
    // 100 + 200 * 499 / 999 truncates 99.9 to 99.
    QCOMPARE(timeline.positionOfFrame(500), 199);
    // qRound(999 * 99 / 200) + 1 = qRound(494.505) + 1.
    QCOMPARE(timeline.frameAtPosition(QPoint(199, 0)), 496);
    // 999 * 1 / 200 = 4.995 rounds to 5, and 999 * 2 / 200 = 9.99 to 10.
    QCOMPARE(timeline.frameAtPosition(QPoint(101, 0)), 6);
    QCOMPARE(timeline.frameAtPosition(QPoint(102, 0)), 11);
    // No clamping: frames beyond the clip lie beyond the track.
    QCOMPARE(timeline.positionOfFrame(1999), 500);
    QCOMPARE(timeline.positionOfFrame(0), 100);
    // A long clip on a wide track does not overflow.
    timeline.setFrameCount(20000000);
    timeline.resize(3000, 40);
    QCOMPARE(timeline.positionOfFrame(20000000), 2900);
    QCOMPARE(timeline.positionOfFrame(10000000), 100 + int(qint64(2800) * 9999999 / 19999999));
}

void TimelineWidgetTest::frameNumberAndSecondsLabels()
{
    TimelineWidget timeline;
    timeline.setFrameRate(24.0);
    QCOMPARE(timeline.frameLabel(1), QString("1"));
    QCOMPARE(timeline.frameLabel(2400), QString("2400"));
    timeline.setDisplayType(SECONDS);
    QCOMPARE(timeline.frameLabel(1), QString("0.00"));
    QCOMPARE(timeline.frameLabel(13), QString("0.50"));
    QCOMPARE(timeline.frameLabel(25), QString("1.00"));
    QCOMPARE(timeline.frameLabel(2400), QString("99.96"));
    timeline.setFrameRate(29.97);
    QCOMPARE(timeline.frameLabel(30), QString("0.97"));
}

void TimelineWidgetTest::timeCodeCountsWholeFramesPerSecond()
{
    TimelineWidget timeline;
    timeline.setDisplayType(TIME_CODE);
    timeline.setFrameRate(23.976);
    QCOMPARE(timeline.frameLabel(1), QString("00:00:00"));
    QCOMPARE(timeline.frameLabel(24), QString("00:00:23"));
    QCOMPARE(timeline.frameLabel(25), QString("00:01:00"));
    QCOMPARE(timeline.frameLabel(24 * 60 + 1), QString("01:00:00"));
    QCOMPARE(timeline.frameLabel(24 * 3599 + 24), QString("59:59:23"));
    QCOMPARE(timeline.frameLabel(24 * 3600 + 1), QString("01:00:00:00"));
    QCOMPARE(timeline.frameLabel(24 * 3600 * 10 + 24 * 61 + 3), QString("10:01:01:02"));
    timeline.setFrameRate(24.0);
    QCOMPARE(timeline.frameLabel(25), QString("00:01:00"));
    timeline.setFrameRate(29.97);
    QCOMPARE(timeline.frameLabel(31), QString("00:01:00"));
    timeline.setFrameRate(119.88);
    QCOMPARE(timeline.frameLabel(120), QString("00:00:119"));
    // Rates below half a frame a second still count (one frame a second).
    timeline.setFrameRate(0.2);
    QCOMPARE(timeline.frameLabel(62), QString("01:01:00"));
}

void TimelineWidgetTest::clipTimecodeLabels_data()
{
    QTest::addColumn<double>("fps");
    QTest::addColumn<QString>("start");
    QTest::addColumn<bool>("useSource");
    QTest::addColumn<int>("frame");
    QTest::addColumn<QString>("label");
    const double ntsc = 30000.0 / 1001.0;
    const double ntscDouble = 60000.0 / 1001.0;
    const struct
    {
        const char* name;
        double fps;
        const char* start;
        bool useSource;
        int frame;
        const char* label;
    } rows[] = {
        {"hour start, first", 25.0, "01:00:00:00", true, 1, "01:00:00:00"},
        {"hour start, second", 25.0, "01:00:00:00", true, 2, "01:00:00:01"},
        {"hour start, minute", 25.0, "01:00:00:00", true, 1501, "01:01:00:00"},
        {"hour start, switched off", 25.0, "01:00:00:00", false, 1501, "01:00:00"},
        {"no start counts from zero", 25.0, "", true, 1, "00:00:00"},
        {"malformed start counts from zero", 25.0, "1:0", true, 26, "00:01:00"},
        {"drop-frame start", ntsc, "00:59:59;28", true, 1, "00:59:59;28"},
        {"drop-frame second", ntsc, "00:59:59;28", true, 2, "00:59:59;29"},
        {"tenth minute keeps ;00", ntsc, "00:59:59;28", true, 3, "01:00:00;00"},
        {"next minute drops ;00 ;01", ntsc, "00:59:59;28", true, 3 + 1799, "01:00:59;29"},
        {"next minute's first label", ntsc, "00:59:59;28", true, 3 + 1800, "01:01:00;02"},
        {"drop-frame from zero", ntsc, "00:59:59;28", false, 1801, "01:00;02"},
        {"ten drop-frame minutes", ntsc, "00:00:00;00", true, 17983, "00:10:00;00"},
        {"59.94 drops four", ntscDouble, "00:00:00;00", true, 3601, "00:01:00;04"},
        {"29.97 without drop flag", ntsc, "00:00:00:00", true, 1801, "00:01:00:00"},
        {"drop flag ignored at 25", 25.0, "00:00:00;00", true, 1501, "00:01:00:00"},
        {"wraps at midnight", 25.0, "23:59:59:24", true, 2, "00:00:00:00"},
    };
    for (const auto& r : rows)
        QTest::newRow(r.name) << r.fps << QString(r.start) << r.useSource << r.frame << QString(r.label);
}

void TimelineWidgetTest::clipTimecodeLabels()
{
    QFETCH(double, fps);
    QFETCH(QString, start);
    QFETCH(bool, useSource);
    QFETCH(int, frame);
    QFETCH(QString, label);
    TimelineWidget timeline;
    timeline.setDisplayType(TIME_CODE);
    timeline.setFrameRate(fps);
    timeline.setSourceTimecode(start, useSource);
    QCOMPARE(timeline.frameLabel(frame), label);
    // A typed label leads back to its frame.
    const QString full = label.size() >= 11 ? label : "00:" + label;
    QCOMPARE(timeline.timecode().frameOf(full).value_or(-1), qint64(frame));
}

void TimelineWidgetTest::timecodeRoundTripsEveryLabel()
{
    for (const Timecode& timecode : {Timecode(30, true), Timecode(60, true), Timecode(24, false)}) {
        QString previous;
        for (qint64 count = 0; count < timecode.framesPerDay(); count += 13) {
            const QString text = timecode.format(count);
            QVERIFY2(timecode.parse(text) == count, qPrintable(text));
            QVERIFY(text > previous);
            previous = text;
        }
    }
    // Labels a drop-frame count skips do not exist.
    QVERIFY(!Timecode(30, true).parse("00:01:00;01"));
    QVERIFY(!Timecode(60, true).parse("00:01:00;03"));
    QVERIFY(Timecode(30, true).parse("00:10:00;00"));
}

void TimelineWidgetTest::goToEntries_data()
{
    QTest::addColumn<double>("fps");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("frame");
    const double ntsc = 30000.0 / 1001.0;
    const struct
    {
        const char* text;
        double fps;
        const char* start;
        int frame; // 0: refused
    } rows[] = {
        {"77", 25.0, "", 77},
        {" 77 ", 25.0, "", 77},
        {"00:00:03:02", 25.0, "", 78},
        {"3.08", 25.0, "", 78},
        {"0.0", 25.0, "", 1},
        {"00:01:00;02", ntsc, "00:00:00;00", 1801},
        {"01:00:00:02", 25.0, "01:00:00:00", 3},
        {"abc", 25.0, "", 0},
        {"", 25.0, "", 0},
        {"0", 25.0, "", 0},
        {"2001", 25.0, "", 0},
        {"80.0", 25.0, "", 0},
        {"00:00:03:25", 25.0, "", 0},
        {"00:01:00;01", ntsc, "00:00:00;00", 0},
        {"00:00:00:00", 25.0, "01:00:00:00", 0},
        {"1:2:3", 25.0, "", 0},
        {"-5", 25.0, "", 0},
    };
    for (const auto& r : rows)
        QTest::newRow(qPrintable(QStringLiteral("%1 at %2 from %3").arg(r.text).arg(r.fps).arg(r.start)))
            << r.fps << QString(r.start) << QString(r.text) << r.frame;
}

void TimelineWidgetTest::goToEntries()
{
    QFETCH(double, fps);
    QFETCH(QString, start);
    QFETCH(QString, text);
    QFETCH(int, frame);
    const FrameEntry entry = FrameEntry::read(text, ClipTimecode(fps, start), fps, 2000);
    QCOMPARE(entry.frame(), frame);
    QCOMPARE(entry.isValid(), frame > 0);
    QCOMPARE(entry.error().isEmpty(), frame > 0);
}

void TimelineWidgetTest::zeroFrameRateGivesEmptyLabels()
{
    TimelineWidget timeline;
    for (DISPLAY_TYPE type : {FRAME_NUMBERS, SECONDS, TIME_CODE}) {
        timeline.setDisplayType(type);
        for (double fps : {0.0, -25.0}) {
            timeline.setFrameRate(fps);
            QCOMPARE(timeline.frameLabel(1), QString());
            QCOMPARE(timeline.frameLabel(250), QString());
        }
    }
}

void TimelineWidgetTest::trackRangeHandlesAndMarker()
{
    TimelineWidget timeline;
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline);
    timeline.setRange(201, 601);
    timeline.setFrame(401);
    const QImage image = render(timeline);

    QCOMPARE_PIXEL(image, 0, 0, black);
    // The track bar, outside the range.
    QCOMPARE_PIXEL(image, 150, barTop, track);
    QCOMPARE_PIXEL(image, 150, barBottom, track);
    QCOMPARE_PIXEL(image, 150, barTop - 1, black);
    QCOMPARE_PIXEL(image, 150, barBottom + 1, black);
    QCOMPARE_PIXEL(image, 99, 30, black);
    QCOMPARE_PIXEL(image, 1100, 30, black);
    QCOMPARE_PIXEL(image, 1099, 30, track);
    // The range fill, 8 high, from the start's x to just before the end's x.
    QCOMPARE_PIXEL(image, 350, rangeTop, rangeFill);
    QCOMPARE_PIXEL(image, 350, rangeBottom, rangeFill);
    QCOMPARE_PIXEL(image, 350, rangeTop - 1, black);
    QCOMPARE_PIXEL(image, 350, rangeBottom + 1, black);
    QCOMPARE_PIXEL(image, xOf(201) - 1, 30, track);
    QCOMPARE_PIXEL(image, xOf(201), 30, rangeFill);
    QCOMPARE_PIXEL(image, xOf(601) - 1, 30, rangeFill);
    // The handle lines, 2 x 10 at each end, one pixel taller than the fill.
    for (int x : {xOf(201), xOf(201) + 1, xOf(601), xOf(601) + 1}) {
        QCOMPARE_PIXEL(image, x, markerTop, rangeFill);
        QCOMPARE_PIXEL(image, x, markerBottom, rangeFill);
        QCOMPARE_PIXEL(image, x, markerTop - 1, black);
    }
    QCOMPARE_PIXEL(image, xOf(601) + 2, 30, track);
    // The current-frame marker, 2 x 10 at positionOfFrame(frame).
    QCOMPARE(timeline.positionOfFrame(401), xOf(401));
    for (int x : {xOf(401), xOf(401) + 1}) {
        QCOMPARE_PIXEL(image, x, markerTop, marker);
        QCOMPARE_PIXEL(image, x, markerBottom, marker);
        QCOMPARE_PIXEL(image, x, markerBottom + 1, black);
    }
    QCOMPARE_PIXEL(image, xOf(401) - 1, markerTop + 1, rangeFill);
    QCOMPARE_PIXEL(image, xOf(401) + 2, markerTop + 1, rangeFill);
    // Its label above it, in the label colour.
    QVERIFY(isTextIn(brightest(image, QRect(xOf(401) - 30, 0, 60, 20)), label));
    QCOMPARE(brightest(image, QRect(xOf(401) + 120, 0, 60, 20)), 0);

    // The marker moves with the frame.
    timeline.setFrame(801);
    const QImage moved = render(timeline);
    QCOMPARE_PIXEL(moved, xOf(801), markerTop, marker);
    QCOMPARE_PIXEL(moved, xOf(401), markerTop, black);
    QCOMPARE_PIXEL(moved, xOf(401), 30, rangeFill);
}

void TimelineWidgetTest::cacheStripOnlyWhenSwitchedOn()
{
    TimelineWidget timeline;
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline);
    timeline.setRange(201, 601);
    timeline.setFrame(101);
    timeline.setCachedRange(251, 701);

    QVERIFY(!appSettings().timelineShowCache);
    QImage image = render(timeline);
    QCOMPARE_PIXEL(image, 400, cacheTop, rangeFill);
    QCOMPARE_PIXEL(image, 750, cacheTop, track);

    timeline.displayCache(true);
    QVERIFY(appSettings().timelineShowCache);
    image = render(timeline);
    // Three rows in the lower half of the bar, from the first cached frame to
    // just before the last one, over the range and over the bare track.
    for (int y = cacheTop; y <= cacheBottom; ++y) {
        QCOMPARE_PIXEL(image, xOf(251), y, over(cache, rangeFill));
        QCOMPARE_PIXEL(image, 400, y, over(cache, rangeFill));
        QCOMPARE_PIXEL(image, 750, y, over(cache, track));
        QCOMPARE_PIXEL(image, xOf(701) - 1, y, over(cache, track));
    }
    QCOMPARE_PIXEL(image, 400, cacheTop - 1, rangeFill);
    QCOMPARE_PIXEL(image, 400, cacheBottom + 1, rangeFill);
    QCOMPARE_PIXEL(image, xOf(251) - 1, cacheTop, rangeFill);
    QCOMPARE_PIXEL(image, xOf(701), cacheTop, track);

    // Nothing cached: no strip.
    timeline.setCachedRange(-1, -1);
    image = render(timeline);
    QCOMPARE_PIXEL(image, 400, cacheTop, rangeFill);
}

void TimelineWidgetTest::frameBookmarkMarks()
{
    Bookmarks bookmarks;
    bookmarks.addFrameBookmark(801);
    bookmarks.addFrameBookmark(951);
    TimelineWidget timeline;
    timeline.setBookmarks(&bookmarks);
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline);
    timeline.setRange(201, 601);
    timeline.setFrame(401);

    QImage image = render(timeline);
    for (int frame : {801, 951}) {
        // A line one pixel wide over the marker's rows, and a dot below it.
        QCOMPARE_PIXEL(image, xOf(frame), markerTop, frameBookmark);
        QCOMPARE_PIXEL(image, xOf(frame), 30, frameBookmark);
        QCOMPARE_PIXEL(image, xOf(frame), markerBottom, frameBookmark);
        QCOMPARE_PIXEL(image, xOf(frame), markerTop - 1, black);
        QCOMPARE_PIXEL(image, xOf(frame) + 1, markerTop, black);
        QCOMPARE_PIXEL(image, xOf(frame) + 1, 30, track);
        QCOMPARE_PIXEL(image, xOf(frame) - 1, markerTop, black);
        QVERIFY(brightest(image, QRect(xOf(frame) - 1, markerBottom + 1, 3, 2)) > 100);
    }

    appSettings().timelineShowFrameBookmarks = false;
    timeline.update();
    image = render(timeline);
    QCOMPARE_PIXEL(image, xOf(801), markerTop, black);
    QCOMPARE_PIXEL(image, xOf(801), 30, track);
}

void TimelineWidgetTest::rangeBookmarkStrip()
{
    Bookmarks bookmarks;
    bookmarks.addRangeBookmark(851, 951, QStringLiteral("a"));
    bookmarks.addRangeBookmark(301, 401, QStringLiteral("b"));
    TimelineWidget timeline;
    timeline.setBookmarks(&bookmarks);
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline);
    timeline.setRange(201, 601);
    timeline.setFrame(101);

    QImage image = render(timeline);
    // Two rows along the bottom edge of the bar: its last row and the one below.
    QCOMPARE_PIXEL(image, xOf(851), barBottom, over(rangeBookmark, track));
    QCOMPARE_PIXEL(image, 1000, barBottom, over(rangeBookmark, track));
    QCOMPARE_PIXEL(image, 1000, barBottom + 1, over(rangeBookmark, black));
    QCOMPARE_PIXEL(image, xOf(951) - 1, barBottom + 1, over(rangeBookmark, black));
    QCOMPARE_PIXEL(image, xOf(951), barBottom, track);
    QCOMPARE_PIXEL(image, xOf(851) - 1, barBottom, track);
    QCOMPARE_PIXEL(image, 1000, barBottom - 1, track);
    QCOMPARE_PIXEL(image, 1000, barBottom + 2, black);
    // Over the playback range it covers the range fill.
    QCOMPARE_PIXEL(image, 450, barBottom, over(rangeBookmark, rangeFill));
    QCOMPARE_PIXEL(image, 450, barBottom + 1, over(rangeBookmark, rangeFill));

    timeline.displayRangeBookmarks(false);
    QVERIFY(!appSettings().timelineShowRangeBookmarks);
    image = render(timeline);
    QCOMPARE_PIXEL(image, 1000, barBottom, track);
    QCOMPARE_PIXEL(image, 1000, barBottom + 1, black);
}

void TimelineWidgetTest::marksFallOnDistinctColumns()
{
    // Ten frames to a column; frames 0 to 9 land on column 0.
    const auto x = [](int frame) { return frame / 10; };
    const QVector<int> sorted{1, 5, 9, 10, 31, 32, 77, 500, 1000};
    QCOMPARE(TimelineMarks::columnsOf(sorted, 0, 1000, 0, 100, x), (QVector<int>{0, 1, 3, 7, 50, 100}));
    // Only the frames asked for, only the columns asked for.
    QCOMPARE(TimelineMarks::columnsOf(sorted, 10, 77, 0, 100, x), (QVector<int>{1, 3, 7}));
    QCOMPARE(TimelineMarks::columnsOf(sorted, 0, 1000, 2, 49, x), (QVector<int>{3, 7}));
    QCOMPARE(TimelineMarks::columnsOf(sorted, 78, 499, 0, 100, x), QVector<int>());
    QCOMPARE(TimelineMarks::columnsOf({}, 0, 1000, 0, 100, x), QVector<int>());
}

void TimelineWidgetTest::rangeStripsBecomeLayeredRuns()
{
    using Run = TimelineMarks::Run;
    const auto same = [](const QVector<Run>& a, const QVector<Run>& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Run& p, const Run& q) {
            return p.left == q.left && p.right == q.right && p.depth == q.depth;
        });
    };
    const auto x = [](int frame) { return frame; };
    // Overlaps deepen, a reversed range covers the same columns, an empty
    // one none, and the runs stay within the columns asked for.
    const QVector<RangeBookmark> ranges{
        {10, 20, {}}, {15, 30, {}}, {25, 15, {}}, {40, 40, {}}, {90, 200, {}}};
    QVERIFY(same(TimelineMarks::runsOf(ranges, 0, 100, x),
                 {{10, 15, 1}, {15, 20, 3}, {20, 25, 2}, {25, 30, 1}, {90, 100, 1}}));
    QVERIFY(same(TimelineMarks::runsOf(ranges, 18, 28, x), {{18, 20, 3}, {20, 25, 2}, {25, 28, 1}}));
    QVERIFY(TimelineMarks::runsOf({}, 0, 100, x).isEmpty());
    QCOMPARE(TimelineMarks::layeredAlpha(150, 1), 150);
    QCOMPARE(TimelineMarks::layeredAlpha(150, 2), 212);
    QCOMPARE(TimelineMarks::layeredAlpha(150, 40), 255);

    // On the timeline a column under two strips looks like two strips drawn
    // one over the other; a strip past the clip's end stops at the track's.
    Bookmarks bookmarks;
    bookmarks.addRangeBookmark(301, 501, QStringLiteral("a"));
    bookmarks.addRangeBookmark(401, 601, QStringLiteral("b"));
    bookmarks.addRangeBookmark(951, 5000, QStringLiteral("beyond"));
    TimelineWidget timeline;
    timeline.setBookmarks(&bookmarks);
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline);
    timeline.setRange(1, 101);
    timeline.setFrame(101);
    const QImage image = render(timeline);
    QCOMPARE_PIXEL(image, xOf(350), barBottom, over(rangeBookmark, track));
    QCOMPARE_PIXEL(image, xOf(450), barBottom, over(rangeBookmark, over(rangeBookmark, track)));
    QCOMPARE_PIXEL(image, xOf(450), barBottom + 1, over(rangeBookmark, over(rangeBookmark, black)));
    QCOMPARE_PIXEL(image, xOf(550), barBottom + 1, over(rangeBookmark, black));
    QCOMPARE_PIXEL(image, xOf(frames) - 1, barBottom + 1, over(rangeBookmark, black));
    QCOMPARE_PIXEL(image, xOf(frames) + 5, barBottom + 1, black);
}

void TimelineWidgetTest::manyBookmarksDrawAsFew()
{
    // Nearly a million frame bookmarks on a clip of 2,000,000 frames: two
    // thousand frames to a column, every other frame marked, but none from
    // 1,800,000 to 1,900,000. There, a hundred thousand range bookmarks over
    // each other are plain yellow.
    constexpr int clipFrames = 2000000;
    Bookmarks bookmarks;
    for (int frame = 1; frame <= 1800000; frame += 2)
        bookmarks.addFrameBookmark(frame);
    for (int frame = 1900001; frame <= clipFrames; frame += 2)
        bookmarks.addFrameBookmark(frame);
    for (int i = 0; i < 100000; ++i)
        bookmarks.addRangeBookmark(1800001 + i, 1850001 + i, QString());
    TimelineWidget timeline;
    timeline.setBookmarks(&bookmarks);
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline, clipFrames);
    timeline.setRange(1, 2);
    const QImage image = render(timeline);
    const auto xAt = [](int frame) { return 100 + int(qint64(1000) * (frame - 1) / (clipFrames - 1)); };
    for (int frame : {3, 500001, 1799999, 1900001, clipFrames - 1})
        QCOMPARE_PIXEL(image, xAt(frame), markerTop, frameBookmark);
    QCOMPARE_PIXEL(image, xAt(1850000), markerTop, black);
    QCOMPARE_PIXEL(image, xAt(1850000), barBottom + 1, QColor(255, 255, 0));
}

void TimelineWidgetTest::hoverMarkerFollowsThePointer()
{
    Bookmarks bookmarks;
    bookmarks.addFrameBookmark(901);
    appSettings().timelineShowFrameBookmarks = false; // only the hover marker shows the bookmark
    TimelineWidget timeline;
    timeline.setBookmarks(&bookmarks);
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline);
    timeline.setRange(201, 601);
    timeline.setFrame(401);

    QCOMPARE_PIXEL(render(timeline), xOf(701), markerTop, black);

    QCursor::setPos(timeline.mapToGlobal(QPoint(xOf(701), 38)));
    QTRY_VERIFY_WITH_TIMEOUT(timeline.underMouse(), patienceMs);
    QImage image = render(timeline);
    QCOMPARE_PIXEL(image, xOf(701), markerTop, over(hoverMarker, black));
    QCOMPARE_PIXEL(image, xOf(701) + 1, markerBottom, over(hoverMarker, black));
    QCOMPARE_PIXEL(image, xOf(701), 30, over(hoverMarker, track));
    QCOMPARE_PIXEL(image, xOf(701) + 2, 30, track);
    // Its label, in the translucent hover colour.
    const int hoverLabel = brightest(image, QRect(xOf(701) - 30, 0, 60, 20));
    QVERIFY(hoverLabel > 40 && hoverLabel <= over(hoverMarker, black).red() + 2);

    // Over a bookmarked frame the marker takes the bookmark colour.
    QCursor::setPos(timeline.mapToGlobal(QPoint(xOf(901), 38)));
    QTRY_COMPARE_WITH_TIMEOUT(render(timeline).pixelColor(xOf(901), markerTop), frameBookmark, patienceMs);
    QCOMPARE_PIXEL(render(timeline), xOf(701), markerTop, black);

    // Gone once the pointer has left.
    QCursor::setPos(QPoint(5000, 5000));
    QTRY_VERIFY_WITH_TIMEOUT(!timeline.underMouse(), patienceMs);
    QCOMPARE_PIXEL(render(timeline), xOf(901), markerTop, black);
}

void TimelineWidgetTest::hoverLabelStepsAsideOfTheFrameLabel()
{
    TimelineWidget timeline;
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline);
    timeline.setFrame(401);
    const QRect frameLabelBox(xOf(401) - 20, 0, 42, 20);
    const QImage alone = render(timeline).copy(frameLabelBox);

    for (int frame : {411, 391}) {
        QCursor::setPos(timeline.mapToGlobal(QPoint(xOf(frame), 38)));
        QTRY_VERIFY_WITH_TIMEOUT(timeline.underMouse(), patienceMs);
        const QImage image = render(timeline);
        // The marker stays at the hovered frame...
        QCOMPARE_PIXEL(image, xOf(frame), markerTop, over(hoverMarker, black));
        // ...its label moves beside the current frame's, on the pointer's side.
        QCOMPARE(image.copy(frameLabelBox), alone);
        const QRect beside = frame > 401 ? QRect(xOf(401) + 24, 0, 40, 20) : QRect(xOf(401) - 64, 0, 40, 20);
        const int hoverLabel = brightest(image, beside);
        QVERIFY(hoverLabel > 40 && hoverLabel <= over(hoverMarker, black).red() + 2);
    }
}

void TimelineWidgetTest::hoverOverRangeShowsHighlightAndTabs()
{
    TimelineWidget timeline;
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline);
    timeline.setRange(201, 601);
    timeline.setFrame(101);
    const int xs = xOf(201);
    const int xe = xOf(601);

    QImage image = render(timeline);
    QCOMPARE_PIXEL(image, 400, rangeTop - 1, black);
    QCOMPARE_PIXEL(image, xs - 4, 30, track);
    QCOMPARE_PIXEL(image, xe + 5, 30, track);

    // Over the range: a highlight border above and below the fill and both tabs.
    hover(timeline, QPoint(400, 30));
    image = render(timeline);
    QCOMPARE_PIXEL(image, 400, rangeTop - 1, highlight);
    QCOMPARE_PIXEL(image, 400, rangeBottom + 1, highlight);
    QCOMPARE_PIXEL(image, 400, rangeTop, rangeFill);
    QCOMPARE_PIXEL(image, xs - 4, 30, black);
    QCOMPARE_PIXEL(image, xe + 5, 30, black);
    QCOMPARE(brightest(image, QRect(xs - 8, 28, 2, 4)), highlight.red());
    QCOMPARE(brightest(image, QRect(xe + 8, 28, 2, 4)), highlight.red());

    // Over the start handle: only its tab, no highlight.
    hover(timeline, QPoint(xs - 3, 30));
    image = render(timeline);
    QCOMPARE_PIXEL(image, 400, rangeTop - 1, black);
    QCOMPARE_PIXEL(image, xs - 4, 30, black);
    QCOMPARE_PIXEL(image, xe + 5, 30, track);

    // Over the end handle: only its tab.
    hover(timeline, QPoint(xe + 4, 30));
    image = render(timeline);
    QCOMPARE_PIXEL(image, xs - 4, 30, track);
    QCOMPARE_PIXEL(image, xe + 5, 30, black);

    // A range over the whole clip is not highlighted.
    timeline.setRange(1, frames);
    hover(timeline, QPoint(400, 30));
    image = render(timeline);
    QCOMPARE_PIXEL(image, 400, rangeTop - 1, black);

    // Leaving clears the hover state.
    timeline.setRange(201, 601);
    hover(timeline, QPoint(400, 30));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&timeline, &leave);
    image = render(timeline);
    QCOMPARE_PIXEL(image, 400, rangeTop - 1, black);
    QCOMPARE_PIXEL(image, xs - 4, 30, track);
}

void TimelineWidgetTest::lengthLabelAtZeroFrameRate()
{
    TimelineWidget timeline;
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline, frames, 0.0);
    const QRect lengthBox(0, 20, 95, 20);
    // " frames" alone is still drawn, in the side-label colour...
    QVERIFY(isTextIn(brightest(render(timeline), lengthBox), sideLabel));
    // ...while a time code has no suffix, so nothing is drawn.
    timeline.setDisplayType(TIME_CODE);
    QCOMPARE(brightest(render(timeline), lengthBox), 0);
    // No frame label above the marker either.
    QCOMPARE(brightest(render(timeline), QRect(0, 0, wideWidth, 20)), 0);
}

void TimelineWidgetTest::speedLabelInLabelColour()
{
    TimelineWidget timeline;
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline);
    timeline.setPlaybackRate(24.9);
    const QRect rateBox(wideWidth - 90, 20, 90, 20);
    // At normal speed the rate and "fps" are side labels.
    QVERIFY(isTextIn(brightest(render(timeline), rateBox), sideLabel));
    // At another speed the speed replaces them, in the brighter label colour.
    timeline.setSpeed(0.5);
    const QImage image = render(timeline);
    QVERIFY(isTextIn(brightest(image, rateBox), label));
    QVERIFY(isTextIn(brightest(image, QRect(wideWidth - 90, 20, 30, 20)), sideLabel));
}

void TimelineWidgetTest::pressOnHandleStartsHandleDragEvenForWholeClip()
{
    TimelineWidget timeline;
    PlayerStub player(timeline);
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline);
    QCOMPARE(timeline.rangeEnd(), frames);

    press(timeline, QPoint(xOf(1) - 4, 30));
    QCOMPARE(player.take(), QStringList{"frame 1"});
    drag(timeline, QPoint(xOf(51), 30));
    QCOMPARE(player.take(), (QStringList{"range 51 1001", "frame 51"}));
    release(timeline, QPoint(xOf(51), 30));

    timeline.setRange(1, frames);
    press(timeline, QPoint(xOf(frames) + 5, 30));
    QCOMPARE(player.take(), QStringList{"frame 1001"});
    drag(timeline, QPoint(xOf(901), 30));
    QCOMPARE(player.take(), (QStringList{"range 1 901", "frame 901"}));
    release(timeline, QPoint(xOf(901), 30));
}

void TimelineWidgetTest::handleDragsMoveOneEnd()
{
    TimelineWidget timeline;
    PlayerStub player(timeline);
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline);
    timeline.setRange(201, 601);
    timeline.setFrame(401);

    // The start follows the pointer by whole frames from the start itself.
    press(timeline, QPoint(xOf(201) - 2, 28));
    QCOMPARE(player.take(), QStringList{"frame 201"});
    drag(timeline, QPoint(xOf(251), 28));
    QCOMPARE(player.take(), (QStringList{"range 251 601", "frame 251"}));
    drag(timeline, QPoint(xOf(241), 10)); // height does not matter once dragging
    QCOMPARE(player.take(), (QStringList{"range 241 601", "frame 241"}));
    // Dragged past the first frame, the start stays at 1.
    drag(timeline, QPoint(0, 28));
    QCOMPARE(player.take(), (QStringList{"range 1 601", "frame 1"}));
    release(timeline, QPoint(0, 28));

    // The end stops at the last frame.
    press(timeline, QPoint(xOf(601) + 3, 28));
    QCOMPARE(player.take(), QStringList{"frame 601"});
    drag(timeline, QPoint(xOf(701), 28));
    QCOMPARE(player.take(), (QStringList{"range 1 701", "frame 701"}));
    drag(timeline, QPoint(wideWidth - 1, 28));
    QCOMPARE(player.take(), (QStringList{"range 1 1001", "frame 1001"}));
    release(timeline, QPoint(wideWidth - 1, 28));
}

void TimelineWidgetTest::pressInsideWholeClipRangeScrubs()
{
    TimelineWidget timeline;
    PlayerStub player(timeline);
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline);

    press(timeline, QPoint(xOf(501), 30));
    QCOMPARE(player.take(), QStringList{"frame 501"});
    drag(timeline, QPoint(xOf(511), 30));
    drag(timeline, QPoint(xOf(490), 5));
    QCOMPARE(player.take(), (QStringList{"frame 511 scrub", "frame 490 scrub"}));
    QCOMPARE(timeline.rangeStart(), 1);
    QCOMPARE(timeline.rangeEnd(), frames);
    release(timeline, QPoint(xOf(490), 5));
}

void TimelineWidgetTest::pressOutsideRangeScrubs()
{
    TimelineWidget timeline;
    PlayerStub player(timeline);
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline);
    timeline.setRange(201, 601);
    // Beside the range, and inside the range's columns but above its hit area.
    for (QPoint pos : {QPoint(xOf(801), 30), QPoint(xOf(401), 5)}) {
        press(timeline, pos);
        drag(timeline, pos + QPoint(20, 0));
        release(timeline, pos + QPoint(20, 0));
        const int frame = pos.x() - 99;
        QCOMPARE(player.take(),
                 (QStringList{QString("frame %1").arg(frame), QString("frame %1 scrub").arg(frame + 20)}));
        QCOMPARE(timeline.rangeStart(), 201);
        QCOMPARE(timeline.rangeEnd(), 601);
    }
}

void TimelineWidgetTest::handleHitAreasIncludeTheirCorners()
{
    TimelineWidget timeline;
    PlayerStub player(timeline);
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline);
    timeline.setRange(201, 601);
    timeline.setFrame(401);
    const int xs = xOf(201);
    const int xe = xOf(601);
    // The start handle spans (xs - 8, 24) to (xs + 1, 35), the end handle
    // (xe, 24) to (xe + 9, 35), corners included.
    const QList<QPair<QPoint, QString>> presses = {
        {QPoint(xs - 8, 24), "frame 201"}, {QPoint(xs + 1, 35), "frame 201"},
        {QPoint(xe, 24), "frame 601"},     {QPoint(xe + 9, 35), "frame 601"},
        {QPoint(xs - 9, 30), "frame 192"}, {QPoint(xe + 10, 30), "frame 611"},
        {QPoint(xs - 8, 23), "frame 193"}, {QPoint(xe + 9, 36), "frame 610"}};
    for (const auto& item : presses) {
        press(timeline, item.first);
        release(timeline, item.first);
        QCOMPARE(player.take(), QStringList{item.second});
        timeline.setFrame(401);
    }
}

void TimelineWidgetTest::handlesFollowANewClip()
{
    TimelineWidget timeline;
    PlayerStub player(timeline);
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline);
    // A shorter clip: the window sets the range before the frame count, so the
    // end handle must move with the count to the right end of the track.
    loadClip(timeline, 501);
    press(timeline, QPoint(wideWidth - 96, 30));
    QCOMPARE(player.take(), QStringList{"frame 501"});
    drag(timeline, QPoint(1000, 30));
    QCOMPARE(player.take(), (QStringList{"range 1 451", "frame 451"}));
    release(timeline, QPoint(1000, 30));
}

void TimelineWidgetTest::wholeRangeDragMovesTheRange()
{
    TimelineWidget timeline;
    PlayerStub player(timeline);
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline);
    timeline.setRange(201, 601);
    timeline.setFrame(101);

    press(timeline, QPoint(xOf(301), 30));
    QCOMPARE(player.take(), QStringList{"frame 301"});
    drag(timeline, QPoint(xOf(351), 30));
    drag(timeline, QPoint(xOf(341), 30));
    QCOMPARE(player.take(),
             (QStringList{"range 251 651", "frame 351 scrub", "range 241 641", "frame 341 scrub"}));
    release(timeline, QPoint(xOf(341), 30));
}

void TimelineWidgetTest::rangeSqueezedAgainstFirstFrameGrowsBack()
{
    TimelineWidget timeline;
    PlayerStub player(timeline);
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline);
    timeline.setRange(101, 151); // a length of 50
    timeline.setFrame(1);

    press(timeline, QPoint(xOf(126), 30));
    QCOMPARE(player.take(), QStringList{"frame 126"});
    // Exactly to the first frame: the range keeps its length.
    drag(timeline, QPoint(xOf(26), 30));
    QCOMPARE(player.take(), (QStringList{"range 1 51", "frame 26 scrub"}));
    // Further left: pinned at 1 and shrinking.
    drag(timeline, QPoint(xOf(6), 30));
    QCOMPARE(player.take(), (QStringList{"range 1 31", "frame 6 scrub"}));
    // Back to the right: the start stays at 1 while the end grows...
    drag(timeline, QPoint(xOf(16), 30));
    QCOMPARE(player.take(), (QStringList{"range 1 41", "frame 16 scrub"}));
    // ...until the length is 50 again...
    drag(timeline, QPoint(xOf(36), 30));
    QCOMPARE(player.take(), (QStringList{"range 11 61", "frame 36 scrub"}));
    // ...and then the range moves as a whole.
    drag(timeline, QPoint(xOf(46), 30));
    QCOMPARE(player.take(), (QStringList{"range 21 71", "frame 46 scrub"}));
    release(timeline, QPoint(xOf(46), 30));
}

void TimelineWidgetTest::rangeSqueezedAgainstLastFrameGrowsBack()
{
    TimelineWidget timeline;
    PlayerStub player(timeline);
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline);
    timeline.setRange(901, 951);
    timeline.setFrame(1);

    press(timeline, QPoint(xOf(926), 30));
    QCOMPARE(player.take(), QStringList{"frame 926"});
    drag(timeline, QPoint(xOf(996), 30));
    QCOMPARE(player.take(), (QStringList{"range 971 1001", "frame 996 scrub"}));
    // Pulled back, the end stays at the last frame...
    drag(timeline, QPoint(xOf(986), 30));
    QCOMPARE(player.take(), (QStringList{"range 961 1001", "frame 986 scrub"}));
    // ...until the length is 50 again.
    drag(timeline, QPoint(xOf(946), 30));
    QCOMPARE(player.take(), (QStringList{"range 921 971", "frame 946 scrub"}));
    drag(timeline, QPoint(xOf(936), 30));
    QCOMPARE(player.take(), (QStringList{"range 911 961", "frame 936 scrub"}));
    release(timeline, QPoint(xOf(936), 30));
}

void TimelineWidgetTest::releaseEndsTheDragAndPropagates()
{
    TimelineWidget timeline;
    PlayerStub player(timeline);
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline);
    press(timeline, QPoint(500, 30));
    QVERIFY(!release(timeline, QPoint(500, 30)));
    player.take();
    drag(timeline, QPoint(600, 30));
    QCOMPARE(player.take(), QStringList());
}

void TimelineWidgetTest::otherButtonsRequestNothing()
{
    TimelineWidget timeline;
    PlayerStub player(timeline);
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline);
    press(timeline, QPoint(500, 30), Qt::MiddleButton);
    sendMouse(timeline, QEvent::MouseMove, QPoint(600, 30), Qt::NoButton, Qt::MiddleButton);
    release(timeline, QPoint(600, 30), Qt::MiddleButton);
    // Left and right together are not a left drag either.
    press(timeline, QPoint(500, 30));
    player.take();
    sendMouse(timeline, QEvent::MouseMove, QPoint(600, 30), Qt::NoButton, Qt::LeftButton | Qt::RightButton);
    QCOMPARE(player.take(), QStringList());
}

void TimelineWidgetTest::contextMenuEntries()
{
    appSettings().timelineShowCache = true;
    appSettings().timelineShowRangeBookmarks = false;
    TimelineWidget timeline;
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline);
    timeline.setDisplayType(TIME_CODE);
    timeline.setFrame(401);
    const QStringList expected = {"Range Start to Current",
                                  "Range End to Current",
                                  "Reset Playback Range",
                                  "-",
                                  "[ ] Frame Numbers",
                                  "[x] Time Code",
                                  "[ ] Seconds",
                                  "-",
                                  "Display",
                                  "  [ ] Position Timeline at Top",
                                  "  -",
                                  "  [x] Frame Bookmarks",
                                  "  [ ] Range Bookmarks",
                                  "  [x] Cache"};
    QCOMPARE(MenuProbe::open(timeline, QPoint(xOf(401), 30)), expected);
}

void TimelineWidgetTest::contextMenuNearTheMarkerUsesCurrentFrame()
{
    TimelineWidget timeline;
    PlayerStub player(timeline);
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline);
    timeline.setRange(201, 601);
    timeline.setFrame(401);
    // Within 6 pixels either side of the marker.
    for (int dx : {-6, 0, 6}) {
        const QStringList entries =
            MenuProbe::open(timeline, QPoint(xOf(401) + dx, 30), "Range End to Current");
        QCOMPARE(entries.value(0), QString("Range Start to Current"));
        QCOMPARE(player.take(), QStringList{"range 201 401"});
        timeline.setRange(201, 601);
    }
    MenuProbe::open(timeline, QPoint(xOf(401) - 6, 30), "Range Start to Current");
    QCOMPARE(player.take(), QStringList{"range 401 601"});
    // Seven pixels away is another frame.
    QCOMPARE(MenuProbe::open(timeline, QPoint(xOf(401) + 7, 30)).value(0), QString("Range Start to 408"));
}

void TimelineWidgetTest::contextMenuElsewhereUsesClickedFrame()
{
    TimelineWidget timeline;
    PlayerStub player(timeline);
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline);
    timeline.setRange(201, 601);
    timeline.setFrame(401);

    QStringList entries = MenuProbe::open(timeline, QPoint(xOf(701), 30), "Range End to 701");
    QCOMPARE(entries.mid(0, 2), (QStringList{"Range Start to 701", "Range End to 701"}));
    QCOMPARE(player.take(), QStringList{"range 201 701"});

    MenuProbe::open(timeline, QPoint(xOf(101), 30), "Range Start to 101");
    QCOMPARE(player.take(), QStringList{"range 101 701"});

    timeline.setDisplayType(TIME_CODE); // 25 fps: frame 701 is 28 s in
    entries = MenuProbe::open(timeline, QPoint(xOf(701), 30));
    QCOMPARE(entries.mid(0, 2), (QStringList{"Range Start to 00:28:00", "Range End to 00:28:00"}));
    timeline.setDisplayType(SECONDS);
    QCOMPARE(MenuProbe::open(timeline, QPoint(xOf(701), 30)).value(0), QString("Range Start to 28.00"));

    MenuProbe::open(timeline, QPoint(xOf(701), 30), "Reset Playback Range");
    QCOMPARE(player.take(), QStringList{"range 1 1001"});
}

void TimelineWidgetTest::contextMenuOnOneFrameClip()
{
    TimelineWidget timeline;
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline, 1);
    // Every frame is at x 100, and every position is frame 1: always "Current".
    for (int x : {100, 106, 500, 1150})
        QCOMPARE(MenuProbe::open(timeline, QPoint(x, 30)).value(0), QString("Range Start to Current"));
}

void TimelineWidgetTest::contextMenuSwitchesWriteSettings()
{
    TimelineWidget timeline;
    PlayerStub player(timeline);
    showAndWait(timeline, QSize(wideWidth, 40));
    loadClip(timeline);
    const AppSettings& settings = appSettings();

    MenuProbe::open(timeline, QPoint(500, 30), "Cache");
    QVERIFY(settings.timelineShowCache);
    MenuProbe::open(timeline, QPoint(500, 30), "Frame Bookmarks");
    QVERIFY(!settings.timelineShowFrameBookmarks);
    MenuProbe::open(timeline, QPoint(500, 30), "Range Bookmarks");
    QVERIFY(!settings.timelineShowRangeBookmarks);
    QVERIFY(MenuProbe::open(timeline, QPoint(500, 30)).contains("  [ ] Range Bookmarks"));

    // The position is only asked for; the window stores it.
    MenuProbe::open(timeline, QPoint(500, 30), "Position Timeline at Top");
    QCOMPARE(player.take(), QStringList{"position top"});
    QVERIFY(!settings.timelinePositionAtTop);
    appSettings().timelinePositionAtTop = true;
    QVERIFY(MenuProbe::open(timeline, QPoint(500, 30)).contains("  [x] Position Timeline at Top"));
    MenuProbe::open(timeline, QPoint(500, 30), "Position Timeline at Top");
    QCOMPARE(player.take(), QStringList{"position bottom"});

    MenuProbe::open(timeline, QPoint(500, 30), "Seconds");
    QCOMPARE(timeline.displayType(), SECONDS);
    QCOMPARE(settings.timelineDisplayType, 1);
    const QStringList entries = MenuProbe::open(timeline, QPoint(500, 30), "Time Code");
    QVERIFY(entries.contains("[x] Seconds") && entries.contains("[ ] Time Code"));
    QCOMPARE(timeline.displayType(), TIME_CODE);
    QCOMPARE(settings.timelineDisplayType, 2);
    MenuProbe::open(timeline, QPoint(500, 30), "Frame Numbers");
    QCOMPARE(settings.timelineDisplayType, 0);
    // The range timeline's switches are not touched.
    QCOMPARE(settings.rangeTimelineShowCache, AppSettings().rangeTimelineShowCache);
    QCOMPARE(settings.rangeTimelineDisplayType, 0);
}

void TimelineWidgetTest::displayTypeIsStoredInSettings()
{
    TimelineWidget timeline;
    timeline.setDisplayType(SECONDS);
    QCOMPARE(appSettings().timelineDisplayType, 1);
    // Written even when unchanged.
    appSettings().timelineDisplayType = 0;
    timeline.setDisplayType(SECONDS);
    QCOMPARE(appSettings().timelineDisplayType, 1);
    // A number outside the three styles (a hand-edited settings file) reads
    // as frame numbers.
    timeline.setDisplayType(static_cast<DISPLAY_TYPE>(-1));
    QCOMPARE(timeline.displayType(), FRAME_NUMBERS);
    QCOMPARE(appSettings().timelineDisplayType, 0);
    QCOMPARE(appSettings().rangeTimelineDisplayType, 0);
}

int runTimelineWidgetTests(int argc, char** argv)
{
    TimelineWidgetTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_timelinewidget.moc"
