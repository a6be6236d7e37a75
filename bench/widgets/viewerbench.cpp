#include "viewerbench.h"

#include "benchclips.h"
#include "eventloop.h"
#include "playbackmanager.h"
#include "player.h"
#include "softwareviewer.h"
#include "viewrenderer.h"
#include "viewtransform.h"

#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

using BenchLoop::runUntil;

// The viewer as it painted before: the pixmap scaled smoothly to fit, on the
// GUI thread, at every paint.
class ScalingAtEveryPaint : public QWidget
{
public:
    void setPixmap(const QPixmap& pixmap)
    {
        m_pixmap = pixmap;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::black);
        const QPixmap scaled = m_pixmap.scaled(size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
        painter.drawPixmap((width() - scaled.width()) / 2, (height() - scaled.height()) / 2, scaled);
    }

private:
    QPixmap m_pixmap;
};

struct PaintCase
{
    const char* name;
    QSize frame;
    QSize widget;
    bool actualPixels;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

double microseconds(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1000.0;
}

// What one step costs: the time it holds up its thread, and the processor
// time of the whole process meanwhile (Qt spreads smooth scaling over a
// thread pool, so the calling thread's own time would leave most of it out).
struct Cost
{
    std::vector<double> wall;
    std::vector<double> cpu;
};

double processMicroseconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e6 + double(now.tv_nsec) / 1e3;
}

template <typename Step>
void measure(Cost* cost, Step step)
{
    QElapsedTimer timer;
    timer.start();
    const double cpu = processMicroseconds();
    step();
    cost->cpu.push_back(processMicroseconds() - cpu);
    cost->wall.push_back(microseconds(timer));
}

// A frame of varied colours, as 32-bit RGB (what the engine hands over).
QImage sampleFrame(const QSize& size, int seed)
{
    QImage frame(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(frame.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = qRgb((x + seed) & 255, (y * 3) & 255, (x ^ y) & 255);
    }
    return frame;
}

void measurePaint(const PaintCase& c, int frames)
{
    const QImage samples[2] = {sampleFrame(c.frame, 0), sampleFrame(c.frame, 1)};
    QImage target(c.widget, QImage::Format_ARGB32_Premultiplied);

    Cost before;
    {
        ScalingAtEveryPaint old;
        old.resize(c.widget);
        const QPixmap pixmaps[2] = {QPixmap::fromImage(samples[0]), QPixmap::fromImage(samples[1])};
        for (int i = 0; i < frames; ++i) {
            old.setPixmap(pixmaps[i % 2]);
            measure(&before, [&] { old.render(&target); });
        }
    }

    Cost paint;
    std::vector<double> latency;
    {
        SoftwareViewer viewer;
        viewer.resize(c.widget);
        viewer.show();
        viewer.setImage(samples[1]);
        if (c.actualPixels)
            viewer.zoomToActualPixels();
        runUntil([&] { return viewer.isPictureCurrent(); });
        for (int i = 0; i < frames; ++i) {
            QElapsedTimer handOver;
            handOver.start();
            viewer.setImage(samples[i % 2]);
            runUntil([&] { return viewer.isPictureCurrent(); });
            latency.push_back(microseconds(handOver));
            measure(&paint, [&] { viewer.render(&target); });
        }
    }

    // The render thread's work, run here on its own.
    Cost render;
    {
        ViewTransform view;
        view.setPictureSize(c.frame);
        view.setViewportSize(c.widget);
        if (c.actualPixels)
            view.zoomTo(1.0, QPointF(c.widget.width() / 2.0, c.widget.height() / 2.0));
        std::vector<QImage> spare;
        for (int i = 0; i < frames; ++i) {
            ViewRenderer::Job job;
            job.frame = samples[i % 2];
            job.pictureRect = view.pictureRect();
            job.viewportSize = c.widget;
            measure(&render, [&] {
                const ViewRenderer::Picture picture = ViewRenderer::render(job, &spare);
                spare.push_back(picture.image);
            });
        }
    }
    const auto print = [&c](const char* what, const std::vector<double>& values) {
        std::printf("viewer_%s_%s_us: %.0f\n", c.name, what, median(values));
    };
    print("before_gui_thread_wall", before.wall);
    print("before_cpu", before.cpu);
    print("after_gui_thread_wall", paint.wall);
    print("after_render_thread_wall", render.wall);
    print("after_cpu", std::vector<double>{median(paint.cpu) + median(render.cpu)});
    print("after_hand_over_to_ready_wall", latency);
    std::fflush(stdout);
}

// The times at which the viewer put new pictures on screen, from its creation on.
class PaintLog
{
public:
    explicit PaintLog(SoftwareViewer* viewer)
        : connection(QObject::connect(viewer, &SoftwareViewer::picturePainted, viewer,
                                      [this] { times.push_back(wall.nsecsElapsed() / 1e6); }))
    {
        wall.start();
    }
    ~PaintLog() { QObject::disconnect(connection); }
    PaintLog(const PaintLog&) = delete;
    PaintLog& operator=(const PaintLog&) = delete;

    double elapsedSeconds() const { return wall.nsecsElapsed() / 1e9; }
    int count() const { return int(times.size()); }
    double longestGapMs() const
    {
        double longest = 0.0;
        for (size_t i = 1; i < times.size(); ++i)
            longest = std::max(longest, times[i] - times[i - 1]);
        return longest;
    }

private:
    QElapsedTimer wall;
    std::vector<double> times;
    QMetaObject::Connection connection;
};

struct Playback
{
    int handedOver = 0; // distinct frames given to the viewer
    int painted = 0;
    double expected = 0.0;
    double longestGapMs = 0.0;
};

bool playThroughWindow(const QString& clip, bool actualPixels, double seconds, Playback* result)
{
    Player player(clip);
    player.show();
    auto* viewer = player.findChild<SoftwareViewer*>();
    auto* manager = player.findChild<PlaybackManager*>();
    if (!viewer || !manager || !runUntil([&] { return manager->status() == PlaybackManager::Ready; }))
        return false;
    // Loading sized the window to the clip; the view is to be of a common window.
    player.resize(1280, 800);
    if (actualPixels)
        player.zoomToActualPixels();
    runUntil([&] { return viewer->isPictureCurrent(); });

    auto paints = std::make_unique<PaintLog>(viewer);
    int lastHandedOver = manager->lastFrameIndex();
    result->handedOver = 0;
    const QMetaObject::Connection handing =
        QObject::connect(manager, &PlaybackManager::playbackTimeChanged, manager, [&] {
            if (manager->lastFrameIndex() != lastHandedOver) {
                lastHandedOver = manager->lastFrameIndex();
                ++result->handedOver;
            }
        });
    player.play();
    const bool played =
        runUntil([&] { return manager->playbackTime() >= seconds; }, int(seconds * 1000) + 30000);
    player.pause();
    QObject::disconnect(handing);
    result->painted = paints->count();
    result->expected = seconds * manager->frameRate();
    result->longestGapMs = paints->longestGapMs();
    paints.reset();
    player.close();
    runUntil([&] { return !player.isVisible(); }, 10000);
    return played;
}

// Decoded frames handed from memory to the viewer of the player window at the
// clip's rate, as the controller hands them over when decoding keeps up: what
// the viewer alone paints, whatever the decoder manages on this machine.
void feedThroughWindow(const QSize& frameSize, double rate, bool actualPixels, double seconds,
                       Playback* result)
{
    Player player;
    player.show();
    player.resize(1280, 800);
    auto* viewer = player.findChild<SoftwareViewer*>();
    const QImage frames[2] = {sampleFrame(frameSize, 0), sampleFrame(frameSize, 1)};
    viewer->setImage(frames[1]);
    if (actualPixels)
        player.zoomToActualPixels();
    runUntil([&] { return viewer->isPictureCurrent(); });

    const PaintLog paints(viewer);
    // A 1 ms clock, like the controller's: each tick hands over the frame due then.
    int due = -1;
    result->handedOver = 0;
    QTimer clock;
    clock.setTimerType(Qt::PreciseTimer);
    QObject::connect(&clock, &QTimer::timeout, viewer, [&] {
        const int now = int(paints.elapsedSeconds() * rate);
        if (now != due) {
            due = now;
            viewer->setImage(frames[now % 2]);
            ++result->handedOver;
        }
    });
    clock.start(1);
    runUntil([&] { return paints.elapsedSeconds() >= seconds; }, int(seconds * 1000) + 30000);
    clock.stop();
    runUntil([&] { return viewer->isPictureCurrent(); });
    result->painted = paints.count();
    result->expected = seconds * rate;
    result->longestGapMs = paints.longestGapMs();
    player.close();
}

void printPlaybackFigures(const char* prefix, const char* clip, const char* view, const Playback& p)
{
    std::printf("%s_%s_%s_handed_over: %d\n", prefix, clip, view, p.handedOver);
    std::printf("%s_%s_%s_painted: %d\n", prefix, clip, view, p.painted);
    std::printf("%s_%s_%s_expected: %.0f\n", prefix, clip, view, p.expected);
    std::printf("%s_%s_%s_longest_gap_ms: %.1f\n", prefix, clip, view, p.longestGapMs);
    std::fflush(stdout);
}

} // namespace

