// Seeks and steps of the playback controller, driven as the player window
// drives it, with the program's default cache (512 MB, 0.8 of it behind the
// playhead) and a real SoftwareViewer on the offscreen platform. Every time is
// taken from the call to the moment the viewer has painted the frame asked
// for, and beside it, in the same run and on the same target, the in-process
// FFmpeg reference (bench/common/seekreference.h): "ref" decodes every
// picture from the key frame to the target, "refskip" skips the pictures
// nothing refers to; the references of a seek are timed once the engine has
// finished filling its cache after it, and each reference and the next seek
// once the decoding threads before them have finished too. Reverse play is
// measured beside forward play over the same frames.
//
// Usage: bench_playback [--seeks N] [--rounds R] [--reverse-only | --seeks-only] [CLIP_DIR]
//   --rounds: how many times each seek target is measured (default 3; a
//   target the reference reaches within 50 ms, three times as often).
//   CLIP_DIR holds the test corpus (h264_1080p25.mp4 is used; default: the
//   build tree's test-clips, generated if missing). The short-GOP 1080p60 and
//   the ProRes clips are generated into the build tree on first use.
#include "benchclips.h"
#include "benchstats.h"
#include "eventloop.h"
#include "playbackmanager.h"
#include "seekreference.h"
#include "softwareviewer.h"
#include "stealreport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

using PM = PlaybackManager;
using BenchLoop::runUntil;
using BenchStats::maximum;
using BenchStats::median;
using BenchStats::percentile;
using BenchStats::print;

// The program's own defaults (Preferences): 512 MB, 0.8 behind the playhead.
constexpr int64_t DefaultCacheBytes = 512000000;
constexpr float DefaultTrailingShare = 0.8f;

// A viewer that notes when it has painted which frame: a frame counts as
// shown once it is on the viewer, not when the controller hands it over.
class PaintedViewer : public SoftwareViewer
{
public:
    const PM* manager = nullptr;
    int lastPainted = -1;
    qint64 lastPaintNs = 0;
    QElapsedTimer clock;
    // Each frame painted, with when, while `recording`.
    bool recording = false;
    std::vector<std::pair<int, qint64>> paints;

    PaintedViewer() { clock.start(); }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        SoftwareViewer::paintEvent(event);
        const int painted = manager ? manager->lastFrameIndex() : -1;
        lastPaintNs = clock.nsecsElapsed();
        if (recording && painted != lastPainted)
            paints.emplace_back(painted, lastPaintNs);
        lastPainted = painted;
    }
};

struct Bench
{
    PaintedViewer viewer;
    PM manager;

    Bench()
    {
        viewer.manager = &manager;
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
        if (!manager.setMedia(path, DefaultCacheBytes, DefaultTrailingShare))
            return false;
        return runUntil([&] { return manager.status() == PM::Ready && viewer.lastPainted == 0; });
    }

    // Seeks to 0-based frame `index` the way the window does, and returns the
    // milliseconds until the viewer has painted it (negative: never painted).
    double seekTo(int index, bool clearCache, double scrubDuration = 0.0)
    {
        const double frameDuration = manager.frameDuration();
        const qint64 start = viewer.clock.nsecsElapsed();
        manager.seek(index * frameDuration + 0.0001, scrubDuration, clearCache);
        if (!runUntil([&] { return viewer.lastPainted == index && viewer.lastPaintNs > start; }))
            return -1.0;
        return double(viewer.lastPaintNs - start) / 1e6;
    }
};

int keyFrameAtOrBefore(const std::vector<int>& keys, int index)
{
    int key = 0;
    for (int k : keys) {
        if (k <= index)
            key = k;
    }
    return key;
}

// A seek the reference makes within this many milliseconds (just after a
// key frame) is measured this many times as often as the others.
constexpr double ShortSeekMs = 50.0;
constexpr int ShortSeekRoundsFactor = 3;

