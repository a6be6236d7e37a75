// Long-run check of the playback controller: cycles of open, play half a
// second, seek to a random frame, stop, over the whole clip corpus, with a
// real PlaybackManager, a SoftwareViewer on the offscreen platform and a Qt
// event loop. Resident memory, open file descriptors and threads are printed
// every 50 cycles; after the warm-up cycles they must stay flat.
//
// Usage: bench_soak [--cycles N] [--warmup N] [--every N] [--play-ms N] [--seed N]
//                   [--null-sound] [--no-memory-check] [--allocator-as-is] [CLIP_DIR]
//   --every N prints the figures every N cycles (default 50).
//   CLIP_DIR holds the test corpus (default: the build tree's test-clips,
//   generated if missing). --null-sound gives the process an ALSA null
//   device as its default output, so that the sound output runs too.
//   --no-memory-check leaves memory out of the verdict (a run too short for
//   the allocator to settle still checks descriptors, threads and frames).
//   --allocator-as-is keeps glibc's per-thread arenas and thread stack cache
//   (see restartWithSteadyAllocator), for a look at the raw figures.
//
// Exits 0 with "verdict: pass" when every cycle loaded its clip and showed
// the frame it sought, the descriptors and threads did not grow after the
// warm-up and resident memory grew less than 5 % from the end of the warm-up
// to the end; otherwise prints what failed and exits 1.
#include "eventloop.h"
#include "frameindex.h"
#include "playbackmanager.h"
#include "residentmemory.h"
#include "softwareviewer.h"
#include "testclips.h"

extern "C" {
#include <libavutil/log.h>
}

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <malloc.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using PM = PlaybackManager;
using BenchLoop::runFor;
using BenchLoop::runUntil;
using BenchLoop::WaitLimitMs;
constexpr double MemoryGrowthLimitPct = 5.0;

struct Options
{
    int cycles = 300;
    int warmup = 20;
    int playMs = 500;
    int reportEvery = 50;
    quint32 seed = 20261208;
    bool nullSound = false;
    bool memoryCheck = true;
    QString corpus = QStringLiteral(ORVEL_BINARY_DIR "/test-clips");
};

struct Sample
{
    int cycle = 0;
    long untrimmedKb = 0;
    long residentKb = 0;
    long heapKb = 0;
    int fds = 0;
    int threads = 0;
};

bool parseOptions(const QStringList& arguments, Options& options)
{
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        bool ok = true;
        if (a == QLatin1String("--cycles") && hasValue)
            options.cycles = arguments[++i].toInt(&ok);
        else if (a == QLatin1String("--warmup") && hasValue)
            options.warmup = arguments[++i].toInt(&ok);
        else if (a == QLatin1String("--every") && hasValue)
            options.reportEvery = arguments[++i].toInt(&ok);
        else if (a == QLatin1String("--play-ms") && hasValue)
            options.playMs = arguments[++i].toInt(&ok);
        else if (a == QLatin1String("--seed") && hasValue)
            options.seed = arguments[++i].toUInt(&ok);
        else if (a == QLatin1String("--null-sound"))
            options.nullSound = true;
        else if (a == QLatin1String("--no-memory-check"))
            options.memoryCheck = false;
        else if (a == QLatin1String("--allocator-as-is"))
            continue;
        else if (!a.startsWith(QLatin1String("--")))
            options.corpus = a;
        else
            ok = false;
        if (!ok) {
            std::fprintf(stderr, "bench_soak: bad argument %s\n", qPrintable(a));
            return false;
        }
    }
    if (options.cycles < 1 || options.warmup < 0 || options.warmup >= options.cycles || options.playMs < 0 ||
        options.reportEvery < 1) {
        std::fprintf(stderr, "bench_soak: need 0 <= --warmup < --cycles and --play-ms >= 0\n");
        return false;
    }
    return true;
}

int entryCount(const char* path)
{
    return int(QDir(QString::fromLatin1(path))
                   .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)
                   .size());
}

// The resident size is taken after the allocator has handed its free pages
// back: what it keeps depends on the sizes of the last clip's pictures, not
// on what the program still holds. The size before is printed as well.
Sample sample(int cycle)
{
    Sample s;
    s.cycle = cycle;
    s.untrimmedKb = residentKb();
    malloc_trim(0);
    s.residentKb = residentKb();
    const struct mallinfo2 info = mallinfo2();
    s.heapKb = long((info.uordblks + info.hblkhd) / 1024);
    s.fds = entryCount("/proc/self/fd");
    s.threads = entryCount("/proc/self/task");
    return s;
}