namespace ViewerBench {

void printPaintCosts()
{
    // The viewer of a 1280 x 800 window at fit; a full-HD window at 1:1,
    // where the old viewer could only fit (so it scales 4K there).
    const PaintCase cases[] = {
        {"fit_1080p_in_1280x720", QSize(1920, 1080), QSize(1280, 720), false},
        {"fit_4k_in_1280x720", QSize(3840, 2160), QSize(1280, 720), false},
        {"1to1_1080p_in_1920x1080", QSize(1920, 1080), QSize(1920, 1080), true},
        {"1to1_4k_in_1920x1080", QSize(3840, 2160), QSize(1920, 1080), true},
    };
    for (const PaintCase& c : cases)
        measurePaint(c, 21);
}

bool printPlayback(const QString& clipDir)
{
    QDir().mkpath(clipDir);
    const struct
    {
        const char* name;
        QString path;
        QSize size;
        double rate;
    } clips[] = {
        {"1080p60",
         BenchClips::ensureClip(clipDir + QStringLiteral("/h264_1080p60.mp4"), QStringLiteral("1920x1080"),
                                60, 12, 120),
         QSize(1920, 1080), 60.0},
        {"4k30",
         BenchClips::ensureClip(clipDir + QStringLiteral("/h264_2160p30.mp4"), QStringLiteral("3840x2160"),
                                30, 12, 60),
         QSize(3840, 2160), 30.0},
    };
    for (const auto& clip : clips) {
        if (clip.path.isEmpty()) {
            std::fprintf(stderr, "the %s clip is missing (the ffmpeg tool is needed)\n", clip.name);
            return false;
        }
        for (const bool actualPixels : {false, true}) {
            Playback p;
            const bool played = playThroughWindow(clip.path, actualPixels, 10.0, &p);
            const char* view = actualPixels ? "1to1" : "fit";
            printPlaybackFigures("play", clip.name, view, p);
            if (!played)
                std::fprintf(stderr, "%s did not play to 10 s\n", clip.name);
            Playback fed;
            feedThroughWindow(clip.size, clip.rate, actualPixels, 10.0, &fed);
            printPlaybackFigures("feed", clip.name, view, fed);
        }
    }
    return true;
}

} // namespace ViewerBench
