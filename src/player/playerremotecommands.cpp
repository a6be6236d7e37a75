// The window as the remote-control port and later launches drive it: what it
// reports, and the few commands that exist only for them.
#include "appsettings.h"
#include "bookmarksfileloader.h"
#include "bookmarksfilesaver.h"
#include "player.h"
#include "tcpserver.h"

#include <QAction>
#include <QFileInfo>
#include <QScopedValueRollback>

void Player::startRemoteControl()
{
    tcpServer = new TcpServer(*this, this);
    // Queued: commands waiting for a clip run once the window has handled
    // the change (a range applied when the clip became ready, say).
    connect(playbackManager, &PlaybackManager::statusChanged, tcpServer, &TcpServer::playerChanged,
            Qt::QueuedConnection);
    tcpServer->listen();
}

bool Player::isRemoteControlListening() const
{
    return tcpServer->isListening();
}

RemotePlayer::Status Player::remoteStatus() const
{
    RemotePlayer::Status s;
    s.opens = acceptedOpens;
    s.failedOpens = failedOpens;
    s.loop = appSettings().loop;
    // A bookmarks file being read is a clip being opened.
    if (bookmarksLoader->isLoading()) {
        s.state = State::Loading;
        return s;
    }
    switch (playbackManager->status()) {
    case PlaybackManager::Loading:
    case PlaybackManager::Loaded:
    case PlaybackManager::Unloading:
        s.state = State::Loading;
        break;
    case PlaybackManager::Ready:
    case PlaybackManager::Seeking:
    case PlaybackManager::EndOfMedia:
        s.state = playbackManager->state() == PlaybackManager::Playing ? State::Playing : State::Paused;
        break;
    case PlaybackManager::Unknown:
    case PlaybackManager::NoMedia:
    case PlaybackManager::InvalidMedia:
        break;
    }
    s.seeking = playbackManager->status() == PlaybackManager::Seeking;
    if (s.state != State::NoClip)
        s.file = playbackManager->mediaFilename();
    if (s.hasClip()) {
        s.frame = currentFrame();
        s.frameCount = lastFrame();
        s.frameRate = fps;
        s.rangeStart = rangeStart();
        s.rangeEnd = rangeEnd();
        s.speed = playbackManager->speedMultiplier();
    }
    return s;
}

bool Player::openExternal(const QString& path, int rangeStart, int rangeEnd)
{
    const int before = acceptedOpens;
    const QScopedValueRollback<bool> fromOutside(unattended, true);
    openByName(path, rangeStart, rangeEnd);
    return acceptedOpens != before;
}

void Player::closeUnattended()
{
    const QScopedValueRollback<bool> fromOutside(unattended, true);
    close();
}

void Player::goToFrame(int frame)
{
    setCurrentFrame(frame);
}

void Player::setLoop(bool on)
{
    // The menu entry carries the state; its toggle stores it.
    loopAction->setChecked(on);
}

bool Player::saveBookmarksTo(const QString& path)
{
    // Saves from the menu, which run on a worker thread, come first.
    bookmarksSaver->finishSaves();
    const QString file = QFileInfo(path).absoluteFilePath();
    if (!bookmarks.save(file)) {
        reportError(tr("Failed to save bookmarks file: %1").arg(file));
        return false;
    }
    bookmarksFilePath = file;
    markBookmarksSaved(bookmarks.revision());
    addRecentBookmarkFile(file);
    rebuildRecentBookmarksMenu();
    return true;
}
