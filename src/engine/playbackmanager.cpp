#include "playbackmanager.h"

#include "fileseeker.h"

extern "C" {
#include <libavutil/time.h>
}

#include <QFileInfo>
#include <QImage>
#include <QPixmap>
#include <QTransform>
#include <algorithm>
#include <cmath>

namespace {

// The container duration is reported this much short, so that the clock
// stops on the last picture rather than after it.
constexpr double ContainerEndMargin = 10e-6;
// How long a paused controller keeps looking for the frame of the clock
// after a seek or a load while the video decoder takes no packet before it
// gives up (a damaged stream may never deliver it).
constexpr int64_t FramePollLimitUs = 10 * 1000 * 1000;
// A time just inside a frame, as the window's seek times are.
constexpr double InsideFrame = 0.0001;
// How long the destructor waits for the workers before it says so; it goes
// on waiting, since deleting a manager whose thread still runs it would crash.
constexpr unsigned long WorkerStopWarningMs = 100;

} // namespace

PlaybackManager::PlaybackManager(QObject* parent)
    : QObject(parent), mediaProbe(&releaseFence), audioProbe(&releaseFence), videoProbe(&releaseFence),
      mediaStatus(mediaManager.status()), audioStatus(audioManager.status()),
      videoStatus(videoManager.status())
{
    qRegisterMetaType<PlaybackManager::State>("PlaybackManager::State");
    qRegisterMetaType<PlaybackManager::Status>("PlaybackManager::Status");
    qRegisterMetaType<PlaybackManager::Error>("PlaybackManager::Error");
    qRegisterMetaType<MediaSource*>("MediaSource*");

    mediaThread.setObjectName(QStringLiteral("orvel reader"));
    audioThread.setObjectName(QStringLiteral("orvel audio"));
    videoThread.setObjectName(QStringLiteral("orvel video"));
    for (QThread* thread : {&mediaThread, &audioThread, &videoThread}) {
        // Runs on the worker as its last act: orders everything it did before
        // the destructor, which deletes the managers once the threads are done.
        connect(
            thread, &QThread::finished, thread,
            [this] { releaseFence.fetch_add(1, std::memory_order_release); }, Qt::DirectConnection);
    }

    connect(this, &PlaybackManager::mediaSourceChanged, &mediaManager, &MediaManager::load);
    connect(this, &PlaybackManager::seekRequested, &mediaManager, &MediaManager::seek);
    connect(this, &PlaybackManager::unloadMedia, &mediaManager, &MediaManager::unload);
    connect(&mediaManager, &MediaManager::error, this, &PlaybackManager::onMediaError);
    connect(&mediaManager, &MediaManager::statusChanged, this, &PlaybackManager::onMediaStatusUpdate);
    connect(&mediaProbe, &WorkerProbe::confirmed, this, &PlaybackManager::onReaderReleased);
    mediaManager.moveToThread(&mediaThread);
    mediaProbe.moveToThread(&mediaThread);
    mediaThread.start();

    connect(this, &PlaybackManager::mediaSourceLoaded, &audioManager, &AudioManager::changeMediaSource);
    connect(this, &PlaybackManager::unloadAudioVideo, &audioManager, &AudioManager::stopDecoding);
    connect(&audioManager, &AudioManager::error, this, &PlaybackManager::onAudioError);
    connect(&audioManager, &AudioManager::statusChanged, this, &PlaybackManager::onAudioStatusUpdate);
    connect(&audioProbe, &WorkerProbe::confirmed, this, &PlaybackManager::onDecoderReleased);
    audioManager.moveToThread(&audioThread);
    audioProbe.moveToThread(&audioThread);
    audioThread.start();
    QMetaObject::invokeMethod(&audioManager, &AudioManager::prepareEngine, Qt::QueuedConnection);

    connect(this, &PlaybackManager::mediaSourceLoaded, &videoManager, &VideoManager::changeMediaSource);
    connect(this, &PlaybackManager::unloadAudioVideo, &videoManager, &VideoManager::stopDecoding);
    connect(&videoManager, &VideoManager::error, this, &PlaybackManager::onVideoError);
    connect(&videoManager, &VideoManager::statusChanged, this, &PlaybackManager::onVideoStatusUpdate);
    connect(&videoManager, &VideoManager::seekOvershot, this, &PlaybackManager::onSeekOvershot);
    connect(&videoProbe, &WorkerProbe::confirmed, this, &PlaybackManager::onDecoderReleased);
    videoManager.moveToThread(&videoThread);
    videoProbe.moveToThread(&videoThread);
    videoThread.start();

    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &PlaybackManager::clockTick);

    framePoll.setTimerType(Qt::PreciseTimer);
    framePoll.setInterval(1);
    connect(&framePoll, &QTimer::timeout, this, &PlaybackManager::pollForFrame);

    prerollPoll.setTimerType(Qt::PreciseTimer);
    prerollPoll.setInterval(2);
    connect(&prerollPoll, &QTimer::timeout, this, &PlaybackManager::continuePreroll);

    reverseTimer.setTimerType(Qt::PreciseTimer);
    reverseTimer.setInterval(1);
    connect(&reverseTimer, &QTimer::timeout, this, &PlaybackManager::showPreviousFrame);
}

PlaybackManager::~PlaybackManager()
{
    setStatus(Unknown);
    stopClockTimer();
    framePoll.stop();
    stopPreroll();
    reverseTimer.stop();
    if (mediaSource) {
        // Every worker loop sees the flag within milliseconds; emptying the
        // queues and caches frees anyone waiting for a place in them.
        mediaSource->setPlaying(false);
        mediaSource->abort();
        mediaSource->audioPackets.clear();
        mediaSource->videoPackets.clear();
        mediaSource->audioCache.clear();
        mediaSource->videoCache.reset();
    }
    QThread* threads[] = {&mediaThread, &audioThread, &videoThread};
    for (QThread* thread : threads)
        thread->quit();
    for (QThread* thread : threads) {
        if (!thread->wait(WorkerStopWarningMs)) {
            qWarning("PlaybackManager: waiting for the %s thread to stop", qPrintable(thread->objectName()));
            thread->wait();
        }
    }
    releaseFence.load(std::memory_order_acquire);
    // The managers are destroyed next, on this thread; what they still report
    // while they let go must not reach a half-destroyed controller.
    QObject::disconnect(&mediaManager, nullptr, this, nullptr);
    QObject::disconnect(&audioManager, nullptr, this, nullptr);
    QObject::disconnect(&videoManager, nullptr, this, nullptr);
    for (WorkerProbe* probe : {&mediaProbe, &audioProbe, &videoProbe})
        QObject::disconnect(probe, nullptr, this, nullptr);
}

