// Fuzzes the whole engine on damaged clips: the playback controller opens a
// clip with flipped bytes and a cut-off end, plays a little, seeks twice and
// unloads, with a real event loop and the reader and decoders on their
// threads.
//
// Input layout:
//   byte 0      which clip (of several short cuts of the generated corpus)
//   bytes 1-2   the cut-off: with the top bit set, the clip keeps
//               (value & 0x7fff) / 32768 of its bytes; otherwise all of them
//   bytes 3-4   the two frames to seek to
//   then groups of 4 bytes, one flipped byte each: a 24-bit offset (with the
//   top bit set, into the first 4 KiB, where the headers are) and the bits
//   to flip (0 flips all of them)
//
// Besides the sanitizers, a watchdog aborts the process when any single step
// does not return, or the unload does not finish, within 2 seconds: a damaged
// clip must never hang the player. Each execution is kept to a few hundred
// milliseconds, so the clips are short cuts (under a second) made once from
// the corpus of scripts/make-test-clips.sh (ORVEL_TEST_CLIPS).
#include "playbackmanager.h"
#include "softwareviewer.h"
#include "testclips.h"

extern "C" {
#include <libavutil/log.h>
}

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr int StepLimitMs = 2000;
// How long the target waits for a load or a seek to settle: a damaged clip
// may legitimately never get there, which is no finding by itself.
constexpr int SettleMs = 600;
constexpr int PlayMs = 60;
constexpr double Seconds = 0.6;

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "damaged clips: %s\n", what);
    std::abort();
}

// Aborts the process when a step it watches runs past its limit.
class Watchdog
{
public:
    Watchdog() : thread([this] { watch(); }) {}
    ~Watchdog()
    {
        quit = true;
        thread.join();
    }

    void arm(const char* what)
    {
        step = what;
        deadline = nowMs() + StepLimitMs;
    }
    void disarm() { deadline = 0; }

private:
    static int64_t nowMs()
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

    void watch()
    {
        while (!quit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            const int64_t limit = deadline;
            if (limit != 0 && nowMs() > limit) {
                std::fprintf(stderr, "damaged clips: '%s' did not finish within %d ms: the player hangs\n",
                             step.load(), StepLimitMs);
                std::abort();
            }
        }
    }

    std::atomic<bool> quit{false};
    std::atomic<int64_t> deadline{0};
    std::atomic<const char*> step{""};
    std::thread thread;
};

struct Cut
{
    const char* source;
    const char* name;
    const char* extraArguments;
};

// Short stream copies: every codec and container the corpus has, with and
// without sound, with the mp4 index before and after the data.
const Cut cuts[] = {
    {"video_only.mp4", "h264_faststart.mp4", "-movflags +faststart"},
    {"video_only.mp4", "h264_index_last.mp4", ""},
    {"start_offset.mkv", "h264_aac_offset.mkv", ""},
    {"narrow_4px.mkv", "ffv1_narrow.mkv", ""},
    {"mjpeg_u8.avi", "mjpeg_u8.avi", ""},
    {"mpeg2_ps.mpg", "mpeg2_mp2.mpg", "-f mpeg"},
    {"vp9_opus.webm", "vp9_opus.webm", ""},
    {"audio_only.mp4", "aac_only.mp4", ""},
    {"pcm_f64.mov", "mjpeg_f64.mov", ""},
    {"mpeg4_641x361.mov", "mpeg4_odd.mov", ""},
};
constexpr int cutCount = int(sizeof(cuts) / sizeof(cuts[0]));

// The cut of one clip, made once next to the corpus and kept until the
// corpus is generated anew.
QByteArray makeCut(const Cut& cut)
{
    const QString folder = TestClips::directory() + QStringLiteral("/fuzz-cuts");
    const QString target = folder + QLatin1Char('/') + QLatin1String(cut.name);
    const QFileInfo made(target);
    if (!made.exists() ||
        made.lastModified() < QFileInfo(TestClips::path(QLatin1String(cut.source))).lastModified()) {
        QDir().mkpath(folder);
        const QString partial = folder + QStringLiteral("/partial-") + QLatin1String(cut.name);
        QStringList arguments = {QStringLiteral("-hide_banner"),
                                 QStringLiteral("-loglevel"),
                                 QStringLiteral("error"),
                                 QStringLiteral("-nostdin"),
                                 QStringLiteral("-y"),
                                 QStringLiteral("-i"),
                                 TestClips::path(QLatin1String(cut.source)),
                                 QStringLiteral("-t"),
                                 QString::number(Seconds),
                                 QStringLiteral("-c"),
                                 QStringLiteral("copy"),
                                 QStringLiteral("-map"),
                                 QStringLiteral("0"),
                                 QStringLiteral("-fflags"),
                                 QStringLiteral("+bitexact"),
                                 QStringLiteral("-map_metadata"),
                                 QStringLiteral("-1")};
        arguments << QString::fromLatin1(cut.extraArguments).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        arguments << partial;
        QProcess ffmpeg;
        ffmpeg.setProcessChannelMode(QProcess::ForwardedChannels);
        ffmpeg.start(QStringLiteral("ffmpeg"), arguments);
        if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitStatus() != QProcess::NormalExit ||
            ffmpeg.exitCode() != 0 || (made.exists() && !QFile::remove(target)) ||
            !QFile::rename(partial, target)) {
            std::fprintf(stderr, "damaged clips: cannot cut %s from the clip corpus in '%s'\n", cut.source,
                         qPrintable(TestClips::directory()));
            std::abort();
        }
    }
    QFile file(target);
    if (!file.open(QIODevice::ReadOnly))
        fail("cannot read a cut clip");
    return file.readAll();
}

