// The window's bookmark commands: adding, clearing and cycling frame and range
// bookmarks, choosing a range bookmark as the playback range, and the menu and
// the list of range bookmarks.
#include "player.h"
#include "rangebookmarkdialog.h"
#include "rangetimelinewidget.h"
#include "timelinewidget.h"

#include <QAction>
#include <QMenu>
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
    setFrameRange(startFrame, endFrame);
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
