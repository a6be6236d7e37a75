// The window's view, audio and window commands: volume, resizing to the
// video, flip and rotate, snapshots, zoom and the pixel readout, always on
// top, visibility of the timelines and controls, the title, the statistics
// and the other windows.
#include "aboutdialog.h"
#include "appsettings.h"
#include "consolewindow.h"
#include "mediainfodialog.h"
#include "playbackcontrolwidget.h"
#include "player.h"
#include "preferencesdialog.h"
#include "programinfo.h"
#include "rangetimelinewidget.h"
#include "softwareviewer.h"
#include "timelinewidget.h"
#include "volumewidget.h"
#include "windowstacking.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QLayout>
#include <QMenuBar>
#include <QScreen>

namespace {

constexpr int menuBarMaximumHeight = 1000;

} // namespace

void Player::setVolume(int volume)
{
    playbackManager->setVolume(volume);
}

void Player::toggleMute()
{
    volumeWidget->toggleMute();
}

void Player::increaseVolume()
{
    incrementVolume(5);
}

void Player::decreaseVolume()
{
    incrementVolume(-5);
}

void Player::incrementVolume(int increment)
{
    if (volumeWidget->isMuted())
        volumeWidget->setMuted(false);
    volumeWidget->setVolume(volumeWidget->volume() + increment);
    playbackManager->setVolume(volumeWidget->volume());
}

void Player::resizeToFit(float scale)
{
    QSize video(qRound(playbackManager->videoWidth() * scale),
                qRound(playbackManager->videoHeight() * scale));
    // What the window adds around the video: menus, timelines, controls and
    // the frame of the window manager (as laid out with the timelines just shown).
    layout()->activate();
    const QSize around = size() - viewer->size();
    const QSize decoration = frameGeometry().size() - size();
    const QRect available = (screen() ? screen()->availableGeometry() : QRect(QPoint(), video + around));
    // The whole window stays on the screen: the video is scaled down to the
    // room left, keeping its aspect.
    const QSize room = (available.size() - around - decoration).expandedTo(QSize(1, 1));
    if (video.width() > room.width() || video.height() > room.height())
        video.scale(room, Qt::KeepAspectRatio);
    resize(video + around);
    // Moved back onto the screen where the larger window would reach past it.
    const QSize outer = size() + decoration;
    const QPoint topLeft = frameGeometry().topLeft();
    const int x =
        qBound(available.left(), topLeft.x(), qMax(available.left(), available.right() + 1 - outer.width()));
    const int y =
        qBound(available.top(), topLeft.y(), qMax(available.top(), available.bottom() + 1 - outer.height()));
    move(x, y);
}

void Player::resizeToOriginal()
{
    if (isMediaLoaded())
        resizeToFit(1.0f);
}

void Player::resizeToHalf()
{
    if (isMediaLoaded())
        resizeToFit(0.5f);
}

void Player::resizeToQuarter()
{
    if (isMediaLoaded())
        resizeToFit(0.25f);
}

void Player::resizeToDouble()
{
    if (isMediaLoaded())
        resizeToFit(2.0f);
}

void Player::flip()
{
    playbackManager->setFlip(flipHorizontalAction->isChecked(), flipVerticalAction->isChecked());
}

void Player::flipHorizontal()
{
    flipHorizontalAction->toggle();
    flip();
}

void Player::flipVertical()
{
    flipVerticalAction->toggle();
    flip();
}

void Player::rotateImageCW()
{
    rotateCCWAction->setChecked(false);
    playbackManager->setRotation(rotateCWAction->isChecked() ? 90 : 0);
}

void Player::rotateImageCCW()
{
    rotateCWAction->setChecked(false);
    playbackManager->setRotation(rotateCCWAction->isChecked() ? 270 : 0);
}

void Player::takeSnapshot()
{
    if (!isMediaLoaded())
        return;
    // The whole frame at the file's size, mirrored and rotated as shown,
    // whatever the zoom.
    const QPixmap snapshot = viewer->pixmap();
    if (snapshot.isNull())
        return;
    QApplication::clipboard()->setPixmap(snapshot, QClipboard::Clipboard);
}

void Player::zoomIn()
{
    viewer->zoomIn();
}

void Player::zoomOut()
{
    viewer->zoomOut();
}

void Player::zoomToActualPixels()
{
    viewer->zoomToActualPixels();
}