void printSample(const Sample& s)
{
    std::printf(
        "cycle %4d  rss_kb %8ld  fds %4d  threads %3d  (rss before trim %ld kB, heap in use %ld kB)\n",
        s.cycle, s.residentKb, s.fds, s.threads, s.untrimmedKb, s.heapKb);
    std::fflush(stdout);
}

bool ensureCorpus(const QString& dir)
{
    const QString probe = dir + QStringLiteral("/h264_1080p25.mp4");
    if (!QFileInfo::exists(probe)) {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(QStringLiteral(ORVEL_SOURCE_DIR "/scripts/make-test-clips.sh"), {dir});
        process.waitForFinished(-1);
    }
    for (const TestClip& clip : TestClips::playable()) {
        if (!QFileInfo::exists(clip.path())) {
            std::fprintf(stderr, "bench_soak: %s is missing\n", qPrintable(clip.path()));
            return false;
        }
    }
    return true;
}

class Soak
{
public:
    explicit Soak(const Options& options) : options(options), random(options.seed)
    {
        viewer.resize(640, 360);
        viewer.show();
        manager.setViewer(&viewer);
        QObject::connect(&manager, &PM::error, &manager, [this](PM::Error, const QString& text) {
            // Each message once: the machine may lack a sound card, which
            // every clip with sound reports.
            if (!errorsSeen.contains(text)) {
                errorsSeen.insert(text);
                std::fprintf(stderr, "controller error: %s\n", qPrintable(text));
            }
        });
    }

    // One cycle on `clip`; returns false with a message when it failed.
    bool cycle(int number, const TestClip& clip)
    {
        if (!manager.setMedia(clip.path(), 0, 0.7f) || !runUntil([&] {
                return manager.status() == PM::Ready && manager.mediaFilename() == clip.path();
            }))
            return fail(number, clip, "did not load");
        manager.play();
        if (manager.state() != PM::Playing)
            return fail(number, clip, "did not play");
        runFor(options.playMs);
        if (!(clip.hasVideo ? seekToFrame(number, clip) : seekToTime(number, clip)))
            return false;
        manager.stop();
        if (!runUntil([&] { return manager.status() == PM::NoMedia; }))
            return fail(number, clip, "did not unload");
        return true;
    }

    // After a failed cycle: unloads whatever is left. False when the
    // controller does not even manage that (every later cycle would fail).
    bool recover()
    {
        manager.stop();
        return runUntil([&] { return manager.status() == PM::NoMedia; });
    }

private:
    bool seekToFrame(int number, const TestClip& clip)
    {
        const int index = int(random.bounded(clip.frameCount));
        manager.seek(index / clip.frameRate() + 0.0001, 0.0, false);
        if (!runUntil([&] { return manager.status() == PM::Ready && manager.lastFrameIndex() == index; }))
            return fail(number, clip, "seek did not show frame", index, manager.lastFrameIndex());
        // The index painted into the picture itself.
        const QPixmap shown = viewer.pixmap();
        const int painted = shown.isNull() ? -1 : FrameIndex::read(shown.toImage());
        if (painted != index + clip.firstIndex)
            return fail(number, clip, "wrong picture after seek", index + clip.firstIndex, painted);
        return true;
    }

    bool seekToTime(int number, const TestClip& clip)
    {
        const double target = random.bounded(clip.duration - 0.5);
        manager.seek(target, 0.0, false);
        if (!runUntil([&] {
                return manager.status() == PM::Ready && std::abs(manager.playbackTime() - target) < 1e-3;
            }))
            return fail(number, clip, "seek did not set the clock", int(target * 1000),
                        int(manager.playbackTime() * 1000));
        return true;
    }

    bool fail(int number, const TestClip& clip, const char* what, int expected = -1, int got = -1)
    {
        std::fprintf(stderr, "cycle %d (%s): %s", number, qPrintable(clip.name), what);
        if (expected >= 0 || got >= 0)
            std::fprintf(stderr, " (expected %d, got %d)", expected, got);
        std::fprintf(stderr, "; status %d, state %d\n", int(manager.status()), int(manager.state()));
        return false;
    }

    const Options options;
    QRandomGenerator random;
    QSet<QString> errorsSeen;
    SoftwareViewer viewer;
    PM manager;
};