// Exact seeks outside the cache to `count` seeded targets, each followed by
// the two references on the same target. A seek on a shared machine varies by
// up to half its time from one run to the next: the targets are measured
// `rounds` times over, the engine and both references alike, and the median
// of each counts. A seek of a few milliseconds varies most (one thread
// waiting for a core a millisecond is a tenth of it), so the short ones are
// measured more often. (A round goes through the targets in turn, so that
// no seek is to the frame already shown.)
void measureSeeks(Bench& bench, const QString& label, const QString& clip, int count, int rounds)
{
    SeekReference reference(clip);
    if (!reference.isOpen() || !bench.load(clip)) {
        std::fprintf(stderr, "%s: cannot open %s\n", qPrintable(label), qPrintable(clip));
        return;
    }
    // The first seek, like every other, starts once the cache has stopped filling.
    BenchLoop::runUntilIdle();
    const int frames = int(bench.manager.mediaDuration() * bench.manager.frameRate() + 1);
    QRandomGenerator random(20261208);
    std::vector<int> targets;
    for (int i = 0; i < count; ++i)
        targets.push_back(int(random.bounded(frames)));
    std::vector<std::vector<double>> ourRounds(targets.size()), refRounds(targets.size()),
        skipRounds(targets.size());
    const auto measure = [&](size_t i) {
        // clearCache sends every seek to the reader, as a target outside the cache would.
        ourRounds[i].push_back(bench.seekTo(targets[i], true));
        // The references run alone, not beside the engine filling its cache.
        BenchLoop::runUntilIdle();
        refRounds[i].push_back(reference.seekTo(targets[i], false));
        // Nor does the next seek run beside the reference's decoding threads,
        // which finish the pictures they were given after it returns.
        BenchLoop::runUntilIdle();
        skipRounds[i].push_back(reference.seekTo(targets[i], true));
        BenchLoop::runUntilIdle();
    };
    for (int round = 0; round < rounds; ++round) {
        for (size_t i = 0; i < targets.size(); ++i)
            measure(i);
    }
    std::vector<size_t> shortSeeks;
    for (size_t i = 0; i < targets.size(); ++i) {
        if (median(refRounds[i]) < ShortSeekMs)
            shortSeeks.push_back(i);
    }
    for (int round = rounds; round < rounds * ShortSeekRoundsFactor; ++round) {
        for (size_t i : shortSeeks) {
            if (bench.manager.lastFrameIndex() == targets[i]) {
                bench.seekTo((targets[i] + frames / 2) % frames, true);
                BenchLoop::runUntilIdle();
            }
            measure(i);
        }
    }
    std::vector<double> ours, ref, refskip, ratios;
    int notShown = 0;
    for (size_t i = 0; i < targets.size(); ++i) {
        const auto& mine = ourRounds[i];
        if (std::any_of(mine.begin(), mine.end(), [](double ms) { return ms < 0; })) {
            ++notShown;
            continue;
        }
        const double ms = median(mine);
        const double refMs = median(refRounds[i]);
        const double skipMs = median(skipRounds[i]);
        ours.push_back(ms);
        ref.push_back(refMs);
        refskip.push_back(skipMs);
        ratios.push_back(ms / refMs);
        std::printf("%s_seek: frame %d (key frame %d): orvel %.1f ms, ref %.1f ms, refskip %.1f ms, "
                    "ratio %.2f (%zu rounds)\n",
                    qPrintable(label), targets[i], keyFrameAtOrBefore(reference.keyFrames(), targets[i]), ms,
                    refMs, skipMs, ms / refMs, mine.size());
    }
    const QByteArray p = label.toLatin1();
    print((p + "_seek_median_ms").constData(), median(ours));
    print((p + "_seek_p90_ms").constData(), percentile(ours, 0.9));
    print((p + "_ref_median_ms").constData(), median(ref));
    print((p + "_ref_p90_ms").constData(), percentile(ref, 0.9));
    print((p + "_refskip_median_ms").constData(), median(refskip));
    print((p + "_seek_to_ref_median_ratio").constData(), median(ours) / median(ref));
    print((p + "_seek_to_refskip_median_ratio").constData(), median(ours) / median(refskip));
    print((p + "_seek_to_ref_worst_target_ratio").constData(), maximum(ratios));
    print((p + "_seek_frames_not_shown").constData(), notShown);
}

