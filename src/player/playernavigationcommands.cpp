// Navigation: going to a typed frame, time code or time, the clip's own
// time code, and the J/K/L shuttle keys.
#include "frameentry.h"
#include "gotoframedialog.h"
#include "heldkey.h"
#include "player.h"
#include "rangetimelinewidget.h"
#include "timelinewidget.h"

#include <QAction>

void Player::shuttleForward()
{
    if (!isMediaLoaded())
        return;
    if (shuttleHold->isHeld()) {
        stepForward();
        return;
    }
    const bool backward = goingBackward();
    if (!backward && (playbackManager->state() == PlaybackManager::Playing || playWhenReady)) {
        increaseSpeed();
        return;
    }
    if (backward)
        pause();
    setSpeedNormal();
    play();
}

void Player::shuttleBackward()
{
    if (!isMediaLoaded())
        return;
    if (shuttleHold->isHeld()) {
        stepBackward();
        return;
    }
    if (goingBackward()) {
        increaseSpeed();
        return;
    }
    if (playbackManager->state() == PlaybackManager::Playing || playWhenReady)
        pause();
    setSpeedNormal();
    playBackward();
}

void Player::goToFrame()
{
    if (!isMediaLoaded())
        return;
    if (!goToFrameDialog) {
        goToFrameDialog = new GoToFrameDialog(this);
        connect(goToFrameDialog, &GoToFrameDialog::entered, this, &Player::goToEnteredFrame);
    }
    goToFrameDialog->start(QString::number(currentFrame()));
}

void Player::goToEnteredFrame(const QString& text)
{
    if (!isMediaLoaded())
        return;
    const FrameEntry entry = FrameEntry::read(text, clipTimecode, fps, lastFrame());
    if (!entry.isValid()) {
        reportWarning(tr("Go to Frame: %1").arg(entry.error()));
        goToFrameDialog->refuse(entry.error());
        return;
    }
    goToFrameDialog->accept();
    setCurrentFrame(entry.frame());
}

void Player::setSourceTimecodeUsed(bool use)
{
    clipTimecode.useSourceTimecode(use);
    applyClipTimecode();
}

void Player::loadClipTimecode()
{
    const QString start = playbackManager->mediaDescription().startTimecode;
    clipTimecode = ClipTimecode(fps, start);
    if (!start.isEmpty() && !clipTimecode.hasSourceTimecode())
        reportWarning(tr("The clip's start time code \"%1\" cannot be read at %2 fps; time code counts from "
                         "00:00:00:00.")
                          .arg(start)
                          .arg(fps));
    sourceTimecodeAction->setEnabled(clipTimecode.hasSourceTimecode());
    clipTimecode.useSourceTimecode(sourceTimecodeAction->isChecked());
    applyClipTimecode();
}

void Player::applyClipTimecode()
{
    const QString start = clipTimecode.hasSourceTimecode() ? clipTimecode.sourceStartText() : QString();
    for (TimelineWidget* t : {timeline, static_cast<TimelineWidget*>(rangeTimeline)})
        t->setSourceTimecode(start, clipTimecode.usesSourceTimecode());
}
