// Decodes the 1080p H.264 test clip into the video cache (large enough for
// every frame) with Orvel's reader and video decoder, and in the same run
// times the ffmpeg command-line tool decoding the same clip to raw RGB24 with
// an automatic thread count. Prints plain "name: value" lines.
//
// Usage: bench_decode [clip] [rounds]   (default: the corpus clip, 3 rounds;
// the best round of each side counts)
#include "audiomanager.h"
#include "mediamanager.h"
#include "mediasource.h"
#include "videomanager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

namespace {

QString defaultClip()
{
    const QString clip = QStringLiteral(ORVEL_CLIPS_DIR "/h264_1080p25.mp4");
    if (!QFileInfo::exists(clip)) {
        QProcess::execute(QStringLiteral(ORVEL_SOURCE_DIR "/scripts/make-test-clips.sh"),
                          {QStringLiteral(ORVEL_CLIPS_DIR)});
    }
    return clip;
}

struct Result
{
    int frames = 0;
    double seconds = 0.0;
    double fps() const { return seconds > 0 ? frames / seconds : 0.0; }
};

// Orvel: from the moment the decoder is handed the opened media until the
// end of the stream has been decoded into the cache.
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
    QObject::connect(&reader, &MediaManager::statusChanged, &loop, [&](MediaManager::Status status) {
        if (status == MediaManager::Loaded) {
            source.synchronise();
            const int frameBytes = source.videoWidth * source.videoHeight * 3;
            const int64_t frames = source.videoStream->nb_frames > 0 ? source.videoStream->nb_frames : 1000;
            source.videoCache.configure(int64_t((frames + 10) * frameBytes / 0.99), frameBytes, 0.7f);
            // Nobody decodes the audio in this benchmark.
            source.audioPackets.setDropping(true);
            timer.start();
            QMetaObject::invokeMethod(&video, "changeMediaSource", Qt::QueuedConnection,
                                      Q_ARG(MediaSource*, &source));
        } else if (status == MediaManager::LoadFailed) {
            loop.quit();
        }
    });
    QObject::connect(&video, &VideoManager::statusChanged, &loop, [&](VideoManager::Status status) {
        if (status == VideoManager::EndOfStream) {
            result.seconds = timer.nsecsElapsed() / 1e9;
            result.frames = source.videoCache.usedSlots();
            loop.quit();
        }
    });
    QMetaObject::invokeMethod(&reader, "load", Qt::QueuedConnection, Q_ARG(MediaSource*, &source));
    QTimer::singleShot(300000, &loop, &QEventLoop::quit);
    loop.exec();

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
    ffmpeg.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-hide_banner", "-loglevel", "error", "-nostdin", "-threads", "0", "-i", path, "-an", "-f",
                  "rawvideo", "-pix_fmt", "rgb24", "-y", "/dev/null"});
    if (!ffmpeg.waitForStarted() || !ffmpeg.waitForFinished(300000) || ffmpeg.exitCode() != 0)
        return {};
    Result result;
    result.seconds = timer.nsecsElapsed() / 1e9;
    result.frames = frames;
    return result;
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A loaded, paused media with the default cache: the decoder has filled the
// cache, the reader its queues, and everything should sleep. Returns the CPU
// the process used over two seconds, in percent of one core.
double idleCpuPercent(const QString& path)
{
    QThread readerThread;
    QThread videoThread;
    QThread audioThread;
    MediaManager reader;
    VideoManager video;
    AudioManager audio;
    reader.moveToThread(&readerThread);
    video.moveToThread(&videoThread);
    audio.moveToThread(&audioThread);
    readerThread.start();
    videoThread.start();
    audioThread.start();

    MediaSource source(path);
    QEventLoop loop;
    QObject::connect(&reader, &MediaManager::statusChanged, &loop, [&](MediaManager::Status status) {
        if (status == MediaManager::Loaded) {
            source.synchronise();
            source.videoCache.configure(0, source.videoWidth * source.videoHeight * 3, 0.7f);
            QMetaObject::invokeMethod(&video, "changeMediaSource", Qt::QueuedConnection,
                                      Q_ARG(MediaSource*, &source));
            QMetaObject::invokeMethod(&audio, "changeMediaSource", Qt::QueuedConnection,
                                      Q_ARG(MediaSource*, &source));
        }
    });
    QMetaObject::invokeMethod(&reader, "load", Qt::QueuedConnection, Q_ARG(MediaSource*, &source));
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (source.videoCache.usedSlots() >= source.videoCache.capacity() && source.videoCache.capacity() > 0)
            loop.quit();
    });
    poll.start(10);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    QThread::msleep(500);

    const double before = processCpuSeconds();
    QThread::sleep(2);
    const double used = processCpuSeconds() - before;

    source.abort();
    QMetaObject::invokeMethod(&video, "stopDecoding", Qt::BlockingQueuedConnection);
    QMetaObject::invokeMethod(&audio, "stopDecoding", Qt::BlockingQueuedConnection);
    QMetaObject::invokeMethod(&reader, "unload", Qt::BlockingQueuedConnection);
    for (QThread* thread : {&readerThread, &videoThread, &audioThread}) {
        thread->quit();
        thread->wait();
    }
    return used / 2.0 * 100.0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString clip = args.size() > 1 ? args[1] : defaultClip();
    const int rounds = args.size() > 2 ? std::max(1, args[2].toInt()) : 3;
    if (!QFileInfo::exists(clip)) {
        std::fprintf(stderr, "clip not found: %s\n", qPrintable(clip));
        return 1;
    }

    Result orvel;
    Result ffmpeg;
    for (int round = 0; round < rounds; ++round) {
        const Result ours = decodeWithOrvel(clip);
        if (ours.frames == 0) {
            std::fprintf(stderr, "Orvel could not decode %s\n", qPrintable(clip));
            return 1;
        }
        const Result theirs = decodeWithFfmpeg(clip, ours.frames);
        if (theirs.frames == 0) {
            std::fprintf(stderr, "the ffmpeg tool could not decode %s\n", qPrintable(clip));
            return 1;
        }
        if (ours.fps() > orvel.fps())
            orvel = ours;
        if (theirs.fps() > ffmpeg.fps())
            ffmpeg = theirs;
    }
    std::printf("clip: %s\n", qPrintable(QFileInfo(clip).fileName()));
    std::printf("frames: %d\n", orvel.frames);
    std::printf("rounds: %d\n", rounds);
    std::printf("orvel_decode_fps: %.1f\n", orvel.fps());
    std::printf("ffmpeg_rgb24_fps: %.1f\n", ffmpeg.fps());
    std::printf("ratio: %.2f\n", orvel.fps() / ffmpeg.fps());
    std::printf("paused_cpu_percent: %.2f\n", idleCpuPercent(clip));
    return 0;
}
