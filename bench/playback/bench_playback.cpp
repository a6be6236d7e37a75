// Speed of the playback controller, driven as the player window drives it,
// with a real PlaybackManager and a SoftwareViewer shown on the offscreen
// platform. Prints plain "name: value" lines, with the ffmpeg command-line
// tool measured in the same run where there is a reference.
//
// Usage: bench_playback [CLIP_DIR]
//   CLIP_DIR holds the test corpus (h264_1080p25.mp4 is used; default: the
//   build tree's test-clips, generated if missing). The 1080p60 clip is
//   generated into the build tree with the ffmpeg tool on first use.
#include "benchclips.h"
#include "eventloop.h"
#include "playbackmanager.h"
#include "softwareviewer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <vector>

namespace {

using PM = PlaybackManager;
using BenchLoop::runFor;
using BenchLoop::runUntil;
using BenchLoop::WaitLimitMs;

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[index];
}

void print(const char* name, double value, const char* unit = "")
{
    std::printf("%s: %.2f%s\n", name, value, unit);
    std::fflush(stdout);
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long statusValueKb(const char* key)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix(key);
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toLong();
    }
    return -1;
}

void resetPeakResident()
{
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    if (file.open(QIODevice::WriteOnly))
        file.write("5");
}

bool runTool(const QString& program, const QStringList& arguments, double* elapsedMs = nullptr,
             QByteArray* output = nullptr)
{
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForStarted() || !process.waitForFinished(600000))
        return false;
    if (elapsedMs)
        *elapsedMs = double(timer.nsecsElapsed()) / 1e6;
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QString ensure1080p60Clip()
{
    return BenchClips::ensureClip(QStringLiteral(ORVEL_BENCH_DIR "/h264_1080p60.mp4"),
                                  QStringLiteral("1920x1080"), 60, 12, 120);
}

QString ensureCorpus(const QString& dir)
{
    const QString clip = dir + QStringLiteral("/h264_1080p25.mp4");
    if (!QFileInfo::exists(clip))
        runTool(QStringLiteral(ORVEL_SOURCE_DIR "/scripts/make-test-clips.sh"), {dir});
    return QFileInfo::exists(clip) ? clip : QString();
}

// Key frame indexes of the clip's video, from ffprobe.
std::vector<int> keyFrames(const QString& clip)
{
    QByteArray out;
    runTool(
        QStringLiteral("ffprobe"),
        {"-v", "error", "-select_streams", "v:0", "-show_entries", "frame=key_frame", "-of", "csv=p=0", clip},
        nullptr, &out);
    std::vector<int> keys;
    int index = 0;
    for (const QByteArray& line : out.split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        if (line.trimmed().startsWith('1'))
            keys.push_back(index);
        ++index;
    }
    return keys;
}

struct Bench
{
    SoftwareViewer viewer;
    PM manager;

    Bench()
    {
        viewer.resize(960, 540);
        viewer.show();
        manager.setViewer(&viewer);
    }

    bool load(const QString& path)
    {
        if (manager.status() != PM::NoMedia) {
            manager.stop();
            if (!runUntil([&] { return manager.status() == PM::NoMedia; }))
                return false;
        }
        if (!manager.setMedia(path, 0, 0.7f))
            return false;
        return runUntil([&] { return manager.status() == PM::Ready && !viewer.pixmap().isNull(); });
    }

    // Seeks to 0-based frame `index` and waits until the viewer has it.
    bool seekTo(int index, double frameDuration, bool clearCache = false)
    {
        manager.seek(index * frameDuration + 0.0001, 0.0, clearCache);
        return runUntil([&] { return manager.status() == PM::Ready && manager.lastFrameIndex() == index; });
    }
};

