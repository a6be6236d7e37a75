// The window's bookmark commands: adding, clearing and cycling frame and range
// bookmarks, choosing a range bookmark as the playback range, and the menu and
// the list of range bookmarks.
#include "appsettings.h"
#include "player.h"
#include "rangebookmarkdialog.h"
#include "rangetimelinewidget.h"
#include "timelinewidget.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>

namespace {

// With more range bookmarks than this the menus list this many, those
// starting nearest the playhead, and "More..." offers them all.
constexpr int rangeMenuEntries = 30;

} // namespace

void Player::repaintTimelines()
{
    timeline->update();
    rangeTimeline->update();
}

void Player::bookmarksChanged()
{
    repaintTimelines();
    buildRangeBookmarkMenu(rangeBookmarkMenu);
    updateWindowTitle(titleFrame);
}

bool Player::hasUnsavedBookmarks() const
{
    return isMediaLoaded() && bookmarks.revision() != savedBookmarksRevision;
}

void Player::markBookmarksSaved(quint64 revision)
{
    savedBookmarksRevision = revision;
    updateWindowTitle(titleFrame);
}

bool Player::settleUnsavedBookmarks()
{
    if (!hasUnsavedBookmarks())
        return true;
    if (unattended)
        return writeRecoveryBookmarks();
    const QString clip = QFileInfo(playbackManager->mediaFilename()).fileName();
    QMessageBox question(QMessageBox::Question, tr("Unsaved Bookmarks"),
                         tr("Save changes to the bookmarks of %1?").arg(clip),
                         QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    question.setDefaultButton(QMessageBox::Save);
    // The same words on every desktop, and the keys S and D answer too.
    question.button(QMessageBox::Save)->setText(tr("&Save"));
    question.button(QMessageBox::Discard)->setText(tr("&Discard"));
    const int answer = question.exec();
    if (answer == QMessageBox::Discard)
        return true;
    if (answer != QMessageBox::Save)
        return false;
    const QString path = bookmarksFilePath.isEmpty() ? askBookmarksFileName() : bookmarksFilePath;
    return !path.isEmpty() && saveBookmarksTo(path);
}

bool Player::writeRecoveryBookmarks()
{
    const QFileInfo clip(playbackManager->mediaFilename());
    const QDir folder(bookmarksDirectory());
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString path;
    for (int n = 1; path.isEmpty() || QFileInfo::exists(path); ++n) {
        const QString suffix = n > 1 ? QStringLiteral("-%1").arg(n) : QString();
        path = folder.filePath(QStringLiteral("%1-recovered-%2%3.%4")
                                   .arg(clip.completeBaseName(), stamp, suffix, Bookmarks::fileExtension));
    }
    if (!bookmarks.save(path)) {
        reportError(tr("Failed to save the unsaved bookmarks of %1 to %2").arg(clip.fileName(), path));
        return false;
    }
    reportWarning(tr("Unsaved bookmarks of %1 saved to %2").arg(clip.fileName(), path));
    addRecentBookmarkFile(path);
    rebuildRecentBookmarksMenu();
    return true;
}

void Player::addFrameBookmark()
{
    addFrameBookmark(currentFrame());
}

void Player::addFrameBookmark(int frame)
{
    bookmarks.addFrameBookmark(frame);
    bookmarksChanged();
}

void Player::addRangeBookmark()
{
    addRangeBookmark(rangeStart(), rangeEnd());
}

void Player::addRangeBookmark(int startFrame, int endFrame)
{
    bookmarks.addRangeBookmark(startFrame, endFrame, QStringLiteral("%1 - %2").arg(startFrame).arg(endFrame));
    bookmarks.setCurrentRange(startFrame, endFrame);
    bookmarksChanged();
}

void Player::clearCurrentFrameBookmark()
{
    bookmarks.removeFrameBookmark(currentFrame());
    bookmarksChanged();
}

void Player::clearFrameBookmarksInRange()
{
    bookmarks.removeFrameBookmarksInRange(rangeStart(), rangeEnd());
    bookmarksChanged();
}

void Player::clearAllFrameBookmarks()
{
    bookmarks.clearFrameBookmarks();
    bookmarksChanged();
}

void Player::clearCurrentRangeBookmark()
{
    bookmarks.removeRangeBookmark(rangeStart(), rangeEnd());
    bookmarksChanged();
}

void Player::clearAllRangeBookmarks()
{
    bookmarks.clearRangeBookmarks();
    bookmarksChanged();
}

void Player::clearAllBookmarks()
{
    bookmarks.clearFrameBookmarks();
    bookmarks.clearRangeBookmarks();
    bookmarksChanged();
}

void Player::cycleFrameBookmarks(bool backward)
{
    const QVector<int>& frames = bookmarks.frameBookmarks();
    if (frames.isEmpty())
        return;
    const int current = currentFrame();
    int target = 0;
    if (backward) {
        // The last bookmark before the current frame, else the last of all.
        const auto it = std::lower_bound(frames.cbegin(), frames.cend(), current);
        target = it == frames.cbegin() ? frames.constLast() : *(it - 1);
    } else {
        // The first bookmark after the current frame, else the first of all.
        const auto it = std::upper_bound(frames.cbegin(), frames.cend(), current);
        target = it == frames.cend() ? frames.constFirst() : *it;
    }
    setCurrentFrame(target, false, false, false);
}

void Player::nextFrameBookmark()
{
    cycleFrameBookmarks(false);
}

void Player::previousFrameBookmark()
{
    cycleFrameBookmarks(true);
}

void Player::cycleRangeBookmarks(bool backward)
{
    const QVector<RangeBookmark>& ranges = bookmarks.rangeBookmarks();
    const int n = ranges.size();
    if (n == 0)
        return;
    const int current = bookmarks.indexOfRangeBookmark(rangeStart(), rangeEnd());
    int target = backward ? n - 1 : 0;
    if (current >= 0 && n > 1)
        target = backward ? (current == 0 ? n - 1 : current - 1) : (current == n - 1 ? 0 : current + 1);
    const RangeBookmark chosen = ranges[target];
    setRangeBookmark(chosen.start, chosen.end);
}

void Player::nextRangeBookmark()
{
    cycleRangeBookmarks(false);
}

void Player::previousRangeBookmark()
{
    cycleRangeBookmarks(true);
}

void Player::setRangeBookmark(int startFrame, int endFrame)
{
    if (!bookmarks.hasRangeBookmark(startFrame, endFrame))
        return;
    // The range chosen already stays chosen: no change to save.
    showFrameRange(startFrame, endFrame);
    bookmarks.setCurrentRange(startFrame, endFrame);
    setCurrentFrame(rangeStart());
}

void Player::setRangeBookmark()
{
    auto* action = qobject_cast<QAction*>(sender());
    if (!action)
        return;
    const QStringList ends = action->data().toStringList();
    if (ends.size() != 2)
        return;
    bool okStart = false;
    bool okEnd = false;
    const int start = ends[0].toInt(&okStart, 10);
    const int end = ends[1].toInt(&okEnd, 10);
    if (okStart && okEnd)
        setRangeBookmark(start, end);
}

void Player::chooseRangeBookmark()
{
    RangeBookmarkDialog dialog(bookmarks.rangeBookmarks(), firstRangeBookmarkFrom(currentFrame()), this);
    dialog.setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    if (dialog.exec() != QDialog::Accepted || dialog.chosenIndex() < 0)
        return;
    const RangeBookmark chosen = bookmarks.rangeBookmarks().at(dialog.chosenIndex());
    setRangeBookmark(chosen.start, chosen.end);
}

int Player::firstRangeBookmarkFrom(int frame) const
{
    const QVector<RangeBookmark>& ranges = bookmarks.rangeBookmarks();
    const auto it = std::lower_bound(ranges.cbegin(), ranges.cend(), frame,
                                     [](const RangeBookmark& r, int f) { return r.start < f; });
    return int(it - ranges.cbegin());
}

void Player::applyStoredRangeBookmark()
{
    if (bookmarks.currentRangeStart >= 0 && bookmarks.currentRangeEnd >= 0)
        setRangeBookmark(bookmarks.currentRangeStart, bookmarks.currentRangeEnd);
}

void Player::buildRangeBookmarkMenu(QMenu* menu)
{
    menu->clear();
    const QVector<RangeBookmark>& ranges = bookmarks.rangeBookmarks();
    if (ranges.isEmpty()) {
        menu->addAction(tr("<No Bookmarks>"));
        return;
    }
    const int count = ranges.size();
    const bool capped = count > rangeMenuEntries;
    // Half of the entries start before the playhead, half at or after it.
    const int first = capped ? qBound(0, firstRangeBookmarkFrom(currentFrame()) - rangeMenuEntries / 2,
                                      count - rangeMenuEntries)
                             : 0;
    const int last = capped ? first + rangeMenuEntries : count;
    for (int i = first; i < last; ++i) {
        const RangeBookmark& r = ranges[i];
        QAction* action = menu->addAction(r.name);
        action->setData(QStringList{QString::number(r.start), QString::number(r.end)});
        connect(action, &QAction::triggered, this, qOverload<>(&Player::setRangeBookmark));
    }
    if (capped) {
        menu->addSeparator();
        connect(menu->addAction(tr("More...")), &QAction::triggered, this, &Player::chooseRangeBookmark);
    }
}
