// The window's side of playback: frame seeks, the per-tick handling of the
// clock with the playback range and looping, play/pause, stepping, the speed
// ladder, the reactions to the controller's state, status and errors, mouse
// scrubbing on the video and the deferred close.
#include "appsettings.h"
#include "bookmarksfilesaver.h"
#include "consolewindow.h"
#include "mediainfodialog.h"
#include "playbackcontrolwidget.h"
#include "player.h"
#include "programinfo.h"
#include "rangetimelinewidget.h"
#include "softwareviewer.h"
#include "timelinewidget.h"
#include "videoframecache.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QInputDialog>
#include <QMouseEvent>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <cmath>
#include <limits>

namespace {

constexpr double minimumSpeed = 0.1;
constexpr double maximumSpeed = 4.0;
constexpr int statsInterval = 500; // milliseconds

} // namespace

int Player::currentFrame() const
{
    return frameAtTime(playbackManager->playbackTime());
}

// The number of the frame whose picture is shown at `time`. The cache finds
// a picture a little before its timestamp (timestamps can be rounded), and
// the number changes with the picture, in the same paint of the window.
int Player::frameAtTime(double time) const
{
    return int((time + VideoFrameCache::lookupTolerance(frameDuration)) * fps + 1);
}

int Player::lastFrame() const
{
    return int(playbackManager->mediaDuration() * fps + 1);
}

int Player::rangeStart() const
{
    return timeline->rangeStart();
}

int Player::rangeEnd() const
{
    return timeline->rangeEnd();
}

double Player::seekTimeOfFrame(int frame) const
{
    return (frame - 1) * frameDuration + 0.0001;
}

bool Player::isMediaLoaded() const
{
    return playbackManager->state() != PlaybackManager::Stopped;
}

void Player::seekToFrameTime(int frame, double audioScrubDuration)
{
    playbackManager->seek(seekTimeOfFrame(frame), audioScrubDuration, false);
}

void Player::setTimelinesFrame(int frame)
{
    timeline->setFrame(frame);
    rangeTimeline->setFrame(frame);
}

void Player::setTimelinesRange(int start, int end)
{
    timeline->setRange(start, end);
    rangeTimeline->setRange(start, end);
}

void Player::updateTimelinesCachedRange()
{
    const int start = int(playbackManager->cachedRangeStart() * fps + 1);
    const int end = int(playbackManager->cachedRangeEnd() * fps + 1);
    timeline->setCachedRange(start, end);
    rangeTimeline->setCachedRange(start, end);
}

void Player::setCurrentFrame(int frame, bool audioScrub, bool clearCache, bool skipPlayWhenReady)
{
    // Playback goes on after a seek inside the range when it was going on, or
    // about to resume after a seek still in flight.
    const bool resumePending = playWhenReady;
    const bool mayContinue = appSettings().continuePlayingAfterSeek && !skipPlayWhenReady &&
                             frame >= rangeStart() && frame <= rangeEnd();
    const double scrubDuration = audioScrub && appSettings().audioScrub ? frameDuration : 0.0;
    const int last = lastFrame();
    frame = qBound(1, frame, qMax(last, 1));
    if (frame == currentFrame() && !clearCache && !resumePending)
        return;
    const bool backward = playbackManager->playingBackward() || (resumePending && playBackwardPending);
    // This seek replaces the request of an earlier one.
    playWhenReady = false;
    playBackwardPending = false;
    setTimelinesFrame(frame);
    const bool playing = playbackManager->state() == PlaybackManager::Playing || resumePending;
    if (playing && mayContinue) {
        if (QApplication::mouseButtons() == Qt::LeftButton) {
            resumeAfterScrub = true;
        } else if (backward ? frame > 1 : frame < last) {
            playWhenReady = true;
        } else if (appSettings().loop) {
            playWhenReady = true;
            frame = backward ? last : 1;
        }
        playBackwardPending = playWhenReady && backward;
    }
    requestedFrame = frame;
    playbackManager->seek(seekTimeOfFrame(frame), scrubDuration, clearCache);
    playIfReady();
}

// Playback resumes from the frame on screen: a request to play is honoured
// once the seek is done and its frame shown. A seek that finds its frame in
// the cache has done both before it returns, and changes no status.
void Player::playIfReady()
{
    if (playWhenReady && playbackManager->status() == PlaybackManager::Ready &&
        lastShownFrame == currentFrame()) {
        playWhenReady = false;
        if (playBackwardPending)
            playBackward();
        else
            play();
    }
}