struct Context
{
    Context()
    {
        // The damage makes the demuxers and decoders complain at length; what
        // counts here is what the player does about it.
        if (!verbose)
            av_log_set_level(AV_LOG_QUIET);
        if (TestClips::directory().isEmpty())
            fail("ORVEL_TEST_CLIPS must name the clip corpus of scripts/make-test-clips.sh");
        if (!QCoreApplication::instance()) {
            if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
                qputenv("QT_QPA_PLATFORM", "offscreen");
            static int argc = 1;
            static char name[] = "fuzz_damagedclips";
            static char* argv[] = {name, nullptr};
            application = std::make_unique<QApplication>(argc, argv);
        }
        for (const Cut& cut : cuts)
            clips.push_back(makeCut(cut));
        if (!folder.isValid())
            fail("cannot make a temporary folder");
    }

    const bool verbose = !qEnvironmentVariableIsEmpty("ORVEL_FUZZ_VERBOSE");
    std::unique_ptr<QApplication> application;
    std::vector<QByteArray> clips;
    QTemporaryDir folder;
    Watchdog watchdog;
};

Context& context()
{
    static Context c;
    return c;
}

struct Damage
{
    int clip = 0;
    QByteArray bytes;
    int firstFrame = 0;
    int secondFrame = 0;
};

Damage damage(const uint8_t* data, size_t size)
{
    const auto at = [&](size_t i) { return i < size ? data[i] : uint8_t(0); };
    Damage d;
    d.clip = at(0) % cutCount;
    const QByteArray& clip = context().clips[size_t(d.clip)];
    const int cut = (at(1) << 8) | at(2);
    const int kept =
        (cut & 0x8000) ? std::max(1, int(qint64(clip.size()) * (cut & 0x7fff) / 0x8000)) : clip.size();
    d.bytes = clip.left(kept);
    d.firstFrame = at(3);
    d.secondFrame = at(4);
    for (size_t i = 5; i + 4 <= size; i += 4) {
        const uint32_t where = (uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8) | data[i + 2];
        const uint32_t span = (where & 0x800000) ? uint32_t(std::min(kept, 4096)) : uint32_t(kept);
        const int offset = int((where & 0x7fffff) % span);
        const char bits = data[i + 3] != 0 ? char(data[i + 3]) : char(0xff);
        d.bytes[offset] = char(d.bytes[offset] ^ bits);
    }
    return d;
}

// Runs the event loop until `done` or `limitMs`, under the watchdog.
void runUntil(Watchdog& watchdog, const char* step, int limitMs, const std::function<bool()>& done)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done() && elapsed.elapsed() < limitMs) {
        watchdog.arm(step);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        watchdog.disarm();
        QThread::msleep(1);
    }
}

bool settled(PlaybackManager::Status status)
{
    return status == PlaybackManager::Ready || status == PlaybackManager::EndOfMedia ||
           status == PlaybackManager::InvalidMedia || status == PlaybackManager::NoMedia;
}

void seekToFrame(Watchdog& watchdog, PlaybackManager& manager, int frame)
{
    const double frameDuration = manager.frameDuration() > 0.0 ? manager.frameDuration() : 0.04;
    watchdog.arm("seek");
    manager.seek(frame * frameDuration, frameDuration, false);
    watchdog.disarm();
    runUntil(watchdog, "waiting for the seek", SettleMs, [&] { return settled(manager.status()); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Context& c = context();
    const Damage d = damage(data, size);
    const QString path =
        c.folder.filePath(QStringLiteral("damaged.") + QFileInfo(QLatin1String(cuts[d.clip].name)).suffix());
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(d.bytes) != d.bytes.size())
            fail("cannot write the damaged clip");
    }

    Watchdog& watchdog = c.watchdog;
    watchdog.arm("creating the controller");
    auto viewer = std::make_unique<SoftwareViewer>();
    viewer->resize(160, 120);
    auto manager = std::make_unique<PlaybackManager>();
    manager->setViewer(viewer.get());
    watchdog.disarm();

    watchdog.arm("setMedia");
    const bool accepted = manager->setMedia(path, 0, 0.7f);
    watchdog.disarm();
    if (accepted) {
        runUntil(watchdog, "loading", SettleMs, [&] { return settled(manager->status()); });
        if (c.verbose)
            std::fprintf(stderr, "damaged clips: %s, %d of %d bytes: status %d after loading\n",
                         cuts[d.clip].name, d.bytes.size(), int(c.clips[size_t(d.clip)].size()),
                         int(manager->status()));
        if (manager->status() == PlaybackManager::Ready) {
            watchdog.arm("play");
            manager->play();
            watchdog.disarm();
            runUntil(watchdog, "playing", PlayMs, [] { return false; });
            watchdog.arm("pause");
            manager->pause();
            watchdog.disarm();
            seekToFrame(watchdog, *manager, d.firstFrame);
            seekToFrame(watchdog, *manager, d.secondFrame);
        }
    }

    // The unload as a whole must finish within the limit.
    watchdog.arm("unload");
    manager->stop();
    while (manager->status() != PlaybackManager::NoMedia) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (manager->status() != PlaybackManager::NoMedia)
            QThread::msleep(1);
    }
    watchdog.disarm();

    watchdog.arm("destroying the controller");
    manager.reset();
    viewer.reset();
    watchdog.disarm();
    return 0;
}
