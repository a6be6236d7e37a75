// Paint cost of the timelines and the viewer, playback through the player
// window, and (with --screenshots DIR) pictures of every widget on the dark
// palette for a visual check.
//
// Usage: bench_widgets [--screenshots DIR] [--paint-only | --playback-only]
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise, with
// a settings folder of its own. Prints "name: value" lines: microseconds per
// paint (median of repeated runs), then pictures painted while playing a
// 1080p60 and a 4K30 clip (generated into the build tree on first use).
#include "appsettings.h"
#include "bookmarks.h"
#include "playbackcontrolwidget.h"
#include "rangetimelinewidget.h"
#include "softwareviewer.h"
#include "timelinewidget.h"
#include "viewerbench.h"
#include "volumewidget.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHBoxLayout>
#include <QIcon>
#include <QPainter>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTextStream>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int clipFrames = 2400;

void applyDarkLook(QApplication& app)
{
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette palette;
    const auto set = [&palette](QPalette::ColorRole role, const QColor& colour) {
        palette.setColor(QPalette::All, role, colour);
    };
    set(QPalette::Window, QColor(45, 45, 48));
    set(QPalette::WindowText, QColor(208, 208, 208));
    set(QPalette::Base, QColor(25, 25, 25));
    set(QPalette::AlternateBase, QColor(45, 45, 48));
    set(QPalette::ToolTipBase, QColor(208, 208, 208));
    set(QPalette::ToolTipText, QColor(208, 208, 208));
    set(QPalette::Text, QColor(208, 208, 208));
    set(QPalette::Button, QColor(45, 45, 48));
    set(QPalette::ButtonText, QColor(208, 208, 208));
    set(QPalette::BrightText, Qt::red);
    set(QPalette::Link, QColor(42, 130, 218));
    set(QPalette::Highlight, QColor(42, 130, 218));
    set(QPalette::HighlightedText, Qt::black);
    app.setPalette(palette);
    QFile sheet(QStringLiteral(":/stylesheets/fusiondark.qss"));
    if (sheet.open(QIODevice::ReadOnly | QIODevice::Text))
        app.setStyleSheet(QString::fromUtf8(sheet.readAll()));
}

Bookmarks& sampleBookmarks()
{
    static Bookmarks bookmarks;
    if (bookmarks.frameBookmarks().isEmpty()) {
        for (int frame : {240, 700, 1000, 1450, 2100})
            bookmarks.addFrameBookmark(frame);
        bookmarks.addRangeBookmark(120, 520, QStringLiteral("intro"));
        bookmarks.addRangeBookmark(1700, 2250, QStringLiteral("outro"));
    }
    return bookmarks;
}

// A clip of 2,400 frames at 23.976 fps with a range, bookmarks and a cache.
template <typename Timeline>
void loadSampleClip(Timeline& timeline, DISPLAY_TYPE type, int frame = 1000)
{
    timeline.setBookmarks(&sampleBookmarks());
    timeline.setDisplayType(type);
    timeline.setFrameRate(23.976);
    timeline.setRange(400, 1600);
    timeline.setFrame(frame);
    timeline.setFrameCount(clipFrames);
    timeline.setPlaybackRate(23.9);
    timeline.setCachedRange(880, 1320);
}

double medianMicroseconds(QWidget& widget, int repeats)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        widget.render(&image);
        times.push_back(timer.nsecsElapsed() / 1000.0);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void printBenchmarks()
{
    appSettings().timelineShowCache = true;
    Bookmarks many;
    for (int frame = 1; frame <= 100000; frame += 7)
        many.addFrameBookmark(frame);
    for (int frame = 1; frame < 100000; frame += 1000)
        many.addRangeBookmark(frame, frame + 500, QString());

    TimelineWidget timeline;
    timeline.resize(1920, 40);
    loadSampleClip(timeline, TIME_CODE);
    std::printf("timeline_paint_1920px_us: %.0f\n", medianMicroseconds(timeline, 200));
    timeline.setFrameCount(100000);
    timeline.setRange(1, 100000);
    timeline.setBookmarks(&many);
    std::printf("timeline_paint_1920px_14286_bookmarks_us: %.0f\n", medianMicroseconds(timeline, 50));
    // A million frame bookmarks and a hundred thousand overlapping range
    // bookmarks over a clip of 3,000,000 frames.
    Bookmarks huge;
    for (int frame = 1; frame <= 3000000; frame += 3)
        huge.addFrameBookmark(frame);
    for (int frame = 1; frame < 3000000; frame += 30)
        huge.addRangeBookmark(frame, frame + 2000, QString());
    timeline.setFrameCount(3000000);
    timeline.setRange(1, 3000000);
    timeline.setBookmarks(&huge);
    std::printf("timeline_paint_1920px_1000000_frame_100000_range_bookmarks_us: %.0f\n",
                medianMicroseconds(timeline, 50));

    RangeTimelineWidget range;
    range.resize(1920, 46);
    loadSampleClip(range, TIME_CODE);
    std::printf("range_timeline_paint_1920px_us: %.0f\n", medianMicroseconds(range, 200));
    range.setFrameCount(3000000);
    range.setRange(1, 3000000);
    range.setBookmarks(&huge);
    std::printf("range_timeline_paint_1920px_1000000_frame_bookmarks_us: %.0f\n",
                medianMicroseconds(range, 50));

    appSettings() = AppSettings();
    ViewerBench::printPaintCosts();
}