QStringList PlaybackManager::supportedSuffixes()
{
    // What cameras, broadcasters and archives hand over besides the usual
    // files: transport streams (ts, m2ts, mts), MXF, 3GP, Ogg, elementary
    // MPEG video, DVD programs, DV, YUV4MPEG and NUT.
    return {QStringLiteral("3gp"),  QStringLiteral("avi"), QStringLiteral("dv"),   QStringLiteral("flv"),
            QStringLiteral("m2ts"), QStringLiteral("m2v"), QStringLiteral("m4v"),  QStringLiteral("mkv"),
            QStringLiteral("mov"),  QStringLiteral("mp4"), QStringLiteral("mpeg"), QStringLiteral("mpeg4"),
            QStringLiteral("mpg"),  QStringLiteral("mts"), QStringLiteral("mxf"),  QStringLiteral("nut"),
            QStringLiteral("ogv"),  QStringLiteral("ts"),  QStringLiteral("vob"),  QStringLiteral("webm"),
            QStringLiteral("wmv"),  QStringLiteral("y4m")};
}

// ---------------------------------------------------------------------------
// State, status and errors

void PlaybackManager::setState(State state)
{
    if (currentState == state)
        return;
    currentState = state;
    emit stateChanged(state);
}

void PlaybackManager::setStatus(Status status)
{
    if (currentStatus == status)
        return;
    currentStatus = status;
    emit statusChanged(status);
}

void PlaybackManager::raiseError(Error error, const QString& text)
{
    if (currentError != error) {
        currentError = error;
        emit this->error(error, text);
    }
    currentError = NoError;
}

void PlaybackManager::freezeClock()
{
    if (currentState == Paused)
        return;
    if (reverse.active()) {
        stopBackward();
    } else if (mediaSource) {
        // Take the time that passed since the last tick before the clock stops.
        mediaSource->playbackTime(true);
        mediaSource->setPlaying(false);
    }
    stopClockTimer();
    stopPreroll();
    setState(Paused);
}

// ---------------------------------------------------------------------------
// Loading

QString PlaybackManager::refusalOf(const QString& filename)
{
    const QFileInfo info(filename);
    if (!info.exists() || !info.isFile())
        return QStringLiteral("Invalid filename: %1").arg(filename);
    if (!supportedSuffixes().contains(info.suffix(), Qt::CaseInsensitive))
        return QStringLiteral("Unsupported format: %1").arg(info.suffix());
    return QString();
}

bool PlaybackManager::setMedia(const QString& filename, int64_t cacheSize, float trailingCachePct)
{
    // A refused file leaves what is loaded playing.
    const QString refusal = refusalOf(filename);
    if (!refusal.isEmpty()) {
        raiseError(ResourceError, refusal);
        return false;
    }
    cacheBytes = cacheSize;
    trailingPct = trailingCachePct;
    if (currentState == Stopped && currentStatus == NoMedia && !mediaSource) {
        pendingFilename.clear();
        loadFile(filename);
    } else {
        // The file replaces what is loaded or loading: it is opened as soon
        // as the current media has been let go of.
        pendingFilename = filename;
        if (currentStatus != Unloading)
            stop();
    }
    return true;
}

void PlaybackManager::loadFile(const QString& filename)
{
    mediaSource = std::make_unique<MediaSource>(filename);
    mediaSource->seekTargetStored = [this](const VideoFrame& target) {
        if (FramePreparer* preparer = targetPreparer.load())
            preparer->prepareNow(target);
        QMetaObject::invokeMethod(this, &PlaybackManager::onSeekTargetStored, Qt::QueuedConnection);
    };
    mediaSource->volume = volumePercent / 100.0;
    mediaInfoKnown = false;
    decodersHaveMedia = false;
    audioStartFailed = false;
    audioOutputMissing = false;
    decodersReleasing = 0;
    readerReleasing = false;
    duration = 0.0;
    frameCount = 0;
    lastFrameShown = -1;
    pendingSeek = ReaderSeek();
    lastSeek = ReaderSeek();
    audioScrubDuration = 0.0;
    setStatus(Loading);
    emit mediaSourceChanged(mediaSource.get());
}

void PlaybackManager::onMediaStatusUpdate(MediaManager::Status status)
{
    mediaStatus = status;
    if (status == MediaManager::Seeked)
        fillInFlight = false;
    if (status == MediaManager::Seeked && currentStatus == Seeking) {
        // Only the reader's report of the seek ends it: the decoders' reports
        // that arrive meanwhile belong to the seek still in flight.
        finishSeek();
        return;
    }
    onManagerStatus();
}

void PlaybackManager::onAudioStatusUpdate(AudioManager::Status status)
{
    audioStatus = status;
    onManagerStatus();
}

void PlaybackManager::onVideoStatusUpdate(VideoManager::Status status)
{
    videoStatus = status;
    if (status == VideoManager::EndOfStream)
        correctFrameCount();
    onManagerStatus();
}

// While loading and while ready the controller acts on every report of the
// three managers. A seek ends with the reader's Seeked report (or its
// failure) and an unload with the workers' confirmations, so reports during
// Seeking and Unloading need nothing more than being stored.
void PlaybackManager::onManagerStatus()
{
    switch (currentStatus) {
    case Loading:
        checkLoading();
        break;
    case Ready:
        checkReadiness();
        break;
    default:
        break;
    }
}

bool PlaybackManager::audioSettled() const
{
    return audioStatus == AudioManager::NoAudio || (audioStartFailed && audioStatus == AudioManager::Loaded);
}

