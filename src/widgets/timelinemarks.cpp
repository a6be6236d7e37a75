#include "timelinemarks.h"

#include "bookmarks.h"

#include <QtGlobal>
#include <algorithm>
#include <cmath>

TimelineMarks::Key TimelineMarks::keyOf(const Bookmarks& bookmarks, int first, int last, int left, int right,
                                        const Layout& layout)
{
    // A revision is never reused, so it stands for the bookmarks themselves.
    return {qint64(bookmarks.revision()),
            first,
            last,
            left,
            right,
            layout[0],
            layout[1],
            layout[2],
            layout[3],
            layout[4]};
}

const QVector<int>& TimelineMarks::frameColumns(const Bookmarks& bookmarks, int first, int last, int left,
                                                int right, const Layout& layout, const Position& x)
{
    const Key key = keyOf(bookmarks, first, last, left, right, layout);
    if (!hasColumns || key != columnsKey) {
        columns = columnsOf(bookmarks.frameBookmarks(), first, last, left, right, x);
        columnsKey = key;
        hasColumns = true;
    }
    return columns;
}

const QVector<TimelineMarks::Run>& TimelineMarks::rangeRuns(const Bookmarks& bookmarks, int left, int right,
                                                            const Layout& layout, const Position& x)
{
    const Key key = keyOf(bookmarks, 0, 0, left, right, layout);
    if (!hasRuns || key != runsKey) {
        runs = runsOf(bookmarks.rangeBookmarks(), left, right, x);
        runsKey = key;
        hasRuns = true;
    }
    return runs;
}

QVector<int> TimelineMarks::columnsOf(const QVector<int>& sortedFrames, int first, int last, int left,
                                      int right, const Position& x)
{
    QVector<int> columns;
    auto it = std::lower_bound(sortedFrames.cbegin(), sortedFrames.cend(), first);
    const auto end = std::upper_bound(it, sortedFrames.cend(), last);
    it = std::partition_point(it, end, [&](int frame) { return x(frame) < left; });
    while (it != end) {
        const int column = x(*it);
        if (column > right)
            break;
        columns.append(column);
        it = std::partition_point(it, end, [&](int frame) { return x(frame) <= column; });
    }
    return columns;
}

QVector<TimelineMarks::Run> TimelineMarks::runsOf(const QVector<RangeBookmark>& ranges, int left, int right,
                                                  const Position& x)
{
    QVector<Run> runs;
    if (right <= left)
        return runs;
    // Strips start and end on the columns from left to right; the count of
    // strips over a column is the sum of the changes up to it.
    QVector<int> changes(right - left + 1, 0);
    for (const RangeBookmark& range : ranges) {
        const int a = x(range.start);
        const int b = x(range.end);
        const int from = qBound(left, std::min(a, b), right);
        const int to = qBound(left, std::max(a, b), right);
        if (from == to)
            continue;
        ++changes[from - left];
        --changes[to - left];
    }
    int depth = 0;
    for (int column = left; column < right; ++column) {
        const int next = depth + changes[column - left];
        if (next != depth) {
            if (depth > 0)
                runs.last().right = column;
            if (next > 0)
                runs.append(Run{column, right, next});
            depth = next;
        }
    }
    return runs;
}

int TimelineMarks::layeredAlpha(int alpha, int depth)
{
    const double clear = std::pow(1.0 - alpha / 255.0, depth);
    return qBound(0, int(std::lround(255.0 * (1.0 - clear))), 255);
}