void Player::setCurrentFrameRelative(int frame)
{
    // A remote client may send any int: the sum is kept within int, where
    // setCurrentFrame bounds it to the clip.
    const qint64 target = qint64(frame) + rangeStart() - 1;
    setCurrentFrame(
        int(qBound<qint64>(std::numeric_limits<int>::min(), target, std::numeric_limits<int>::max())));
}

void Player::setPlaybackTime(double playbackTime)
{
    const int frame = frameAtTime(playbackTime);
    const bool backward = playbackManager->playingBackward();
    if (frame > rangeEnd() && playbackManager->state() == PlaybackManager::Playing && !backward) {
        // A late tick has passed the range end: playback loops or stops on
        // the range's last frame all the same, and never names a frame past it.
        if (appSettings().loop)
            playFromRangeStart();
        else
            stopOnRangeEnd();
        return;
    }
    const bool frameChanged = frame != lastShownFrame;
    if (frameChanged) {
        setTimelinesFrame(frame);
        lastShownFrame = frame;
        updateWindowTitle(frame);
    }
    if (playbackManager->state() != PlaybackManager::Playing) {
        // Paused, the time is announced once its frame is shown. Queued: the
        // controller is still announcing.
        if (playWhenReady)
            QMetaObject::invokeMethod(this, &Player::playIfReady, Qt::QueuedConnection);
        return;
    }

    if (backward) {
        continueBackward(frame);
    } else if (frame < rangeEnd()) {
        if (frame < rangeStart())
            playFromRangeStart();
    } else if (appSettings().loop) {
        // Paint the range's last frame now and keep it up for a moment, so
        // that it is seen before the loop starts over.
        repaint();
        QThread::msleep(static_cast<unsigned long>(frameDuration * 400));
        playFromRangeStart();
    } else {
        stopOnRangeEnd();
    }

    const double speed = playbackManager->speedMultiplier();
    timeline->setSpeed(speed);
    if (speed != 1.0 || lastSpeed == 1.0) {
        const qint64 elapsed = fpsTimer.elapsed();
        if (elapsed > 999) {
            const double measured = std::abs(frame - fpsStartFrame) / double(elapsed) * 1000.0;
            timeline->setPlaybackRate(measured);
            fpsStartFrame = frame;
            fpsTimer.restart();
        }
    } else {
        timeline->setPlaybackRate(fps);
        fpsStartFrame = frame;
        fpsTimer.restart();
    }
    lastSpeed = speed;

    // With the frame, so that the timelines are painted once a frame, in
    // the same paint as the picture: the cache's ends move at their own times.
    if (frameChanged)
        updateTimelinesCachedRange();
}

void Player::playFromRangeStart()
{
    seekToFrameTime(rangeStart());
    playWhenReady = playbackManager->status() != PlaybackManager::Ready;
    playbackManager->play(-1);
}

// Backwards, the range start ends the play or loops it from the range end.
void Player::continueBackward(int frame)
{
    if (frame > rangeStart())
        return;
    if (appSettings().loop) {
        playBackwardFromRangeEnd();
        return;
    }
    pause();
    if (frame < rangeStart())
        seekToFrameTime(rangeStart());
}

void Player::playBackwardFromRangeEnd()
{
    seekToFrameTime(rangeEnd());
    playWhenReady = true;
    playBackwardPending = true;
    playIfReady();
}

void Player::playBackward()
{
    if (playbackManager->state() == PlaybackManager::Stopped || playbackManager->playingBackward())
        return;
    if (playbackManager->status() == PlaybackManager::Seeking) {
        // The frame is on its way: playback starts once it is shown.
        playWhenReady = true;
        playBackwardPending = true;
        return;
    }
    playWhenReady = false;
    playBackwardPending = false;
    if (currentFrame() <= rangeStart() || currentFrame() > rangeEnd())
        playBackwardFromRangeEnd();
    else
        playbackManager->playBackward();
}

// Playing backward, or about to once the frame sought is shown.
bool Player::goingBackward() const
{
    return playbackManager->playingBackward() || (playWhenReady && playBackwardPending);
}

void Player::togglePlayBackward()
{
    if (goingBackward())
        pause();
    else
        playBackward();
}

