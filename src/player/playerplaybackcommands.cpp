// The window's side of playback: frame seeks, the per-tick handling of the
// clock with the playback range and looping, play/pause, stepping, the speed
// ladder, the reactions to the controller's state, status and errors, mouse
// scrubbing on the video and the deferred close.
#include "appsettings.h"
#include "consolewindow.h"
#include "mediainfodialog.h"
#include "playbackcontrolwidget.h"
#include "player.h"
#include "programinfo.h"
#include "rangetimelinewidget.h"
#include "softwareviewer.h"
#include "timelinewidget.h"

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
    return int(playbackManager->playbackTime() * fps + 1);
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

void Player::setTimelinesCachedRange(int start, int end)
{
    timeline->setCachedRange(start, end);
    rangeTimeline->setCachedRange(start, end);
}

void Player::setCurrentFrame(int frame, bool audioScrub, bool clearCache, bool skipPlayWhenReady)
{
    bool mayContinue = false;
    if (appSettings().continuePlayingAfterSeek && frame >= rangeStart() && frame <= rangeEnd()) {
        mayContinue = !skipPlayWhenReady;
        if (skipPlayWhenReady)
            playWhenReady = false;
    } else {
        playWhenReady = false;
    }
    const double scrubDuration = audioScrub && appSettings().audioScrub ? frameDuration : 0.0;
    const int last = lastFrame();
    frame = qBound(1, frame, qMax(last, 1));
    if (frame == currentFrame() && !clearCache && !playWhenReady)
        return;
    setTimelinesFrame(frame);
    if (playbackManager->state() == PlaybackManager::Playing && mayContinue) {
        if (QApplication::mouseButtons() == Qt::LeftButton) {
            resumeAfterScrub = true;
        } else if (frame < last) {
            playWhenReady = true;
        } else if (appSettings().loop) {
            playWhenReady = true;
            frame = 1;
        }
    }
    playbackManager->seek(seekTimeOfFrame(frame), scrubDuration, clearCache);
    if (playWhenReady && playbackManager->status() == PlaybackManager::Ready) {
        playWhenReady = false;
        playForward();
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
    const int frame = int(playbackTime * fps + 1);
    if (frame != lastShownFrame) {
        setTimelinesFrame(frame);
        lastShownFrame = frame;
        updateWindowTitle(frame);
    }
    if (playbackManager->state() != PlaybackManager::Playing)
        return;

    if (frame < rangeEnd()) {
        if (frame < rangeStart()) {
            seekToFrameTime(rangeStart());
            playWhenReady = playbackManager->status() != PlaybackManager::Ready;
            playbackManager->play(-1);
        }
    } else if (appSettings().loop) {
        // Paint the range's last frame now and keep it up for a moment, so
        // that it is seen before the loop starts over.
        repaint();
        seekToFrameTime(rangeStart());
        playWhenReady = playbackManager->status() != PlaybackManager::Ready;
        QThread::msleep(static_cast<unsigned long>(frameDuration * 400));
        playbackManager->play(-1);
    } else {
        playbackManager->pause();
    }

    const double speed = playbackManager->speedMultiplier();
    timeline->setSpeed(speed);
    if (speed != 1.0 || lastSpeed == 1.0) {
        const qint64 elapsed = fpsTimer.elapsed();
        if (elapsed > 999) {
            const double measured = qMax(0.0, (frame - fpsStartFrame) / double(elapsed) * 1000.0);
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

    setTimelinesCachedRange(int(playbackManager->cachedRangeStart() * fps + 1),
                            int(playbackManager->cachedRangeEnd() * fps + 1));
}

void Player::playForward()
{
    switch (playbackManager->state()) {
    case PlaybackManager::Paused:
        if (currentFrame() >= rangeEnd()) {
            seekToFrameTime(rangeStart());
            playWhenReady = playbackManager->status() != PlaybackManager::Ready;
        }
        playbackManager->play(-1);
        break;
    case PlaybackManager::Playing:
        playbackManager->pause();
        break;
    case PlaybackManager::Stopped:
        break;
    }
}

void Player::play()
{
    if (playbackManager->state() == PlaybackManager::Paused)
        playForward();
}

void Player::pause()
{
    if (playbackManager->state() == PlaybackManager::Playing)
        playForward();
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
    const int last = lastFrame();
    const int start = qMin(startFrame > 0 ? startFrame : 1, last);
    const int end = qMax(qMin(endFrame, last), start);
    setTimelinesRange(start, end);
    bookmarks.clearCurrentRange();
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
    QInputDialog dialog(this, windowFlags() & ~Qt::WindowContextHelpButtonHint);
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
        controls->setPlaying(true);
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
        lastShownFrame = -1;
        playWhenReady = appSettings().autoplay;
        buildRangeBookmarkMenu(rangeBookmarkMenu);
        bookmarkRangePending = true;
        updateStats();
        applyTimelineVisibility();
        if (appSettings().resizeToFit)
            resizeToFit(1.0f);
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
        if (playWhenReady) {
            playWhenReady = false;
            playForward();
        }
        if (loopRestartPending) {
            loopRestartPending = false;
            playWhenReady = true;
            playbackManager->seek(0.0, 0.0, false);
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
    const int frame = currentFrame();
    if (frame < lastFrame()) {
        playWhenReady = true;
        playbackManager->seek(seekTimeOfFrame(frame), 0.0, false);
    } else if (appSettings().loop) {
        playWhenReady = true;
        playbackManager->seek(seekTimeOfFrame(1), 0.0, false);
    }
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
    if (isMediaLoaded() && playbackManager->status() != PlaybackManager::NoMedia) {
        closeRequested = true;
        playbackManager->stop();
        event->ignore();
        return;
    }
    AppSettings& s = appSettings();
    if (consoleWindow) {
        s.consoleGeometry = consoleWindow->saveGeometry();
        s.displayConsoleOnType = consoleWindow->showOnType();
        delete consoleWindow;
        consoleWindow = nullptr;
    }
    s.windowGeometry = saveGeometry();
    saveSettings();
    event->accept();
}