// The media has sound, but there is no output to play it on (no sound card,
// or the device refused the stream): the clock runs without it, so that a
// clip without pictures still plays, silently, to its end.
bool PlaybackManager::audioSilent() const
{
    if (!hasAudio())
        return false;
    return (audioOutputMissing && audioStatus == AudioManager::NoAudio) ||
           (audioStartFailed && audioStatus == AudioManager::Loaded);
}

bool PlaybackManager::decodersReady(bool acceptEndOfStream) const
{
    const bool audioPlays = audioStatus == AudioManager::Started || audioSilent();
    const bool audioNone = audioSettled();
    const bool videoNone = videoStatus == VideoManager::NoVideo;
    const bool videoReady =
        acceptEndOfStream ? videoStatus >= VideoManager::Ready : videoStatus == VideoManager::Ready;
    return (audioPlays && videoNone) || (audioNone && videoReady) || (audioPlays && videoReady);
}

void PlaybackManager::checkLoading()
{
    if (!mediaSource)
        return;
    if (!decodersHaveMedia) {
        const bool opened = mediaStatus == MediaManager::Loaded || mediaStatus == MediaManager::Reading ||
                            mediaStatus == MediaManager::EndOfFile;
        if (!opened)
            return;
        // The reader has opened the file: its stream fields are final.
        mediaSource->synchronise();
        mediaInfoKnown = true;
        computeDuration();
        setCacheSize(cacheBytes, trailingPct);
        mediaSource->volume = volumeGain(volumePercent);
        decodersHaveMedia = true;
        // The decoders start at once; listeners on this thread may resize the
        // view, which the converter is then set up for.
        emit mediaSourceLoaded(mediaSource.get());
        if (hasVideo())
            startFramePreparer();
        return;
    }
    // A video stream that reaches its end during the prefill is as ready as
    // one that does not.
    if (decodersReady(true)) {
        setStatus(Loaded);
        freezeClock();
        setClock(0.0);
        updatePlaybackTime();
        setStatus(Ready);
        return;
    }
    if (audioSettled() && videoStatus == VideoManager::NoVideo) {
        raiseError(MediaError, QStringLiteral("No audio/video streams found."));
        setStatus(InvalidMedia);
    }
}

// The converter is set up while the decoders fill their caches: the first
// picture is then shown as soon as it is decoded.
void PlaybackManager::startFramePreparer()
{
    const int width = mediaSource->videoWidth;
    const int height = mediaSource->videoHeight;
    framePreparer = std::make_unique<FramePreparer>(width, height);
    targetPreparer = framePreparer.get();
    const AVCodecParameters* parameters = mediaSource->videoStream->codecpar;
    const auto decoded = AVPixelFormat(parameters->format);
    const AVPixelFormat stored = VideoFrame::storedFormat(decoded, width, height);
    // Pictures kept as RGB are scaled by Qt, which has nothing to set up.
    if (videoViewer && decoded != AV_PIX_FMT_NONE && stored == decoded)
        framePreparer->warmUp(decoded, parameters, videoViewer->wantedPictureSize(framePreparer->fileSize()));
}

// With video, the duration is a whole number of frames: the count the
// container promises until the decoder has met the end of the stream, which
// corrects it (correctFrameCount).
void PlaybackManager::computeDuration()
{
    duration = 0.0;
    frameCount = 0;
    const AVStream* video = mediaSource->videoStreamIndex >= 0 ? mediaSource->videoStream : nullptr;
    const double rate = mediaSource->frameRate;
    if (video && rate > 0.0 && video->nb_frames > 0) {
        // A cut kept with an edit list holds more samples than it shows: the
        // frame count counts only where the stream's own duration agrees.
        double own = 0.0;
        if (video->duration != AV_NOPTS_VALUE && video->duration > 0)
            own = double(video->duration) * av_q2d(video->time_base);
        if (own <= 0.0 || std::abs(double(video->nb_frames) / rate - own) <= 1.0 / rate + 1e-9)
            setFrameCount(video->nb_frames);
        else
            setFrameCount(std::llround(own * rate));
        return;
    }
    // The container's end, in media time (the clip may not start at 0).
    if (video && rate > 0.0 && mediaSource->endTime > 0.0) {
        setFrameCount(std::llround(mediaSource->endTime * rate));
        return;
    }
    if (mediaSource->endTime > 0.0) {
        duration = mediaSource->endTime - ContainerEndMargin;
        return;
    }
    const AVFormatContext* context = mediaSource->formatContext.get();
    if (context && context->duration != AV_NOPTS_VALUE && context->duration > 0)
        duration = double(context->duration - 10) / 1e6;
}

void PlaybackManager::setFrameCount(int64_t count)
{
    frameCount = std::clamp<int64_t>(count, 1, INT32_MAX);
    duration = double(frameCount) / mediaSource->frameRate - EndMargin;
}

// Where the clock rests at the end: inside the last frame as the window's
// seek times are, so that a later picture, should the frame count still be
// short, lies further away than the lookup tolerance.
double PlaybackManager::lastTime() const
{
    if (frameCount > 0)
        return double(frameCount - 1) / mediaSource->frameRate + InsideFrame;
    return duration - EndMargin;
}

// The decoder has met the end of the video: its last picture is the last
// frame, whatever the container promised. A clock or a seek target past it
// moves to the last picture, which may still have to be decoded: pictures
// that far behind a target are not kept.
void PlaybackManager::correctFrameCount()
{
    if (!mediaSource || !hasVideo() || !(mediaSource->frameRate > 0.0))
        return;
    const double end = mediaSource->videoEnd.load();
    if (!(end > 0.0))
        return;
    const double before = duration;
    setFrameCount(std::llround(end * mediaSource->frameRate));
    if (duration == before || currentStatus == Loading)
        return;
    emit durationChanged(duration);
    if (!mediaSource)
        return;
    const double last = lastTime();
    if (currentStatus == Seeking) {
        const double target = pendingSeek.time >= 0.0 ? pendingSeek.time : mediaSource->seekTarget.load();
        if (target >= duration)
            pendingSeek.time = last;
    } else if (currentStatus == Ready && currentState == Paused &&
               mediaSource->playbackTime(false) >= duration) {
        seek(last, audioScrubDuration, false);
    }
}

// ---------------------------------------------------------------------------
// Readiness and the frame for the clock

