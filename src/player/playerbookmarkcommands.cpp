// The window's bookmark commands: adding, clearing and cycling frame and range
// bookmarks, choosing a range bookmark as the playback range, and the menu of
// range bookmarks.
#include "player.h"
#include "rangetimelinewidget.h"
#include "timelinewidget.h"

#include <QAction>
#include <QMenu>

void Player::repaintTimelines()
{
    timeline->update();
    rangeTimeline->update();
}

void Player::addFrameBookmark()
{
    addFrameBookmark(currentFrame());
}

void Player::addFrameBookmark(int frame)
{
    bookmarks.addFrameBookmark(frame);
    repaintTimelines();
}

void Player::addRangeBookmark()
{
    addRangeBookmark(rangeStart(), rangeEnd());
}

void Player::addRangeBookmark(int startFrame, int endFrame)
{
    bookmarks.addRangeBookmark(startFrame, endFrame, QStringLiteral("%1 - %2").arg(startFrame).arg(endFrame));
    bookmarks.setCurrentRange(startFrame, endFrame);
    repaintTimelines();
    buildRangeBookmarkMenu(rangeBookmarkMenu);
}

void Player::clearCurrentFrameBookmark()
{
    bookmarks.removeFrameBookmark(currentFrame());
    repaintTimelines();
}

void Player::clearFrameBookmarksInRange()
{
    bookmarks.removeFrameBookmarksInRange(rangeStart(), rangeEnd());
    repaintTimelines();
}

void Player::clearAllFrameBookmarks()
{
    bookmarks.clearFrameBookmarks();
    repaintTimelines();
}

void Player::clearCurrentRangeBookmark()
{
    bookmarks.removeRangeBookmark(rangeStart(), rangeEnd());
    repaintTimelines();
    buildRangeBookmarkMenu(rangeBookmarkMenu);
}

void Player::clearAllRangeBookmarks()
{
    bookmarks.clearRangeBookmarks();
    repaintTimelines();
    buildRangeBookmarkMenu(rangeBookmarkMenu);
}

void Player::clearAllBookmarks()
{
    bookmarks.clearFrameBookmarks();
    repaintTimelines();
    bookmarks.clearRangeBookmarks();
    repaintTimelines();
    buildRangeBookmarkMenu(rangeBookmarkMenu);
}

void Player::cycleFrameBookmarks(bool backward)
{
    const QList<int> frames = bookmarks.frameBookmarks();
    if (frames.isEmpty())
        return;
    const int current = currentFrame();
    int target = backward ? frames.last() : frames.first();
    if (backward) {
        for (auto it = frames.crbegin(); it != frames.crend(); ++it) {
            if (*it < current) {
                target = *it;
                break;
            }
        }
    } else {
        for (int frame : frames) {
            if (frame > current) {
                target = frame;
                break;
            }
        }
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
    const QList<RangeBookmark>& ranges = bookmarks.rangeBookmarks();
    const int n = ranges.size();
    if (n == 0)
        return;
    int current = -1;
    for (int i = 0; i < n; ++i) {
        if (ranges[i].start == rangeStart() && ranges[i].end == rangeEnd()) {
            current = i;
            break;
        }
    }
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

void Player::applyStoredRangeBookmark()
{
    if (bookmarks.currentRangeStart >= 0 && bookmarks.currentRangeEnd >= 0)
        setRangeBookmark(bookmarks.currentRangeStart, bookmarks.currentRangeEnd);
}

void Player::buildRangeBookmarkMenu(QMenu* menu)
{
    menu->clear();
    const QList<RangeBookmark>& ranges = bookmarks.rangeBookmarks();
    if (ranges.isEmpty()) {
        menu->addAction(tr("<No Bookmarks>"));
        return;
    }
    for (const RangeBookmark& r : ranges) {
        QAction* action = menu->addAction(r.name);
        action->setData(QStringList{QString::number(r.start), QString::number(r.end)});
        connect(action, &QAction::triggered, this, qOverload<>(&Player::setRangeBookmark));
    }
}