// Prints the verdict; returns whether everything held.
bool judge(const std::vector<Sample>& samples, int failedCycles, bool memoryCheck)
{
    const Sample& base = samples.front();
    const Sample& last = samples.back();
    bool flat = true;
    for (const Sample& s : samples) {
        if (s.fds > base.fds || s.threads > base.threads)
            flat = false;
    }
    const double growthPct = 100.0 * double(last.residentKb - base.residentKb) / double(base.residentKb);
    std::printf("rss_growth_percent: %.2f (cycle %d to %d)\n", growthPct, base.cycle, last.cycle);
    std::printf("fd_growth: %d\nthread_growth: %d\nfailed_cycles: %d\n", last.fds - base.fds,
                last.threads - base.threads, failedCycles);
    const bool memoryOk = !memoryCheck || growthPct < MemoryGrowthLimitPct;
    const bool pass = flat && memoryOk && failedCycles == 0;
    std::printf("verdict: %s\n", pass ? "pass" : "FAIL");
    if (!flat)
        std::printf("descriptors or threads grew after the warm-up\n");
    if (!memoryOk)
        std::printf("resident memory grew by %.2f %% (limit %.0f %%)\n", growthPct, MemoryGrowthLimitPct);
    std::fflush(stdout);
    return pass;
}

// An ALSA configuration whose default output is the null device, in a HOME
// of the process's own.
std::unique_ptr<QTemporaryDir> useNullSoundDevice()
{
    auto home = std::make_unique<QTemporaryDir>();
    QFile config(home->filePath(QStringLiteral(".asoundrc")));
    if (!home->isValid() || !config.open(QIODevice::WriteOnly))
        return nullptr;
    config.write("pcm.!default { type null }\n");
    qputenv("HOME", home->path().toLocal8Bit());
    qputenv("JACK_NO_START_SERVER", "1");
    return home;
}

// The resident size says what the program holds only once the allocator's
// own reserves are out of the picture: glibc keeps the stacks of ended threads
// for reuse (up to 40 MB, with the pages they touched resident), and keeps
// freed memory in one arena per thread that allocated, which malloc_trim()
// does not fully hand back. The decoders' own threads come and go with every
// clip, so between them these move the resident size by tens of megabytes
// from one sample to the next, leak or no leak. Unless asked not to, the
// program runs itself again with one arena and no stack cache (should that
// fail, it goes on as it is).
void restartWithSteadyAllocator(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--allocator-as-is") == 0)
            return;
    }
    constexpr const char* Steady = "glibc.malloc.arena_max=1:glibc.pthread.stack_cache_size=0";
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    if (tunables && std::strstr(tunables, Steady))
        return;
    std::string value = Steady;
    if (tunables && *tunables)
        value = std::string(tunables) + ":" + value;
    setenv("GLIBC_TUNABLES", value.c_str(), 1);
    execv("/proc/self/exe", argv);
}

} // namespace

int main(int argc, char** argv)
{
    restartWithSteadyAllocator(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The decoders' warnings about the test clips would bury the figures.
    av_log_set_level(AV_LOG_ERROR);
    Options options;
    if (!parseOptions(app.arguments(), options))
        return 2;
    options.corpus = QFileInfo(options.corpus).absoluteFilePath();
    qputenv("ORVEL_TEST_CLIPS", options.corpus.toLocal8Bit());
    if (!ensureCorpus(options.corpus))
        return 2;
    std::unique_ptr<QTemporaryDir> soundHome;
    if (options.nullSound && !(soundHome = useNullSoundDevice()))
        return 2;

#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer's quarantine of freed memory fills over the first few
    // hundred megabytes freed: its leak check at exit is what counts there.
    if (options.memoryCheck)
        std::printf("memory: not judged under AddressSanitizer (its leak check runs at exit)\n");
    options.memoryCheck = false;
#endif
    const QList<TestClip> clips = TestClips::playable();
    std::printf("cycles: %d\nwarmup_cycles: %d\nclips: %d\n", options.cycles, options.warmup,
                int(clips.size()));
    Soak soak(options);
    std::vector<Sample> samples;
    printSample(sample(0));
    int failed = 0;
    int done = 0;
    QElapsedTimer wall;
    wall.start();
    while (done < options.cycles) {
        const int i = ++done;
        bool stuck = false;
        if (!soak.cycle(i, clips[(i - 1) % clips.size()])) {
            ++failed;
            // A controller that cannot even unload would fail every later
            // cycle after the time-out: give up at once.
            stuck = !soak.recover();
        }
        if (stuck || i == options.warmup ||
            (i > options.warmup && (i % options.reportEvery == 0 || i == options.cycles))) {
            // Let go of what the event loop still holds (deferred deletes,
            // the viewer's paint) before counting.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
            samples.push_back(sample(i));
            printSample(samples.back());
        }
        if (stuck)
            break;
    }
    std::printf("seconds: %.1f\n", double(wall.elapsed()) / 1000.0);
    return judge(samples, failed, options.memoryCheck) ? 0 : 1;
}