void PlaybackManager::checkReadiness()
{
    if (!mediaSource || !decodersReady(true))
        return;
    refreshAtClock();
    if (currentState != Playing)
        armAudioBurst();
}

void PlaybackManager::refreshAtClock()
{
    setClock(mediaSource->playbackTime(true));
    updatePlaybackTime();
}

void PlaybackManager::setClock(double time)
{
    // Set where it stands (a refresh), the clock has passed over nothing: the
    // frames it passed over while the GUI thread was held up are still due.
    if (time != mediaSource->playbackTime(false))
        lateFrames.forget();
    mediaSource->setPlaybackTime(time);
    ++clockChanges;
    clockTicks.forget();
    lookAtClockSoon();
    framePollDeadline = 0;
}

void PlaybackManager::armAudioBurst()
{
    if (!mediaSource || !mediaInfoKnown)
        return;
    const int frames = int(double(mediaSource->outputSampleRate) * audioScrubDuration);
    mediaSource->armScrubBurst(std::max(0, frames), mediaSource->scrubForward);
}

void PlaybackManager::setPlaybackTime(double playbackTime)
{
    if (!mediaSource)
        return;
    setClock(playbackTime);
    updatePlaybackTime();
}

void PlaybackManager::updatePlaybackTime()
{
    if (!mediaSource || !mediaInfoKnown)
        return;
    const double t = mediaSource->playbackTime(true);
    const double d = duration;
    const uint64_t changesBefore = clockChanges;
    if (d > 0.0 && t >= d && !clampingToEnd) {
        setStatus(EndOfMedia);
        freezeClock();
        setClock(lastTime());
        // The inner call finds the clock just before the end: it reports
        // Ready, shows the last frame and emits that time. That is all: `t`
        // lies past the last frame (a late tick can be a frame or more past
        // it), and announced it would name a frame the media does not have.
        clampingToEnd = true;
        updatePlaybackTime();
        clampingToEnd = false;
        return;
    }
    if (currentStatus == Loaded || currentStatus == Ready || currentStatus == EndOfMedia)
        setStatus(Ready);
    // A listener of that status moved the clock (a seek) and has shown and
    // announced the new time already: this call is out of date.
    if (clockChanges != changesBefore)
        return;
    // A listener may have stopped the media meanwhile.
    if (!mediaSource || currentStatus == Unloading)
        return;
    if (t >= mediaSource->stopTime) {
        mediaSource->stopTime = MediaSource::NoStopTime;
        freezeClock();
    }
    // Paused, only the frame that belongs to the clock is shown, and the time
    // is announced only once it is: what the window shows as the current frame
    // is always the frame in the picture. pollForFrame() finishes the job when
    // the frame has still to be decoded.
    const double shownTime = clockRunning && !reverse.active() ? lateFrameTime(t) : t;
    if (shownTime < 0.0)
        return;
    if (presentFrame(shownTime, false, currentState != Playing) == Presented::Waiting)
        return;
    emit playbackTimeChanged(shownTime);
}

double PlaybackManager::lateFrameTime(double clock) const
{
    return lateFrames.timeToShow(clock, mediaSource->speed.load(), frameDuration(), lookupTolerance());
}

bool PlaybackManager::frameAvailableAt(double time) const
{
    // The frame for `time` is in the cache once a later one could no longer
    // arrive: the decoder delivers pictures in time order, and the cached
    // range ends early enough to allow for rounded timestamps. A cache that
    // reaches the end of the media holds everything there is.
    const VideoFrameCache& cache = mediaSource->videoCache;
    if (cache.usedSlots() == 0)
        return false;
    const double end = cache.rangeEnd();
    return time < end || (duration > 0.0 && end + lookupTolerance() >= duration);
}

bool PlaybackManager::frameCachedAt(double time) const
{
    return frameAvailableAt(time) && mediaSource->videoCache.rangeStart() <= time + lookupTolerance() &&
           !framePassedOverAt(time);
}

// A picture the decoder passed over while it caught up with the clock (see
// VideoDecoder::worthStoring): the cache holds frames before and after
// `time`, but not the one of `time`, and never will.
bool PlaybackManager::framePassedOverAt(double time) const
{
    VideoFrameCache& cache = mediaSource->videoCache;
    std::lock_guard<std::mutex> lock(cache.mutex);
    return cache.usedSlots() > 0 && cache.rangeStart() <= time + lookupTolerance() && !cache.holds(time);
}

double PlaybackManager::lookupTolerance() const
{
    return VideoFrameCache::lookupTolerance(frameDuration());
}

bool PlaybackManager::soundCachedAt(double time) const
{
    // The decoded sound goes after a while behind the clock, and the decoder
    // never goes back for it: a step back to where it has gone needs the
    // reader, or the sound would stay silent there.
    if (audioStatus != AudioManager::Started)
        return true;
    const AudioCache& cache = mediaSource->audioCache;
    return !cache.trimmed() || cache.startTime() <= time;
}

void PlaybackManager::updateVideoFrame(bool refresh)
{
    if (mediaSource)
        presentFrame(mediaSource->playbackTime(true), refresh, currentState != Playing);
}