void measureLoad(Bench& bench, const QString& clip)
{
    std::vector<double> times;
    for (int run = 0; run < 5; ++run) {
        bench.manager.stop();
        runUntil([&] { return bench.manager.status() == PM::NoMedia; });
        QElapsedTimer timer;
        timer.start();
        if (!bench.load(clip))
            std::fprintf(stderr, "load failed\n");
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    print("load_to_first_frame_ms", median(times));
}

void measureSeeks(Bench& bench, const QString& clip)
{
    if (!bench.load(clip))
        return;
    const double frameDuration = bench.manager.frameDuration();
    const int frames = int(bench.manager.mediaDuration() * bench.manager.frameRate() + 1);
    const std::vector<int> keys = keyFrames(clip);
    QRandomGenerator random(20261208);
    std::vector<double> ours;
    std::vector<double> reference;
    std::vector<double> startup;
    int mismatches = 0;
    for (int i = 0; i < 30; ++i) {
        const int target = int(random.bounded(frames));
        // Outside the cache: clearCache sends every seek to the reader.
        QElapsedTimer timer;
        timer.start();
        if (!bench.seekTo(target, frameDuration, true))
            ++mismatches;
        ours.push_back(double(timer.nsecsElapsed()) / 1e6);

        int key = 0;
        for (int k : keys) {
            if (k <= target)
                key = k;
        }
        const QString keyTime = QString::number(key * frameDuration, 'f', 6);
        double ms = 0.0;
        runTool(QStringLiteral("ffmpeg"),
                {"-hide_banner", "-loglevel", "error", "-nostdin", "-threads", "0", "-ss", keyTime, "-i",
                 clip, "-an", "-frames:v", QString::number(target - key + 1), "-f", "null", "-"},
                &ms);
        reference.push_back(ms);
        runTool(QStringLiteral("ffmpeg"),
                {"-hide_banner", "-loglevel", "error", "-nostdin", "-threads", "0", "-ss", keyTime, "-i",
                 clip, "-an", "-frames:v", "1", "-f", "null", "-"},
                &ms);
        startup.push_back(ms);
    }
    print("seek_exact_median_ms", median(ours));
    print("seek_exact_p90_ms", percentile(ours, 0.9));
    print("ffmpeg_decode_to_target_median_ms", median(reference));
    print("ffmpeg_decode_to_target_p90_ms", percentile(reference, 0.9));
    print("ffmpeg_key_frame_only_median_ms", median(startup));
    print("seek_exact_to_ffmpeg_ratio", median(ours) / median(reference));
    print("seek_frames_not_shown", mismatches);

    // One frame back and forth inside the cache.
    std::vector<double> back;
    std::vector<double> forward;
    if (!bench.seekTo(150, frameDuration, true))
        return;
    for (int i = 0; i < 20; ++i) {
        const int from = bench.manager.lastFrameIndex();
        const bool stepBack = i % 2 == 0;
        QElapsedTimer timer;
        timer.start();
        bench.seekTo(stepBack ? from - 1 : from + 1, frameDuration);
        // The viewer paints the new picture.
        QCoreApplication::processEvents();
        (stepBack ? back : forward).push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    print("step_backward_in_cache_median_ms", median(back));
    print("step_forward_in_cache_median_ms", median(forward));
}

void measurePlayback(Bench& bench, const QString& clip)
{
    if (!bench.load(clip))
        return;
    const double rate = bench.manager.frameRate();
    std::vector<double> frameTimes;
    std::vector<double> tickTimes;
    qint64 lastKey = bench.viewer.pixmap().cacheKey();
    QElapsedTimer wall;
    QObject::connect(&bench.manager, &PM::playbackTimeChanged, &bench.manager, [&](double) {
        const double now = double(wall.nsecsElapsed()) / 1e6;
        tickTimes.push_back(now);
        const qint64 key = bench.viewer.pixmap().cacheKey();
        if (key != lastKey) {
            lastKey = key;
            frameTimes.push_back(now);
        }
    });
    resetPeakResident();
    wall.start();
    bench.manager.play();
    runUntil([&] { return bench.manager.playbackTime() >= 10.0; }, 30000);
    bench.manager.pause();
    const long peakKb = statusValueKb("VmHWM:");
    QObject::disconnect(&bench.manager, &PM::playbackTimeChanged, &bench.manager, nullptr);

    double longestGap = 0.0;
    for (size_t i = 1; i < frameTimes.size(); ++i)
        longestGap = std::max(longestGap, frameTimes[i] - frameTimes[i - 1]);
    std::vector<double> ticks;
    for (size_t i = 1; i < tickTimes.size(); ++i)
        ticks.push_back(tickTimes[i] - tickTimes[i - 1]);
    print("play_1080p60_frames_shown", double(frameTimes.size()));
    print("play_1080p60_frames_expected", 10.0 * rate);
    print("play_1080p60_longest_gap_ms", longestGap);
    print("timer_tick_median_ms", median(ticks));
    print("timer_tick_p99_ms", percentile(ticks, 0.99));
    print("peak_resident_while_playing_mb", double(peakKb) / 1024.0);
    // Cache size 0 means the smallest budget the video cache allows.
    const double budget = double(std::max(bench.manager.cacheSize(), VideoFrameCache::MinimumCacheBytes));
    print("video_cache_budget_mb", budget / 1e6);

    // Paused with the clip loaded: what the process costs over 10 s.
    const double before = cpuSeconds();
    QElapsedTimer idle;
    idle.start();
    runFor(10000);
    const double cpu = cpuSeconds() - before;
    print("cpu_paused_percent_of_core", 100.0 * cpu / (double(idle.nsecsElapsed()) / 1e9));
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString corpus =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(ORVEL_BINARY_DIR "/test-clips");
    const QString longGop = ensureCorpus(corpus);
    const QString clip60 = ensure1080p60Clip();
    if (longGop.isEmpty() || clip60.isEmpty()) {
        std::fprintf(stderr, "clips missing (ffmpeg tool and the corpus script are needed)\n");
        return 1;
    }
    Bench bench;
    measureLoad(bench, longGop);
    measureSeeks(bench, longGop);
    measurePlayback(bench, clip60);
    return 0;
}