// ---- screenshots ----

QImage grabWithHover(QWidget& widget, int hoverX)
{
    widget.show();
    widget.move(200, 200);
    QCoreApplication::processEvents();
    if (hoverX >= 0)
        QCursor::setPos(widget.mapToGlobal(QPoint(hoverX, widget.height() / 2 + 8)));
    else
        QCursor::setPos(QPoint(5000, 5000));
    QCoreApplication::processEvents();
    const QImage image = widget.grab().toImage();
    widget.hide();
    return image;
}

// Stacks the pictures with a caption above each, magnified without smoothing.
QImage sheet(const QList<QPair<QString, QImage>>& rows, int zoom)
{
    int width = 0;
    int height = 0;
    for (const auto& row : rows) {
        width = std::max(width, row.second.width() * zoom);
        height += 18 + row.second.height() * zoom + 8;
    }
    QImage out(width + 16, height + 8, QImage::Format_RGB32);
    out.fill(QColor(45, 45, 48));
    QPainter painter(&out);
    painter.setPen(QColor(208, 208, 208));
    int y = 4;
    for (const auto& row : rows) {
        painter.drawText(QRect(8, y, width, 16), Qt::AlignLeft | Qt::AlignVCenter, row.first);
        y += 18;
        const QImage scaled = row.second.scaled(row.second.size() * zoom);
        painter.drawImage(8, y, scaled);
        y += scaled.height() + 8;
    }
    return out;
}

template <typename Timeline>
QList<QPair<QString, QImage>> timelineRows(int width, const QString& name, const QList<int>& hovers)
{
    QList<QPair<QString, QImage>> rows;
    const QList<QPair<DISPLAY_TYPE, QString>> types = {
        {FRAME_NUMBERS, "frame numbers"}, {SECONDS, "seconds"}, {TIME_CODE, "time code"}};
    for (const auto& type : types) {
        Timeline timeline;
        timeline.setWindowFlags(Qt::FramelessWindowHint);
        timeline.resize(width, 10);
        loadSampleClip(timeline, type.first);
        rows << qMakePair(QStringLiteral("%1 %2 px, %3, no hover").arg(name).arg(width).arg(type.second),
                          grabWithHover(timeline, -1));
        for (int x : hovers) {
            rows << qMakePair(
                QStringLiteral("%1 %2 px, %3, pointer at x %4").arg(name).arg(width).arg(type.second).arg(x),
                grabWithHover(timeline, x));
        }
    }
    return rows;
}