PlaybackManager::Presented PlaybackManager::presentFrame(double time, bool refresh, bool exactOnly)
{
    if (!videoViewer || !mediaSource || !hasVideo() || !framePreparer)
        return Presented::Shown;
    if (exactOnly && !frameAvailableAt(time)) {
        awaitFrame();
        return Presented::Waiting;
    }
    // The frame before it is no stand-in: the reader goes back for it (once,
    // should the file have no picture there).
    if (exactOnly && lastSeek.time != time && framePassedOverAt(time)) {
        seek(time, audioScrubDuration, false);
        return Presented::Waiting;
    }
    // The picture is taken out of the cache (a reference, not a copy) and
    // turned into an image once the cache is free again for the decoder;
    // so are those expected next, to be prepared meanwhile.
    VideoFrame shown(nullptr, 0.0);
    std::vector<VideoFrame> next;
    int index = -1;
    {
        VideoFrameCache& cache = mediaSource->videoCache;
        std::lock_guard<std::mutex> lock(cache.mutex);
        const VideoFrame* frame = cache.frameAt(time);
        if (!frame) {
            if (videoStatus == VideoManager::EndOfStream)
                videoViewer->setPixmap(QPixmap());
            if (!exactOnly)
                return Presented::Shown;
            awaitFrame();
            return Presented::Waiting;
        }
        // A seek by the reader may have emptied and begun refilling the cache
        // since the look at its range: the frame found must be the one for the time.
        if (exactOnly && frame->time > time + lookupTolerance()) {
            awaitFrame();
            return Presented::Waiting;
        }
        framePollDeadline = 0;
        const VideoFrame* following = cache.frame(cache.currentIndex() + 1);
        const double followingTime = following ? following->time : -1.0;
        clockTicks.setUpcomingPicture(followingTime);
        lateFrames.shown(frame->time, followingTime);
        shownColour = frame->colour;
        index = frameIndexAt(frame->time);
        if (index == lastFrameShown && !refresh)
            return Presented::Shown;
        shown.picture.reset(av_frame_clone(frame->picture.get()));
        shown.time = frame->time;
        const bool forward = !reverse.active() && (currentState == Playing || mediaSource->scrubForward);
        for (int step = 1; step <= FramePreparer::Ahead; ++step) {
            if (const VideoFrame* after = cache.frame(cache.currentIndex() + (forward ? step : -step)))
                next.emplace_back(FramePtr(av_frame_clone(after->picture.get())), after->time);
        }
    }
    // Converted at the size the viewer shows it at.
    const QSize size = videoViewer->wantedPictureSize(framePreparer->fileSize());
    QImage image = framePreparer->image(shown, size);
    for (const VideoFrame& frame : next)
        framePreparer->prepare(frame, size);
    if (image.isNull())
        return Presented::Shown;
    // The viewer mirrors and rotates it.
    videoViewer->setPreparedImage(image, framePreparer->fileSize(), framePreparer->fileImage(shown, image));
    lateFrames.awaitPaint();
    // A hidden viewer paints nothing: the picture counts as shown now.
    if (!videoViewer->isVisible())
        countPictureShown();
    lastFrameShown = index;
    return Presented::Shown;
}

// The decoder, which yields the cores to the conversion and painting of a
// seek's target, goes on once the target is on screen, and so does the
// conversion of the frames expected next.
void PlaybackManager::countPictureShown()
{
    lateFrames.painted();
    if (mediaSource)
        mediaSource->picturesShown.fetch_add(1, std::memory_order_relaxed);
    if (framePreparer)
        framePreparer->startPreparing();
}

void PlaybackManager::clearVideoFrame()
{
    if (videoViewer)
        videoViewer->setPixmap(QPixmap());
}

void PlaybackManager::awaitFrame()
{
    // One wait per clock target: looking again for the same frame (as every
    // poll does) keeps the deadline, so that the fallback does come.
    if (framePollDeadline == 0) {
        framePollDeadline = av_gettime_relative() + FramePollLimitUs;
        framePollProgress = mediaSource ? mediaSource->videoPacketsDecoded.load() : 0;
    }
    if (!framePoll.isActive())
        framePoll.start();
}

void PlaybackManager::pollForFrame()
{
    // Playing, seeking or unloading: the timer, the end of the seek or the
    // unload shows and announces what comes next.
    const bool waiting = mediaSource && currentState == Paused && currentStatus == Ready && hasVideo();
    if (!waiting) {
        framePoll.stop();
        return;
    }
    const double t = mediaSource->playbackTime(false);
    // A decoder that is still taking packets is on its way to the frame,
    // however busy the machine: only a decoder that stalls runs out the time.
    const uint64_t progress = mediaSource->videoPacketsDecoded.load();
    if (progress != framePollProgress) {
        framePollProgress = progress;
        framePollDeadline = av_gettime_relative() + FramePollLimitUs;
    }
    if (av_gettime_relative() > framePollDeadline) {
        // The frame is not coming (a damaged stream): show the nearest one,
        // with the clock on it, so that the time announced is its time.
        framePoll.stop();
        framePollDeadline = 0;
        showNearestFrame(t);
        return;
    }
    if (!frameAvailableAt(t))
        return;
    framePoll.stop();
    updatePlaybackTime();
    armAudioBurst();
}

// Waiting for the sought picture, the controller looks at once when the
// decoder has it rather than at the next poll.
void PlaybackManager::onSeekTargetStored()
{
    if (framePoll.isActive())
        pollForFrame();
}

void PlaybackManager::showNearestFrame(double time)
{
    int index = -1;
    {
        VideoFrameCache& cache = mediaSource->videoCache;
        std::lock_guard<std::mutex> lock(cache.mutex);
        if (const VideoFrame* frame = cache.frameAt(time))
            index = std::max(0, frameIndexAt(frame->time));
    }
    if (index >= 0 && index != frameIndexAt(time))
        setClock(index / mediaSource->frameRate + InsideFrame);
    const double t = mediaSource->playbackTime(false);
    presentFrame(t, false, false);
    emit playbackTimeChanged(t);
}

int PlaybackManager::frameIndexAt(double time) const
{
    return int((time + lookupTolerance()) * mediaSource->frameRate);
}

// ---------------------------------------------------------------------------
// Playing

void PlaybackManager::play(double duration)
{
    // Forwards after backwards: from the frame on screen, once the reader
    // is back there.
    if (reverse.active())
        pause();
    if (!mediaSource || currentState == Playing || currentStatus != Ready)
        return;
    framePoll.stop();
    // Restart the clock where it stands, so that time spent paused is not counted.
    setClock(mediaSource->playbackTime(true));
    updatePlaybackTime();
    if (!mediaSource || currentStatus != Ready)
        return;
    mediaSource->stopTime =
        duration > 0.0 ? mediaSource->playbackTime(false) + duration : MediaSource::NoStopTime;
    // A sound burst plays at once; playback waits for a short lead.
    if (duration <= 0.0 && prerollNeeded()) {
        preroll.begin(av_gettime_relative());
        prerollPoll.start();
    } else {
        runClock();
    }
    setState(Playing);
}

void PlaybackManager::runClock()
{
    mediaSource->setPlaying(true);
    clockRunning = true;
    lookAtClockSoon();
}

void PlaybackManager::lookAtClockSoon()
{
    if (clockRunning)
        timer.start(1);
}