void Player::zoomToFit()
{
    viewer->fitToWindow();
}

void Player::setPixelReadoutEnabled(bool enable)
{
    viewer->setPixelReadoutEnabled(enable);
}

void Player::setAlwaysOnTopEnabled(bool enable)
{
    WindowStacking::setAlwaysOnTop(this, enable);
    appSettings().alwaysOnTop = enable;
}

void Player::applyTimelineVisibility()
{
    timeline->setVisible(appSettings().showTimeline);
    rangeTimeline->setVisible(appSettings().showRangeTimeline);
}

void Player::setTimelineVisible(bool vis)
{
    appSettings().showTimeline = vis;
    if (isMediaLoaded())
        timeline->setVisible(vis);
}

void Player::setRangeTimelineVisible(bool vis)
{
    appSettings().showRangeTimeline = vis;
    if (isMediaLoaded())
        rangeTimeline->setVisible(vis);
}

void Player::setBottomToolbarVisible(bool vis)
{
    controls->setVisible(vis);
    volumeWidget->setVisible(vis);
    appSettings().showBottomToolbar = vis;
}

void Player::swapTimelines()
{
    const bool rangeShown = rangeTimeline->isVisible();
    showTimelineAction->setChecked(rangeShown);
    showRangeTimelineAction->setChecked(!rangeShown);
}

void Player::setMenuBarVisible(bool vis)
{
    // Collapsed, never hidden: the shortcuts of its actions keep working.
    if (vis) {
        menuBar->setMinimumHeight(0);
        menuBar->setMaximumHeight(menuBarMaximumHeight);
    } else {
        menuBar->setFixedHeight(0);
    }
    appSettings().showMenuBar = vis;
}

void Player::setTimelineAtTop(bool top)
{
    placeTimeline(timeline, top, true);
    appSettings().timelinePositionAtTop = top;
}

void Player::setRangeTimelineAtTop(bool top)
{
    placeTimeline(rangeTimeline, top, false);
    appSettings().rangeTimelinePositionAtTop = top;
}

QString Player::windowTitleFor(const QString& mediaFilename, int frame)
{
    if (mediaFilename.isEmpty())
        return QString::fromLatin1(ProgramInfo::productName);
    return QFileInfo(mediaFilename).fileName() + QStringLiteral(" -- Frame %1").arg(frame);
}

void Player::updateWindowTitle(int frame)
{
    titleFrame = frame;
    if (!isMediaLoaded()) {
        setWindowTitle(QString::fromLatin1(ProgramInfo::productName));
        return;
    }
    // A mark after the name while bookmarks are unsaved.
    QString name = QFileInfo(playbackManager->mediaFilename()).fileName();
    if (hasUnsavedBookmarks())
        name += QLatin1Char('*');
    setWindowTitle(windowTitleFor(name, frame));
}

QString Player::formatTime(qint64 ms, bool withMillis)
{
    const qint64 hours = ms / 3600000;
    const qint64 minutes = ms / 60000 - 60 * hours;
    const qint64 seconds = ms / 1000 - 60 * (ms / 60000);
    QString text = QStringLiteral("%1:%2:%3")
                       .arg(hours, 2, 10, QLatin1Char('0'))
                       .arg(minutes, 2, 10, QLatin1Char('0'))
                       .arg(seconds, 2, 10, QLatin1Char('0'));
    if (withMillis)
        text += QString::number((ms % 1000) / 1000.0, 'f', 3).mid(1);
    return text;
}