void Player::playForward()
{
    if (playbackManager->state() == PlaybackManager::Playing || playWhenReady)
        pause();
    else
        play();
}

void Player::play()
{
    if (playbackManager->playingBackward())
        pause();
    if (playbackManager->state() != PlaybackManager::Paused)
        return;
    if (playbackManager->status() == PlaybackManager::Seeking) {
        // The frame is on its way: playback starts once it is shown.
        playWhenReady = true;
        return;
    }
    playWhenReady = false;
    playBackwardPending = false;
    if (currentFrame() >= rangeEnd())
        playFromRangeStart();
    else
        playbackManager->play(-1);
}

void Player::pause()
{
    playWhenReady = false;
    playBackwardPending = false;
    resumeAfterScrub = false;
    playbackManager->pause();
}

void Player::stopOnRangeEnd()
{
    // A pause would show the frame of the clock, which may already have
    // passed the range end since the last tick: the seek stops the clock and
    // shows the range's last frame without naming one past it.
    playWhenReady = false;
    resumeAfterScrub = false;
    seekToFrameTime(rangeEnd());
}

void Player::stop()
{
    if (mediaInfoDialog)
        mediaInfoDialog->hide();
    playbackManager->stop();
}

void Player::stepForward()
{
    int target = currentFrame() + 1;
    if (appSettings().loopOnStep && (target < rangeStart() || target > rangeEnd()))
        target = rangeStart();
    setCurrentFrame(target, true, false, true);
}

void Player::stepBackward()
{
    int target = currentFrame() - 1;
    if (appSettings().loopOnStep && (target < rangeStart() || target > rangeEnd()))
        target = rangeEnd();
    setCurrentFrame(target, true, false, true);
}

void Player::seekStart()
{
    setCurrentFrame(1);
}

void Player::seekEnd()
{
    setCurrentFrame(lastFrame(), false, false, true);
}

void Player::seekRangeStart()
{
    setCurrentFrame(rangeStart());
}

void Player::seekRangeEnd()
{
    setCurrentFrame(rangeEnd(), false, false, true);
}

void Player::cacheFromCurrent()
{
    setCurrentFrame(currentFrame(), false, true, false);
}

void Player::setFrameRange(int startFrame, int endFrame)
{
    showFrameRange(startFrame, endFrame);
    bookmarks.clearCurrentRange();
}

void Player::showFrameRange(int startFrame, int endFrame)
{
    const int last = lastFrame();
    const int start = qMin(startFrame > 0 ? startFrame : 1, last);
    const int end = qMax(qMin(endFrame, last), start);
    setTimelinesRange(start, end);
}

void Player::resetFrameRange()
{
    setFrameRange(1, lastFrame());
}

void Player::setRangeStart(int startFrame)
{
    setFrameRange(startFrame, rangeEnd());
}

void Player::setRangeEnd(int endFrame)
{
    setFrameRange(rangeStart(), endFrame);
}

void Player::setStartRangeToCurrent()
{
    setFrameRange(currentFrame(), rangeEnd());
}

void Player::setEndRangeToCurrent()
{
    setFrameRange(rangeStart(), currentFrame());
}

void Player::setSpeedMultiplier(double multiplier)
{
    playbackManager->setSpeedMultiplier(qBound(minimumSpeed, multiplier, maximumSpeed));
}

void Player::setSpeedNormal()
{
    setSpeedMultiplier(1.0);
}

void Player::setSpeedHalf()
{
    setSpeedMultiplier(0.5);
}

void Player::setSpeedQuarter()
{
    setSpeedMultiplier(0.25);
}

void Player::increaseSpeed()
{
    const double s = playbackManager->speedMultiplier();
    for (double step : {0.1, 0.25, 0.333, 0.5, 0.667, 0.75, 1.0, 1.5, 2.0}) {
        if (step > s) {
            setSpeedMultiplier(step);
            return;
        }
    }
    setSpeedMultiplier(4.0);
}

void Player::decreaseSpeed()
{
    const double s = playbackManager->speedMultiplier();
    if (s > 4.0) {
        setSpeedMultiplier(4.0);
        return;
    }
    for (double step : {2.0, 1.5, 1.0, 0.75, 0.667, 0.5, 0.333, 0.25}) {
        if (step < s) {
            setSpeedMultiplier(step);
            return;
        }
    }
    setSpeedMultiplier(0.1);
}