void PlaybackManager::stopClockTimer()
{
    clockRunning = false;
    timer.stop();
}

void PlaybackManager::clockTick()
{
    updatePlaybackTime();
    // A listener may have stopped the clock, or stopped and restarted it.
    if (!clockRunning || !mediaSource)
        return;
    timer.start(clockTicks.msUntilNext(mediaSource->playbackTime(true), mediaSource->speed.load(),
                                       lookupTolerance(), mediaSource->stopTime.load(), duration));
}

bool PlaybackManager::prerollNeeded() const
{
    if (!mediaSource || !hasVideo() || reverse.active())
        return false;
    const VideoFrameCache& cache = mediaSource->videoCache;
    const double lead = PlaybackPreroll::leadWanted(frameDuration(), mediaSource->speed.load(),
                                                    cache.capacity() - cache.trailing());
    return !frameAvailableAt(mediaSource->playbackTime(false) + lead);
}

void PlaybackManager::continuePreroll()
{
    if (!mediaSource || currentState != Playing || !preroll.waiting()) {
        stopPreroll();
        return;
    }
    if (prerollNeeded() && !preroll.expired(av_gettime_relative()))
        return;
    stopPreroll();
    // From where it was held: the wait is not playing time.
    setClock(mediaSource->playbackTime(false));
    runClock();
}

void PlaybackManager::stopPreroll()
{
    preroll.end();
    prerollPoll.stop();
}

void PlaybackManager::playBackward()
{
    if (!mediaSource || reverse.active() || currentStatus != Ready || !hasVideo())
        return;
    const int shown = frameIndexAt(mediaSource->playbackTime(true));
    if (shown <= 0)
        return;
    if (currentState == Playing)
        freezeClock();
    framePoll.stop();
    mediaSource->videoCache.setBackward(true);
    reverse.start(mediaSource.get(), shown, mediaSource->speed, av_gettime_relative());
    reverseTimer.start();
    setState(Playing);
}

void PlaybackManager::showPreviousFrame()
{
    if (!mediaSource || !reverse.active())
        return;
    if (!fillInFlight) {
        if (const std::optional<ReversePlayer::Fill> fill = reverse.nextFill()) {
            ReaderSeek seek;
            seek.time = fill->start;
            seek.margin = fill->margin;
            seek.fillEnd = fill->end;
            requestReaderSeek(seek);
        }
    }
    const int64_t now = av_gettime_relative();
    const int index = reverse.frameDue(now);
    if (index < 0) {
        if (reverse.atStart())
            pause();
        return;
    }
    setClock(index / mediaSource->frameRate + InsideFrame);
    const double t = mediaSource->playbackTime(false);
    presentFrame(t, false, false);
    reverse.shown(index, now);
    emit playbackTimeChanged(t);
}

void PlaybackManager::stopBackward()
{
    if (!reverse.active())
        return;
    reverseTimer.stop();
    // The reader went back for the pictures before the playhead, or the
    // cache turned backwards let go of those after it.
    readerOffClock = true;
    reverse.stop();
    if (mediaSource)
        mediaSource->videoCache.setBackward(false);
}

// After backward play the reader reads on from where the last fill began:
// sent back to the clock, it decodes forwards again from there, keeping the
// pictures before it for another step or play backwards. Silently: no sound
// was heard on the way.
void PlaybackManager::resumeReaderAtClock()
{
    if (!mediaSource || !readerOffClock)
        return;
    audioScrubDuration = 0.0;
    ReaderSeek seek;
    seek.time = mediaSource->playbackTime(false);
    seek.history = SeekHistory::Trailing;
    if (currentStatus == Seeking || fillInFlight) {
        pendingSeek = seek;
        setStatus(Seeking);
        return;
    }
    requestReaderSeek(seek);
}

void PlaybackManager::pause()
{
    if (!mediaSource || currentState == Stopped || currentState == Paused)
        return;
    if (reverse.active()) {
        freezeClock();
        resumeReaderAtClock();
        return;
    }
    freezeClock();
    // The clock may have passed into the next frame since the last tick:
    // paused, the picture and the time announced are those of the clock.
    updatePlaybackTime();
}

// ---------------------------------------------------------------------------
// Seeking

void PlaybackManager::seek(double time, double audioScrubDuration, bool clearCache)
{
    if (!mediaSource || currentState == Stopped)
        return;
    if (currentState == Playing)
        freezeClock();
    time = std::max(time, 0.0);
    if (duration > 0.0)
        time = std::min(time, lastTime());
    time = std::max(time, 0.0);
    this->audioScrubDuration = audioScrubDuration;
    const double from = mediaSource->playbackTime(true);
    mediaSource->scrubForward = time >= from;
    mediaSource->resetAudioPosition = true;

    ReaderSeek seek;
    seek.time = time;
    if (!clearCache && isStepBack(time, from))
        seek.history = SeekHistory::Trailing;
    if (currentStatus == Seeking || fillInFlight) {
        // A seek is in flight: only the latest target is kept, and it goes to
        // the reader as soon as the current one is done.
        pendingSeek = seek;
        setStatus(Seeking);
        return;
    }
    if (!clearCache && !readerOffClock && frameCachedAt(time) && soundCachedAt(time)) {
        setClock(time);
        updatePlaybackTime();
        armAudioBurst();
        return;
    }
    requestReaderSeek(seek);
}

// A step back out of the cache: the user walks backwards, so the pictures
// before the target are worth decoding in full and keeping.
bool PlaybackManager::isStepBack(double time, double from) const
{
    constexpr double StepBackReach = 1.0;
    return hasVideo() && time < from && mediaSource->videoCache.usedSlots() > 0 &&
           time >= mediaSource->cachedRangeStart() - StepBackReach;
}

void PlaybackManager::requestReaderSeek(ReaderSeek seek)
{
    pendingSeek = ReaderSeek();
    lastSeek = seek;
    framePoll.stop();
    framePollDeadline = 0;
    mediaSource->requestSeek(seek.time, seek.history, seek.margin, seek.fillEnd);
    if (seek.fillEnd >= 0.0) {
        fillInFlight = true;
    } else {
        readerOffClock = false;
        setStatus(Seeking);
    }
    emit seekRequested();
}