void writeScreenshots(const QDir& dir)
{
    AppSettings& settings = appSettings();
    settings.timelineShowCache = true;
    settings.rangeTimelineShowCache = true;

    for (int width : {400, 1200}) {
        TimelineWidget probe;
        probe.resize(width, 40);
        probe.show(); // a hidden widget gets its resize event only when shown
        QCoreApplication::processEvents();
        loadSampleClip(probe, FRAME_NUMBERS);
        const int start = probe.positionOfFrame(400);
        const int inside = probe.positionOfFrame(1300);
        sheet(timelineRows<TimelineWidget>(width, "timeline", {start - 3, inside}), width == 400 ? 2 : 1)
            .save(dir.filePath(QStringLiteral("timeline-%1.png").arg(width)));
        sheet(timelineRows<RangeTimelineWidget>(width, "range timeline", {width / 3}), width == 400 ? 2 : 1)
            .save(dir.filePath(QStringLiteral("rangetimeline-%1.png").arg(width)));
    }

    // Long labels: a high frame rate, a clip over an hour, a slow speed.
    QList<QPair<QString, QImage>> edgeRows;
    for (DISPLAY_TYPE type : {FRAME_NUMBERS, SECONDS, TIME_CODE}) {
        TimelineWidget timeline;
        timeline.setWindowFlags(Qt::FramelessWindowHint);
        timeline.resize(400, 40);
        timeline.setDisplayType(type);
        timeline.setFrameRate(119.88);
        timeline.setRange(1, 600000);
        timeline.setFrame(450000);
        timeline.setFrameCount(600000);
        timeline.setPlaybackRate(119.9);
        edgeRows << qMakePair(QStringLiteral("timeline 400 px, 600,000 frames at 119.88 fps"),
                              grabWithHover(timeline, -1));
        timeline.setSpeed(0.5);
        edgeRows << qMakePair(QStringLiteral("same at speed 0.5"), grabWithHover(timeline, -1));
        RangeTimelineWidget range;
        range.setWindowFlags(Qt::FramelessWindowHint);
        range.resize(400, 46);
        range.setDisplayType(type);
        range.setFrameRate(119.88);
        range.setRange(1000, 590000);
        range.setFrame(450000);
        range.setFrameCount(600000);
        edgeRows << qMakePair(QStringLiteral("range timeline 400 px, 600,000 frames at 119.88 fps"),
                              grabWithHover(range, -1));
    }
    sheet(edgeRows, 2).save(dir.filePath(QStringLiteral("long-labels-400.png")));

    // The bottom of the player window: both timelines and the controls row.
    QWidget window;
    window.setWindowFlags(Qt::FramelessWindowHint);
    QVBoxLayout* column = new QVBoxLayout(&window);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    SoftwareViewer* viewer = new SoftwareViewer;
    QImage picture(320, 180, QImage::Format_RGB888);
    picture.fill(QColor(70, 100, 130));
    viewer->setPixmap(QPixmap::fromImage(picture));
    RangeTimelineWidget* range = new RangeTimelineWidget;
    TimelineWidget* timeline = new TimelineWidget;
    loadSampleClip(*range, TIME_CODE);
    loadSampleClip(*timeline, FRAME_NUMBERS);
    PlaybackControlWidget* controls = new PlaybackControlWidget;
    VolumeWidget* volume = new VolumeWidget;
    volume->setFixedWidth(90);
    QHBoxLayout* row = new QHBoxLayout;
    row->setContentsMargins(6, 0, 6, 0);
    row->addSpacing(90);
    row->addStretch();
    row->addWidget(controls);
    row->addStretch();
    row->addWidget(volume);
    column->addWidget(range);
    column->addWidget(viewer);
    column->addWidget(timeline);
    column->addLayout(row);
    window.resize(640, 420);
    window.show();
    QCoreApplication::processEvents();
    window.grab().save(dir.filePath(QStringLiteral("player-bottom.png")));
    controls->setPlaying(true);
    volume->setMuted(true);
    QCoreApplication::processEvents();
    QList<QPair<QString, QImage>> controlRows;
    controlRows << qMakePair(QStringLiteral("controls while playing, muted"),
                             window.grab(QRect(0, window.height() - 60, window.width(), 60)).toImage());
    window.hide();

    // Every icon as the buttons show it (20 and 16 px) and at its file size.
    QImage icons(420, 70, QImage::Format_RGB32);
    icons.fill(QColor(45, 45, 48));
    QPainter painter(&icons);
    int x = 6;
    for (const char* name :
         {"play", "pause", "stepbwd", "stepfwd", "seekstart", "seekend", "volume", "mute"}) {
        const QIcon icon(QStringLiteral(":/icons/") + name);
        painter.drawPixmap(x, 4, icon.pixmap(20, 20));
        painter.drawPixmap(x + 2, 28, icon.pixmap(16, 16));
        painter.drawPixmap(x - 6, 48, icon.pixmap(19, 19));
        x += 34;
    }
    painter.drawPixmap(x + 4, 4, QIcon(QStringLiteral(":icons/application.png")).pixmap(64, 64));
    painter.end();
    controlRows << qMakePair(QStringLiteral("icons at 20, 16 and 19 px, application icon at 64 px"), icons);
    sheet(controlRows, 3).save(dir.filePath(QStringLiteral("controls.png")));
    settings = AppSettings();
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The player window reads and writes its settings there, not the user's.
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(resources);
    applyDarkLook(app);

    const QStringList arguments = app.arguments();
    const int option = arguments.indexOf(QStringLiteral("--screenshots"));
    if (option >= 0) {
        if (option + 1 >= arguments.size()) {
            QTextStream(stderr)
                << "usage: bench_widgets [--screenshots DIR] [--paint-only | --playback-only]\n";
            return 2;
        }
        const QDir dir(arguments.at(option + 1));
        QDir().mkpath(dir.path());
        writeScreenshots(dir);
        QTextStream(stdout) << "screenshots: " << dir.absolutePath() << "\n";
        return 0;
    }
    if (!arguments.contains(QStringLiteral("--playback-only")))
        printBenchmarks();
    if (arguments.contains(QStringLiteral("--paint-only")))
        return 0;
    return ViewerBench::printPlayback(QStringLiteral(ORVEL_BENCH_DIR)) ? 0 : 1;
}