void Player::setCustomSpeed()
{
    if (!isMediaLoaded())
        return;
    QInputDialog dialog(this);
    dialog.setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    dialog.setWindowTitle(tr("Playback Speed"));
    dialog.setLabelText(tr("Speed Multiplier:"));
    dialog.setInputMode(QInputDialog::DoubleInput);
    dialog.setDoubleRange(minimumSpeed, maximumSpeed);
    dialog.setDoubleDecimals(2);
    dialog.setDoubleValue(playbackManager->speedMultiplier());
    if (dialog.exec() == QDialog::Accepted)
        setSpeedMultiplier(dialog.doubleValue());
}

void Player::setLoopEnabled(bool enable)
{
    appSettings().loop = enable;
}

void Player::setLoopOnStepEnabled(bool enable)
{
    appSettings().loopOnStep = enable;
}

void Player::setLoopOnScrubEnabled(bool enable)
{
    appSettings().loopOnScrub = enable;
}

void Player::setAutoplayEnabled(bool enable)
{
    appSettings().autoplay = enable;
}

void Player::setAudioScrubEnabled(bool enable)
{
    appSettings().audioScrub = enable;
}

void Player::onStateChange(PlaybackManager::State state)
{
    switch (state) {
    case PlaybackManager::Stopped:
        controls->setEnabled(false);
        controls->setPlaying(false);
        statsTimer->stop();
        timeline->setPlaybackRate(0.0);
        setWindowTitle(QString::fromLatin1(ProgramInfo::productName));
        timeline->hide();
        rangeTimeline->hide();
        break;
    case PlaybackManager::Playing:
        controls->setEnabled(true);
        controls->setPlaying(true, playbackManager->playingBackward());
        fpsStartFrame = currentFrame();
        fpsTimer.restart();
        timeline->setPlaybackRate(fps);
        break;
    case PlaybackManager::Paused:
        controls->setEnabled(true);
        controls->setPlaying(false);
        timeline->setPlaybackRate(0.0);
        break;
    }
}

// The file is open and its pictures' size known, while the decoders have yet
// to fill their caches: the window takes its size for the clip now, so that
// it is laid out and painted anew meanwhile, and the first picture is made
// once, at the size it is shown at.
void Player::onClipOpened()
{
    applyTimelineVisibility();
    if (appSettings().resizeToFit)
        resizeToFit(1.0f);
}

void Player::onStatusChange(PlaybackManager::Status status)
{
    switch (status) {
    case PlaybackManager::NoMedia:
        if (closeRequested)
            close();
        break;
    case PlaybackManager::Loaded: {
        updateWindowTitle(1);
        fps = playbackManager->frameRate();
        frameDuration = playbackManager->frameDuration();
        const int last = lastFrame();
        for (TimelineWidget* t : {timeline, static_cast<TimelineWidget*>(rangeTimeline)}) {
            t->setFrameRate(fps);
            t->setRange(1, last);
            t->setFrame(1);
            t->setFrameCount(last);
        }
        loadClipTimecode();
        lastShownFrame = -1;
        playBackwardPending = false;
        playWhenReady = appSettings().autoplay;
        buildRangeBookmarkMenu(rangeBookmarkMenu);
        bookmarkRangePending = true;
        updateStats();
        applyTimelineVisibility();
        statsTimer->start(statsInterval);
        break;
    }
    case PlaybackManager::Ready:
        updateStats();
        if (pendingRangeStart >= 0 || pendingRangeEnd >= 0) {
            bookmarkRangePending = false;
            // A range end that was not given is the end of the clip, not the start.
            const int start = pendingRangeStart >= 0 ? pendingRangeStart : 1;
            const int end = pendingRangeEnd >= 0 ? pendingRangeEnd : lastFrame();
            pendingRangeStart = pendingRangeEnd = -1;
            setFrameRange(start, end);
            seekToFrameTime(rangeStart());
            playWhenReady = appSettings().autoplay;
            if (playbackManager->status() != PlaybackManager::Ready)
                break;
        } else if (bookmarkRangePending) {
            bookmarkRangePending = false;
            applyStoredRangeBookmark();
            playWhenReady = appSettings().autoplay;
            if (playbackManager->status() != PlaybackManager::Ready)
                break;
        }
        playIfReady();
        if (loopRestartPending) {
            loopRestartPending = false;
            playWhenReady = true;
            playbackManager->seek(0.0, 0.0, false);
            playIfReady();
        }
        break;
    case PlaybackManager::EndOfMedia:
        if (playbackManager->state() == PlaybackManager::Playing)
            loopRestartPending = appSettings().loop;
        break;
    default:
        break;
    }
}