void PlaybackManager::onSeekOvershot(double target)
{
    // Only the seek last asked for counts: an older one is being replaced.
    if (!mediaSource || currentStatus == Unloading || target != mediaSource->seekTarget)
        return;
    // A backward fill is asked for again by the reverse player, once the
    // reader is done with it; one for a reverse play that ended is dropped.
    if (lastSeek.fillEnd >= 0.0) {
        reverse.fillOvershot();
        return;
    }
    ReaderSeek again = lastSeek;
    again.margin = std::max(FileSeeker::Margin, 2 * lastSeek.margin);
    if (currentStatus == Seeking) {
        if (pendingSeek.time < 0.0)
            pendingSeek = again;
        return;
    }
    requestReaderSeek(again);
}

void PlaybackManager::finishSeek()
{
    if (!mediaSource || currentStatus != Seeking)
        return;
    if (pendingSeek.time >= 0.0) {
        requestReaderSeek(pendingSeek);
        return;
    }
    setStatus(Ready);
    if (currentStatus != Ready)
        return;
    // The reader has set the clock to the target. The frame is shown (and
    // the audio burst armed) as soon as the decoder has it.
    updatePlaybackTime();
    if (mediaSource && currentStatus == Ready &&
        (!hasVideo() || frameAvailableAt(mediaSource->playbackTime(false))))
        armAudioBurst();
}

// ---------------------------------------------------------------------------
// Stopping and unloading

void PlaybackManager::stop()
{
    stopBackward();
    stopClockTimer();
    framePoll.stop();
    stopPreroll();
    if (mediaSource && currentStatus != Unloading) {
        setStatus(Unloading);
        mediaSource->setPlaying(false);
        mediaSource->abort();
        // The decoders let go first, then the reader. Each worker confirms
        // through a call queued behind the request, so the media is deleted
        // only when no worker can still touch it, whatever it was doing.
        decodersReleasing = 2;
        readerReleasing = false;
        emit unloadAudioVideo();
        audioProbe.request();
        videoProbe.request();
        lastFrameShown = -1;
    }
    clearVideoFrame();
    setState(Stopped);
}

void PlaybackManager::onDecoderReleased()
{
    releaseFence.load(std::memory_order_acquire);
    if (currentStatus != Unloading || decodersReleasing <= 0)
        return;
    if (--decodersReleasing > 0)
        return;
    readerReleasing = true;
    // The reader frees the codecs the decoders used: it must see their work.
    mediaProbe.handOver();
    emit unloadMedia();
    mediaProbe.request();
}

void PlaybackManager::onReaderReleased()
{
    releaseFence.load(std::memory_order_acquire);
    if (currentStatus != Unloading || !readerReleasing)
        return;
    finishUnload();
}

void PlaybackManager::finishUnload()
{
    mediaSource.reset();
    mediaStatus = MediaManager::Unloaded;
    audioStatus = AudioManager::Unloaded;
    videoStatus = VideoManager::Unloaded;
    mediaInfoKnown = false;
    decodersHaveMedia = false;
    audioStartFailed = false;
    audioOutputMissing = false;
    readerReleasing = false;
    decodersReleasing = 0;
    duration = 0.0;
    frameCount = 0;
    pendingSeek = ReaderSeek();
    lastSeek = ReaderSeek();
    fillInFlight = false;
    readerOffClock = false;
    targetPreparer = nullptr;
    framePreparer.reset();
    lastFrameShown = -1;
    setStatus(NoMedia);
    setState(Stopped);
    if (!pendingFilename.isEmpty() && currentStatus == NoMedia && !mediaSource) {
        const QString next = pendingFilename;
        pendingFilename.clear();
        loadFile(next);
    }
}

// ---------------------------------------------------------------------------
// Errors from the managers

void PlaybackManager::onMediaError(MediaManager::Error mediaError)
{
    if (mediaError == MediaManager::OpenFailed) {
        raiseError(MediaError, QStringLiteral("Failed to open media. Invalid file."));
        stop();
        return;
    }
    raiseError(UnknownError, QStringLiteral("Unknown media error."));
    // A failed seek never reports Seeked: the reader reads on from where it
    // was, and the next seek (or the one waiting) starts afresh.
    if (mediaError == MediaManager::SeekFailed && fillInFlight) {
        fillInFlight = false;
        reverse.fillFailed();
    }
    if (mediaError == MediaManager::SeekFailed && currentStatus == Seeking)
        finishSeek();
}

void PlaybackManager::onVideoError(VideoManager::Error videoError)
{
    switch (videoError) {
    case VideoManager::InitFailed:
        raiseError(ResourceError, QStringLiteral("Failed to initial video"));
        break;
    case VideoManager::OutOfMemory:
        raiseError(ResourceError,
                   QStringLiteral("Not enough memory for two pictures of %1x%2: the clip cannot be shown.")
                       .arg(videoWidth())
                       .arg(videoHeight()));
        stop();
        break;
    default:
        raiseError(UnknownError, QStringLiteral("Unknown video error."));
        break;
    }
}

void PlaybackManager::onAudioError(AudioManager::Error audioError)
{
    QString code;
    if (mediaSource)
        code = QString::number(mediaSource->audioError.exchange(0));
    const auto text = [&code](const char* message) {
        return QString::fromLatin1(message).arg(code, 0, QLatin1Char(' '));
    };
    switch (audioError) {
    case AudioManager::InitFailed:
        raiseError(ResourceError, text("Failed to initial audio engine: %1"));
        audioOutputMissing = true;
        break;
    case AudioManager::NoDevice:
        if (!noDeviceWarned)
            emit warning(QStringLiteral("No audio devices found: media plays without sound"));
        noDeviceWarned = true;
        audioOutputMissing = true;
        break;
    case AudioManager::OpenStreamFailed:
        raiseError(ResourceError, text("Failed to open audio stream: %1"));
        audioOutputMissing = true;
        break;
    case AudioManager::StartStreamFailed:
        raiseError(ResourceError, text("Failed to start audio stream: %1"));
        // The sound stays off but the decoder runs on: the media plays silently.
        if (currentStatus == Loading && decodersHaveMedia) {
            audioStartFailed = true;
            checkLoading();
        }
        break;
    case AudioManager::StopStreamFailed:
        raiseError(ResourceError, text("Failed to stop audio stream: %1"));
        break;
    case AudioManager::CloseStreamFailed:
        raiseError(ResourceError, text("Failed to close audio stream: %1"));
        break;
    case AudioManager::TerminateFailed:
        raiseError(ResourceError, text("Failed to cleanup audio engine: %1"));
        break;
    case AudioManager::UnsupportedFormat:
        raiseError(ResourceError, QStringLiteral("Unsupported audio format"));
        break;
    default:
        raiseError(UnknownError, QStringLiteral("Unknown audio error."));
        break;
    }
}