void Player::updateStats()
{
    if (playbackManager->state() == PlaybackManager::Paused)
        updateTimelinesCachedRange();
    if (!mediaInfoDialog || mediaInfoDialog->isHidden())
        return;
    const QString file = playbackManager->mediaFilename();
    if (file.isEmpty()) {
        mediaInfoDialog->setNoMedia();
        return;
    }
    using Row = MediaInfoDialog::Row;
    MediaInfoDialog& d = *mediaInfoDialog;
    const int last = lastFrame();
    d.setSource(file);
    d.setText(Row::FrameRange, QStringLiteral("%1 - %2").arg(1).arg(last));
    d.setText(Row::FrameRate, QString::number(fps, 'f', 3));
    // Frame times are whole frame durations: exact for 29.97 and 23.976 too.
    d.setText(Row::CurrentTime, formatTime(qRound64((currentFrame() - 1) * frameDuration * 1000), true));
    d.setText(Row::Duration, formatTime(qRound64(last * frameDuration * 1000), true));
    d.setText(Row::NormalSize,
              QStringLiteral("%1x%2").arg(playbackManager->videoWidth()).arg(playbackManager->videoHeight()));
    d.setText(Row::CurrentSize,
              QStringLiteral("%1x%2").arg(viewer->displayedWidth()).arg(viewer->displayedHeight()));
    d.setText(Row::StartTime, formatTime(qRound64(playbackManager->startTime() * 1000), true));
    d.setText(Row::StartTimecode,
              clipTimecode.hasSourceTimecode()
                  ? clipTimecode.sourceStartText() +
                        (clipTimecode.isSourceDropFrame() ? tr(" (drop-frame)") : tr(" (non-drop)"))
                  : tr("None"));

    const MediaDescription media = playbackManager->mediaDescription();
    const QString none = tr("None");
    const bool video = !media.videoCodec.isEmpty();
    d.setText(Row::VideoCodec, video ? media.videoCodec : none);
    d.setText(Row::PixelFormat, video ? media.pixelFormat : QString());
    d.setText(Row::ColourMatrix, video ? media.colour.matrixName() : QString());
    d.setText(Row::ColourRange, video ? media.colour.rangeName() : QString());
    d.setText(Row::ColourPrimaries, video ? media.colour.primariesName() : QString());
    d.setText(Row::Transfer, video ? media.colour.transferName() : QString());
    d.setText(Row::FieldOrder, video ? media.fieldOrder : QString());
    d.setText(Row::AudioCodec, media.audioCodec.isEmpty() ? none : media.audioCodec);
    d.setText(Row::SampleFormat, media.sampleFormat);
    d.setText(Row::SampleRate, media.sampleRate);
    d.setText(Row::ChannelLayout, media.channelLayout);

    d.setText(Row::VideoCache,
              QString::number(playbackManager->videoCacheBytes() / 1e6, 'f', 2) +
                  QStringLiteral(" MB (%1 frames)").arg(playbackManager->cachedFrameCount()));
    // The controller counts the audio cache in 16-bit samples: two bytes each.
    d.setText(Row::AudioCache, QString::number(playbackManager->audioCacheSamples() * 2 / 1e6, 'f', 2) +
                                   QStringLiteral(" MB"));
    d.setText(Row::CachedRange, QString::number(playbackManager->cachedRangeStart(), 'f', 2) +
                                    QStringLiteral(" - ") +
                                    QString::number(playbackManager->cachedRangeEnd(), 'f', 2));
}

void Player::mediaInfo()
{
    if (!mediaInfoDialog)
        mediaInfoDialog = new MediaInfoDialog(this);
    if (mediaInfoDialog->isHidden()) {
        mediaInfoDialog->show();
    } else {
        mediaInfoDialog->raise();
        mediaInfoDialog->activateWindow();
    }
    updateStats();
}

void Player::console()
{
    if (consoleWindow->isHidden()) {
        consoleWindow->show();
    } else {
        consoleWindow->raise();
        consoleWindow->activateWindow();
    }
}

void Player::preferences()
{
    PreferencesDialog dialog(this);
    dialog.setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    if (dialog.exec() != QDialog::Accepted)
        return;
    AppSettings& s = appSettings();
    if (dialog.cacheSize() != s.cacheSize || float(dialog.cacheTrailingPct()) != s.cacheTrailingPct) {
        s.cacheSize = dialog.cacheSize();
        s.cacheTrailingPct = float(dialog.cacheTrailingPct());
        playbackManager->setCacheSize(qint64(s.cacheSize) * 1000000, s.cacheTrailingPct);
    }
    setNumRecentFiles(dialog.numRecentFiles());
    setNumRecentBookmarkFiles(dialog.numRecentBookmarkFiles());
    rebuildRecentMediaMenu();
    rebuildRecentBookmarksMenu();
    s.openMediaInNewPlayers = dialog.openMediaInNewPlayers();
    s.resizeToFit = dialog.resizeToFit();
    s.continuePlayingAfterSeek = dialog.continuePlayingAfterSeek();
    s.endlessMouseScrub = dialog.endlessMouseScrub();
    s.tcpPort = dialog.tcpPort();
    saveSettings();
}

void Player::about()
{
    AboutDialog dialog(this);
    dialog.setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    dialog.exec();
}