// Steps back one frame at a time from 0-based frame `from`, as the Left key
// does (with its audio burst), each timed to the paint.
void measureBackSteps(Bench& bench, const QString& clip, int from, int steps)
{
    SeekReference reference(clip);
    if (!reference.isOpen() || !bench.load(clip) || bench.seekTo(from, true) < 0)
        return;
    std::vector<double> ours, ref;
    int notShown = 0;
    const double frameDuration = bench.manager.frameDuration();
    for (int i = 1; i <= steps && from - i >= 0; ++i) {
        const double ms = bench.seekTo(from - i, false, frameDuration);
        if (ms < 0)
            ++notShown;
        else
            ours.push_back(ms);
        ref.push_back(reference.seekTo(from - i, false));
    }
    print("back_steps", double(ours.size()));
    print("back_step_median_ms", median(ours));
    print("back_step_p90_ms", percentile(ours, 0.9));
    print("back_step_max_ms", maximum(ours));
    print("back_step_ref_median_ms", median(ref));
    print("back_step_frames_not_shown", notShown);
}

// One frame back and forth inside the cache.
void measureCachedSteps(Bench& bench, const QString& clip)
{
    if (!bench.load(clip) || bench.seekTo(150, true) < 0)
        return;
    std::vector<double> back, forward;
    for (int i = 0; i < 20; ++i) {
        const bool stepBack = i % 2 == 0;
        const int from = bench.manager.lastFrameIndex();
        const double ms = bench.seekTo(stepBack ? from - 1 : from + 1, false);
        (stepBack ? back : forward).push_back(ms);
    }
    print("step_backward_in_cache_median_ms", median(back));
    print("step_forward_in_cache_median_ms", median(forward));
}