// The decoder met the end of the video before or after the frame count the
// container promised: the timelines end at the real last picture, and a range
// that ended at the end of the clip still does.
void Player::onDurationChange()
{
    const int oldLast = timeline->frameCount();
    const int last = lastFrame();
    if (last == oldLast || !isMediaLoaded())
        return;
    const int start = qMin(rangeStart(), last);
    const int end = rangeEnd() >= oldLast ? last : qMin(rangeEnd(), last);
    for (TimelineWidget* t : {timeline, static_cast<TimelineWidget*>(rangeTimeline)})
        t->setFrameCount(last);
    setTimelinesRange(start, end);
    updateStats();
}

void Player::onError(PlaybackManager::Error, const QString& errorStr)
{
    reportError(errorStr);
}

int Player::scrubPixelsPerFrame(Qt::KeyboardModifiers modifiers) const
{
    const bool ctrl = modifiers & Qt::ControlModifier;
    const bool shift = modifiers & Qt::ShiftModifier;
    if (ctrl && shift)
        return 10;
    if (ctrl)
        return 22;
    if (shift)
        return 4;
    return 10;
}

void Player::mouseMoveEvent(QMouseEvent* event)
{
    if (!scrubbing) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const int pixelsPerFrame = scrubPixelsPerFrame(event->modifiers());
    int x = event->globalPos().x();
    if (appSettings().endlessMouseScrub) {
        const QRect desktop = QApplication::primaryScreen()->virtualGeometry();
        const int width = desktop.right() - desktop.left();
        if (x < 1) {
            QCursor::setPos(width - 1, event->globalPos().y());
            scrubLastX += width - 1;
            x = width - 1;
        } else if (x >= width) {
            scrubLastX -= x + 1;
            QCursor::setPos(1, event->globalPos().y());
            x = 1;
        }
    }
    const int delta = x - scrubLastX;
    if (std::abs(delta) < pixelsPerFrame)
        return;
    const int frames = delta / pixelsPerFrame;
    int target = currentFrame() + frames;
    if (appSettings().loopOnScrub && (target < rangeStart() || target > rangeEnd()))
        target = frames < 0 ? rangeEnd() : rangeStart();
    setCurrentFrame(target, frameDuration != 0.0, false, false);
    scrubLastX = x;
}

void Player::mouseReleaseEvent(QMouseEvent* event)
{
    scrubbing = false;
    if (event->button() == Qt::LeftButton && resumeAfterScrub)
        resumePlaybackAfterScrub();
    event->accept();
}

void Player::resumePlaybackAfterScrub()
{
    resumeAfterScrub = false;
    // The frame the scrub asked for: the clock reaches it only once the
    // reader has taken up a seek outside the cache.
    if (requestedFrame >= lastFrame()) {
        if (!appSettings().loop)
            return;
        requestedFrame = 1;
        seekToFrameTime(1);
    }
    playWhenReady = true;
    playIfReady();
}

void Player::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && viewer->geometry().contains(event->pos()))
        playForward();
    else
        QWidget::mouseDoubleClickEvent(event);
}

void Player::closeEvent(QCloseEvent* event)
{
    // Asked once: the window closes for good when the clip has gone.
    if (!closeRequested && !settleUnsavedBookmarks()) {
        event->ignore();
        return;
    }
    // A bookmarks file still loading would open its clip again.
    cancelBookmarksFileLoad();
    if (isMediaLoaded() && playbackManager->status() != PlaybackManager::NoMedia) {
        closeRequested = true;
        playbackManager->stop();
        event->ignore();
        return;
    }
    // Bookmarks files being written are finished, and added to the recent
    // list, before the settings are saved.
    bookmarksSaver->finishSaves();
    // The console goes first: a failure to save is then said on the standard
    // error stream only, without popping the console up while the window
    // closes.
    captureWindowSettings();
    delete consoleWindow;
    consoleWindow = nullptr;
    saveSettings();
    event->accept();
}