// ---------------------------------------------------------------------------
// Settings that apply to the media

void PlaybackManager::setCacheSize(int64_t cacheSize, float trailingCachePct)
{
    cacheBytes = cacheSize;
    trailingPct = trailingCachePct;
    if (!mediaSource || !mediaInfoKnown || !hasVideo())
        return;
    // The stream's own description (the codec's is the decoder thread's).
    const auto format = AVPixelFormat(mediaSource->videoStream->codecpar->format);
    const int width = mediaSource->videoWidth;
    const int height = mediaSource->videoHeight;
    const int64_t frameBytes = VideoFrame::storedBytes(format, width, height);
    // The budget is for all the pictures of the clip, not the cache's alone.
    const int64_t outside =
        VideoFrameCache::bytesHeldOutside(frameBytes, mediaSource->videoDecoderThreads, width, height);
    mediaSource->videoCache.configure(cacheSize - outside, frameBytes, trailingCachePct);
    // The cache is empty now: refill it from the clock.
    seek(mediaSource->playbackTime(false), 0.0, false);
}

void PlaybackManager::setVolume(int volume)
{
    volume = std::clamp(volume, 0, MaximumVolume);
    if (volume == volumePercent)
        return;
    volumePercent = volume;
    if (mediaSource)
        mediaSource->volume = volumeGain(volume);
}

double PlaybackManager::volumeGain(int volume)
{
    // Up to 100 the gain follows the percentage; above, the samples are
    // amplified up to twice their amplitude (+6 dB) at 150, and the output
    // clips at full scale.
    volume = std::clamp(volume, 0, MaximumVolume);
    if (volume <= 100)
        return volume / 100.0;
    return 1.0 + (volume - 100) / double(MaximumVolume - 100);
}

void PlaybackManager::setSpeedMultiplier(double multiplier)
{
    if (!mediaSource || !(multiplier > 0.0) || !std::isfinite(multiplier))
        return;
    // The time that passed at the old speed is counted at it.
    mediaSource->playbackTime(true);
    mediaSource->speed = multiplier;
    lookAtClockSoon();
    if (reverse.active())
        reverse.setSpeed(multiplier, av_gettime_relative());
    // The sound for the new speed is prepared at once, before play starts.
    mediaSource->audioCache.wake();
}

double PlaybackManager::speedMultiplier() const
{
    return mediaSource ? mediaSource->speed.load() : 1.0;
}

void PlaybackManager::setFlip(bool horizontal, bool vertical)
{
    mirrorHorizontal = horizontal;
    mirrorVertical = vertical;
    if (videoViewer)
        videoViewer->setFlip(horizontal, vertical);
}

void PlaybackManager::setRotation(int degrees)
{
    rotationDegrees = degrees % 360;
    if (videoViewer)
        videoViewer->setRotation(rotationDegrees);
}

void PlaybackManager::setViewer(SoftwareViewer* viewer)
{
    if (videoViewer)
        disconnect(videoViewer, &SoftwareViewer::picturePainted, this, &PlaybackManager::countPictureShown);
    videoViewer = viewer;
    if (videoViewer) {
        videoViewer->setFlip(mirrorHorizontal, mirrorVertical);
        videoViewer->setRotation(rotationDegrees);
        connect(videoViewer, &SoftwareViewer::picturePainted, this, &PlaybackManager::countPictureShown);
    }
}

// ---------------------------------------------------------------------------
// Accessors

double PlaybackManager::playbackTime() const
{
    return mediaSource ? mediaSource->playbackTime(true) : 0.0;
}

bool PlaybackManager::hasVideo() const
{
    return mediaSource && mediaInfoKnown && mediaSource->videoStreamIndex >= 0;
}

bool PlaybackManager::hasAudio() const
{
    return mediaSource && mediaInfoKnown && mediaSource->audioStreamIndex >= 0;
}

double PlaybackManager::frameRate() const
{
    return hasVideo() && mediaSource->frameRate > 0.0 ? mediaSource->frameRate : 0.0;
}

double PlaybackManager::frameDuration() const
{
    const double rate = frameRate();
    return rate > 0.0 ? 1.0 / rate : 0.0;
}

int PlaybackManager::videoWidth() const
{
    return hasVideo() ? mediaSource->videoWidth : -1;
}

int PlaybackManager::videoHeight() const
{
    return hasVideo() ? mediaSource->videoHeight : -1;
}

QString PlaybackManager::mediaFilename() const
{
    return mediaSource ? mediaSource->filename() : QString();
}

double PlaybackManager::cachedRangeStart() const
{
    return mediaSource ? mediaSource->cachedRangeStart() : 0.0;
}

double PlaybackManager::cachedRangeEnd() const
{
    return mediaSource ? mediaSource->cachedRangeEnd() : 0.0;
}

int PlaybackManager::cachedFrameCount() const
{
    return mediaSource ? mediaSource->videoCache.usedSlots() : 0;
}

int PlaybackManager::videoCacheBytes() const
{
    return mediaSource ? int(mediaSource->videoCache.byteTotal()) : 0;
}

MediaDescription PlaybackManager::mediaDescription() const
{
    if (!mediaSource || !mediaInfoKnown)
        return {};
    MediaDescription description = mediaSource->description;
    if (lastFrameShown >= 0)
        description.colour = shownColour;
    return description;
}

double PlaybackManager::startTime() const
{
    return mediaSource && mediaInfoKnown ? mediaSource->timeOffset : 0.0;
}

int PlaybackManager::audioCacheSamples() const
{
    return mediaSource ? mediaSource->audioCache.totalSamples() : 0;
}