// Plays at the normal speed from 0-based frame `from` down to `to`, and as
// the reference forwards from `to` up to `from`, each right after a seek
// there. Of the frames handed to the viewer and of those it painted: how
// many, how many on time (no later than one frame after their time counted
// from the one before: backwards a late frame holds the playhead instead of
// being skipped, so a single wait would make all later ones late against
// the start), the longest wait for the next one, and how long it all took
// beside the clip's time.
void measureReverse(Bench& bench, const QString& label, const QString& clip, int from, int to)
{
    using Shown = std::vector<std::pair<int, qint64>>;
    for (const bool backward : {true, false}) {
        const int start = backward ? from : to;
        const int end = backward ? to : from;
        // Loaded afresh, so that the frame sought to is painted anew.
        if (!bench.load(clip) || bench.seekTo(start, true) < 0) {
            std::fprintf(stderr, "%s: cannot open %s at frame %d\n", qPrintable(label), qPrintable(clip),
                         start);
            return;
        }
        const double frameNs = 1e9 / bench.manager.frameRate();
        Shown handed;
        const QMetaObject::Connection watch =
            QObject::connect(&bench.manager, &PM::playbackTimeChanged, &bench.manager, [&] {
                const int index = bench.manager.lastFrameIndex();
                if (handed.empty() || handed.back().first != index)
                    handed.emplace_back(index, bench.viewer.clock.nsecsElapsed());
            });
        bench.viewer.paints.clear();
        bench.viewer.recording = true;
        const qint64 startNs = bench.viewer.clock.nsecsElapsed();
        if (backward)
            bench.manager.playBackward();
        else
            bench.manager.play();
        const bool reached = runUntil(
            [&] { return backward ? bench.viewer.lastPainted <= end : bench.viewer.lastPainted >= end; });
        bench.manager.pause();
        bench.viewer.recording = false;
        QObject::disconnect(watch);

        const QByteArray p =
            (label + (backward ? QStringLiteral("_reverse") : QStringLiteral("_forward"))).toLatin1();
        print((p + "_frames_expected").constData(), from - to);
        print((p + "_clip_duration_ms").constData(), (from - to) * frameNs / 1e6);
        const auto report = [&](const Shown& frames, const char* what) {
            int count = 0;
            int onTime = 0;
            double longestGap = 0.0;
            int previousIndex = start;
            qint64 previousNs = startNs;
            for (const auto& [index, ns] : frames) {
                if (index < to || index > from || index == start)
                    continue;
                ++count;
                const double dueNs = double(previousNs) + std::abs(index - previousIndex) * frameNs;
                if (double(ns) <= dueNs + frameNs)
                    ++onTime;
                longestGap = std::max(longestGap, double(ns - previousNs) / 1e6);
                previousIndex = index;
                previousNs = ns;
            }
            print((p + "_frames_" + what).constData(), count);
            print((p + "_frames_" + what + "_on_time").constData(), onTime);
            print((p + "_" + what + "_longest_gap_ms").constData(), longestGap);
            print((p + "_" + what + "_duration_ms").constData(), double(previousNs - startNs) / 1e6);
        };
        report(handed, "shown");
        report(bench.viewer.paints, "painted");
        if (!reached)
            std::fprintf(stderr, "%s: frame %d not reached\n", p.constData(), end);
    }
}

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
    print("load_to_first_paint_ms", median(times));
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const StealReport steal;
    QStringList args = app.arguments().mid(1);
    int seeks = 30;
    int rounds = 3;
    bool reverseOnly = false;
    bool seeksOnly = false;
    while (!args.isEmpty() && args.first().startsWith(QLatin1String("--"))) {
        if (args.first() == QLatin1String("--seeks") && args.size() >= 2) {
            seeks = std::max(1, args[1].toInt());
            args = args.mid(2);
        } else if (args.first() == QLatin1String("--rounds") && args.size() >= 2) {
            rounds = std::max(1, args[1].toInt());
            args = args.mid(2);
        } else if (args.first() == QLatin1String("--reverse-only")) {
            reverseOnly = true;
            args = args.mid(1);
        } else if (args.first() == QLatin1String("--seeks-only")) {
            seeksOnly = true;
            args = args.mid(1);
        } else {
            std::fprintf(stderr,
                         "usage: bench_playback [--seeks N] [--rounds R] [--reverse-only | --seeks-only] "
                         "[CLIP_DIR]\n");
            return 1;
        }
    }
    const QString corpus = args.isEmpty() ? QString() : QFileInfo(args.first()).absoluteFilePath();
    const QString longGop = BenchClips::longGop1080p25(corpus);
    const QString shortGop = BenchClips::shortGop1080p60();
    const QString prores = BenchClips::prores1080p25();
    if (longGop.isEmpty() || shortGop.isEmpty() || prores.isEmpty()) {
        std::fprintf(stderr, "clips missing (the ffmpeg tool and the corpus script are needed)\n");
        return 1;
    }
    std::printf("cache_mb: %lld\ncache_trailing_share: %.2f\n", (long long)(DefaultCacheBytes / 1000000),
                double(DefaultTrailingShare));
    Bench bench;
    const auto measureAllSeeks = [&] {
        measureSeeks(bench, QStringLiteral("gop250_1080p25"), longGop, seeks, rounds);
        measureSeeks(bench, QStringLiteral("gop120_1080p60"), shortGop, seeks, rounds);
        measureSeeks(bench, QStringLiteral("prores_1080p25"), prores, seeks, rounds);
    };
    if (seeksOnly) {
        measureAllSeeks();
        return 0;
    }
    // Frames 200 down to 100 (0-based), inside the long-GOP clip's first GOP,
    // and of the intra-only MJPEG clip; the intra-only ProRes clip from its
    // last frame to its second.
    measureReverse(bench, QStringLiteral("gop250_1080p25"), longGop, 200, 100);
    const QString mjpeg = BenchClips::corpus(QStringLiteral("intra_mjpeg.avi"), corpus);
    if (!mjpeg.isEmpty())
        measureReverse(bench, QStringLiteral("mjpeg_360p25"), mjpeg, 200, 100);
    measureReverse(bench, QStringLiteral("prores_1080p25"), prores, 99, 1);
    if (reverseOnly)
        return 0;
    measureLoad(bench, longGop);
    measureAllSeeks();
    // Frame 290 of the GOP-250 clip, 0-based 289: 40 steps inside its GOP,
    // then across the key frame at 250 into the GOP before.
    measureBackSteps(bench, longGop, 289, 50);
    measureCachedSteps(bench, longGop);
    return 0;
}
