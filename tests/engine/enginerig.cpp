#include "enginerig.h"

#include "fileseeker.h"
#include "frameconverter.h"
#include "frameindex.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMetaObject>
#include <QtTest>

EngineRig::EngineRig()
{
    connect(&reader, &MediaManager::statusChanged, this, [this](MediaManager::Status s) {
        readerStatuses << s;
        if (s == MediaManager::Seeked)
            ++seeksReported;
    });
    connect(&reader, &MediaManager::error, this, [this](MediaManager::Error e) {
        readerErrors << e;
        if (e == MediaManager::SeekFailed) {
            ++seeksReported;
            ++seekFailedCount;
        }
    });
    connect(&video, &VideoManager::statusChanged, this,
            [this](VideoManager::Status s) { videoStatuses << s; });
    connect(&video, &VideoManager::error, this, [this](VideoManager::Error e) { videoErrors << e; });
    // As the controller does: a seek that landed after its target goes
    // further back.
    connect(&video, &VideoManager::seekOvershot, this, [this](double target) {
        if (!media || target != media->seekTarget)
            return;
        overshoots << target;
        media->requestSeek(target, SeekHistory::Few, std::max(FileSeeker::Margin, 2 * media->seekMargin));
        askReaderToSeek();
    });
    connect(&audio, &AudioManager::statusChanged, this,
            [this](AudioManager::Status s) { audioStatuses << s; });
    connect(&audio, &AudioManager::error, this, [this](AudioManager::Error e) { audioErrors << e; });
    for (QThread* thread : {&readerThread, &videoThread, &audioThread}) {
        // The worker's last act: orders all it did before the managers are
        // destroyed on the test's thread (QThread::wait() orders it too, but
        // through locks a race detector cannot see).
        connect(
            thread, &QThread::finished, thread,
            [this] { threadsFinished.fetch_add(1, std::memory_order_release); }, Qt::DirectConnection);
    }
    reader.moveToThread(&readerThread);
    video.moveToThread(&videoThread);
    audio.moveToThread(&audioThread);
    readerThread.start();
    videoThread.start();
    audioThread.start();
}

EngineRig::~EngineRig()
{
    close();
    for (QThread* thread : {&readerThread, &videoThread, &audioThread}) {
        thread->quit();
        thread->wait();
    }
    threadsFinished.load(std::memory_order_acquire);
}

MediaManager::Status EngineRig::readerStatus() const
{
    return readerStatuses.isEmpty() ? MediaManager::Unloaded : readerStatuses.last();
}

VideoManager::Status EngineRig::videoStatus() const
{
    return videoStatuses.isEmpty() ? VideoManager::Unloaded : videoStatuses.last();
}

AudioManager::Status EngineRig::audioStatus() const
{
    return audioStatuses.isEmpty() ? AudioManager::Unloaded : audioStatuses.last();
}

bool EngineRig::waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    return QTest::qWaitFor(condition, timeoutMs);
}

bool EngineRig::open(const QString& path, bool decode, qint64 cacheSize, float trailingPct)
{
    close();
    // Reports still queued from an earlier media must not count for this one.
    QCoreApplication::processEvents();
    readerStatuses.clear();
    readerErrors.clear();
    videoStatuses.clear();
    videoErrors.clear();
    audioStatuses.clear();
    audioErrors.clear();
    // A seek an unload cut short is never reported.
    seeksAsked = seeksReported = 0;
    media = std::make_unique<MediaSource>(path);
    MediaSource* src = media.get();
    QMetaObject::invokeMethod(&reader, "load", Qt::QueuedConnection, Q_ARG(MediaSource*, src));
    if (!waitFor([this] {
            return readerStatuses.contains(MediaManager::Loaded) ||
                   readerStatuses.contains(MediaManager::LoadFailed);
        }))
        return false;
    // The reader published the stream fields before it reported Loaded.
    src->synchronise();
    if (!readerStatuses.contains(MediaManager::Loaded))
        return false;
    if (!decode)
        return true;
    if (src->videoWidth > 0) {
        const auto format = AVPixelFormat(src->videoStream->codecpar->format);
        src->videoCache.configure(
            cacheSize, VideoFrame::storedBytes(format, src->videoWidth, src->videoHeight), trailingPct);
    }
    QMetaObject::invokeMethod(&video, "changeMediaSource", Qt::QueuedConnection, Q_ARG(MediaSource*, src));
    QMetaObject::invokeMethod(&audio, "changeMediaSource", Qt::QueuedConnection, Q_ARG(MediaSource*, src));
    return waitFor([this] {
        const bool videoDone = videoStatuses.contains(VideoManager::Ready) ||
                               videoStatuses.contains(VideoManager::NoVideo) || !videoErrors.isEmpty();
        const bool audioDone =
            audioStatuses.contains(AudioManager::Started) || audioStatuses.contains(AudioManager::NoAudio);
        return videoDone && audioDone;
    });
}

bool EngineRig::seek(double target, SeekHistory history)
{
    if (!media)
        return false;
    // A seek after an overshoot may still be on its way (its pictures can be
    // cached before its report comes): that report must not count for this one.
    if (!waitFor([&] { return seeksReported == seeksAsked; }))
        return false;
    const int failedBefore = seekFailedCount;
    media->requestSeek(target, history);
    askReaderToSeek();
    return waitFor([&] { return seeksReported == seeksAsked; }) && seekFailedCount == failedBefore;
}

void EngineRig::askReaderToSeek()
{
    ++seeksAsked;
    QMetaObject::invokeMethod(&reader, "seek", Qt::QueuedConnection);
}

bool EngineRig::seekAndWaitForPicture(double target, SeekHistory history)
{
    if (!seek(target, history))
        return false;
    // The picture for the target is cached once the cached range reaches past it
    // (or the stream ended).
    return waitFor([&] {
        const VideoFrameCache& cache = media->videoCache;
        return cache.usedSlots() > 0 && (cache.rangeEnd() > target || cache.freeSlots() == 0);
    });
}

int EngineRig::pictureIndexAt(double time)
{
    VideoFrameCache& cache = media->videoCache;
    std::lock_guard<std::mutex> lock(cache.mutex);
    const VideoFrame* frame = cache.frameAt(time);
    return frame ? pictureIndex(*frame) : -1;
}

int EngineRig::pictureIndex(const VideoFrame& frame)
{
    FrameConverter converter(frame.width(), frame.height());
    return FrameIndex::read(converter.toImage(frame));
}

bool EngineRig::close()
{
    if (!media)
        return true;
    MediaSource* src = media.get();
    src->playing = false;
    src->abort();
    // The decoders let go first, then the reader closes the file. A blocking
    // call returns once the manager's thread has run everything queued before.
    QMetaObject::invokeMethod(&video, "stopDecoding", Qt::QueuedConnection);
    QMetaObject::invokeMethod(&audio, "stopDecoding", Qt::QueuedConnection);
    bool ok = QMetaObject::invokeMethod(
        &video, [] {}, Qt::BlockingQueuedConnection);
    ok = QMetaObject::invokeMethod(
             &audio, [] {}, Qt::BlockingQueuedConnection) &&
         ok;
    QMetaObject::invokeMethod(&reader, "unload", Qt::QueuedConnection);
    ok = QMetaObject::invokeMethod(
             &reader, [] {}, Qt::BlockingQueuedConnection) &&
         ok;
    QCoreApplication::processEvents();
    media.reset();
    return ok && reader.status() == MediaManager::Unloaded && video.status() == VideoManager::Unloaded &&
           audio.status() == AudioManager::Unloaded;
}
