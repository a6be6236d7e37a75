// Decoding into the video cache: Orvel's reader and video decoder fill the
// cache with its default size (512 MB, 0.8 of it behind the playhead) while
// a consumer moves the playhead to the newest frame as soon as it arrives,
// as playback at an unbounded speed would; in the same run the ffmpeg tool
// decodes the same clip with an automatic thread count and converts every
// picture to 32-bit RGB (bgra), the format the screen takes. Its rate is the
// tool's own transcoding time (-benchmark), without its start-up.
//
// Usage: bench_decode [--rounds N] [clip...]
//   default: the long-GOP 1080p25 clip of the corpus and the short-GOP
//   1080p60 bench clip, 3 rounds each; the best round of each side counts.
#include "benchclips.h"
#include "benchstats.h"
#include "mediamanager.h"
#include "mediasource.h"
#include "videomanager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>
#include <cmath>
#include <cstdio>

namespace {

constexpr int64_t DefaultCacheBytes = 512000000;
constexpr float DefaultTrailingShare = 0.8f;

struct Result
{
    int frames = 0;
    double seconds = 0.0;
    double fps() const { return seconds > 0 ? frames / seconds : 0.0; }
};

// From the moment the decoder is handed the opened media until the end of
// the stream has been decoded into the cache.
Result decodeWithOrvel(const QString& path)
{
    QThread readerThread;
    QThread videoThread;
    MediaManager reader;
    VideoManager video;
    reader.moveToThread(&readerThread);
    video.moveToThread(&videoThread);
    readerThread.start();
    videoThread.start();

    MediaSource source(path);
    QEventLoop loop;
    QElapsedTimer timer;
    Result result;
    // The playhead follows the newest frame, so the cache slides and the
    // decoder never waits for a place.
    QTimer consumer;
    consumer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&consumer, &QTimer::timeout, &loop, [&] {
        std::lock_guard<std::mutex> lock(source.videoCache.mutex);
        source.videoCache.frameAt(1e9);
    });
    QObject::connect(&reader, &MediaManager::statusChanged, &loop, [&](MediaManager::Status status) {
        if (status == MediaManager::Loaded) {
            source.synchronise();
            // Sized as the controller sizes it.
            const auto format = AVPixelFormat(source.videoStream->codecpar->format);
            source.videoCache.configure(DefaultCacheBytes,
                                        VideoFrame::storedBytes(format, source.videoWidth, source.videoHeight),
                                        DefaultTrailingShare);
            // Nobody decodes the audio in this benchmark.
            source.audioPackets.setDropping(true);
            timer.start();
            consumer.start(1);
            QMetaObject::invokeMethod(&video, "changeMediaSource", Qt::QueuedConnection,
                                      Q_ARG(MediaSource*, &source));
        } else if (status == MediaManager::LoadFailed) {
            loop.quit();
        }
    });
    QObject::connect(&video, &VideoManager::statusChanged, &loop, [&](VideoManager::Status status) {
        if (status == VideoManager::EndOfStream) {
            result.seconds = double(timer.nsecsElapsed()) / 1e9;
            // Every picture up to the last one went through the cache.
            std::lock_guard<std::mutex> lock(source.videoCache.mutex);
            if (const VideoFrame* last = source.videoCache.frameAt(1e9))
                result.frames = int(std::lround(last->time * source.frameRate)) + 1;
            loop.quit();
        }
    });
    QMetaObject::invokeMethod(&reader, "load", Qt::QueuedConnection, Q_ARG(MediaSource*, &source));
    QTimer::singleShot(300000, &loop, &QEventLoop::quit);
    loop.exec();
    consumer.stop();

    source.abort();
    QMetaObject::invokeMethod(&video, "stopDecoding", Qt::BlockingQueuedConnection);
    QMetaObject::invokeMethod(&reader, "unload", Qt::BlockingQueuedConnection);
    readerThread.quit();
    videoThread.quit();
    readerThread.wait();
    videoThread.wait();
    return result;
}

Result decodeWithFfmpeg(const QString& path, int frames)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-hide_banner", "-nostdin", "-benchmark", "-threads", "0", "-i", path, "-an", "-f",
                  "rawvideo", "-pix_fmt", "bgra", "-y", "/dev/null"});
    if (!ffmpeg.waitForStarted() || !ffmpeg.waitForFinished(300000) || ffmpeg.exitCode() != 0)
        return {};
    const QString log = QString::fromLocal8Bit(ffmpeg.readAllStandardError());
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("rtime=([0-9.]+)s")).match(log);
    Result result;
    result.seconds = match.hasMatch() ? match.captured(1).toDouble() : 0.0;
    result.frames = frames;
    return result;
}

bool measure(const QString& clip, int rounds)
{
    Result orvel;
    Result ffmpeg;
    for (int round = 0; round < rounds; ++round) {
        const Result ours = decodeWithOrvel(clip);
        if (ours.frames == 0) {
            std::fprintf(stderr, "Orvel could not decode %s\n", qPrintable(clip));
            return false;
        }
        const Result theirs = decodeWithFfmpeg(clip, ours.frames);
        if (theirs.seconds <= 0.0) {
            std::fprintf(stderr, "the ffmpeg tool could not decode %s\n", qPrintable(clip));
            return false;
        }
        if (ours.fps() > orvel.fps())
            orvel = ours;
        if (theirs.fps() > ffmpeg.fps())
            ffmpeg = theirs;
    }
    std::printf("clip: %s\n", qPrintable(QFileInfo(clip).fileName()));
    std::printf("frames: %d\n", orvel.frames);
    BenchStats::print("orvel_decode_fps", orvel.fps());
    BenchStats::print("ffmpeg_bgra_fps", ffmpeg.fps());
    BenchStats::print("ratio", orvel.fps() / ffmpeg.fps());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int rounds = 3;
    if (args.size() >= 2 && args.first() == QLatin1String("--rounds")) {
        rounds = std::max(1, args[1].toInt());
        args = args.mid(2);
    }
    QStringList clips = args;
    if (clips.isEmpty())
        clips << BenchClips::longGop1080p25() << BenchClips::shortGop1080p60();
    std::printf("rounds: %d\ncache_mb: %lld\n", rounds, (long long)(DefaultCacheBytes / 1000000));
    for (const QString& clip : clips) {
        if (clip.isEmpty() || !QFileInfo::exists(clip)) {
            std::fprintf(stderr, "clip not found: %s\n", qPrintable(clip));
            return 1;
        }
        if (!measure(clip, rounds))
            return 1;
    }
    return 0;
}
