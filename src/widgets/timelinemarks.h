#pragma once

#include "rangebookmark.h"

#include <QVector>
#include <array>
#include <functional>

class Bookmarks;

// Where bookmarks land on a timeline, reduced to what can be seen: however
// many bookmarks there are, a paint costs about as much as the timeline is
// wide, and nothing while neither the bookmarks nor the layout change.
//
// - Frame bookmarks that fall on the same pixel column are one mark. After a
//   mark, a binary search finds the first bookmark beyond its column, so only
//   one bookmark per column is looked at.
// - Range bookmarks become runs of columns, each with the number of strips
//   that cover it. One fill per run with the colour of that many translucent
//   layers looks like drawing every strip over the others.
class TimelineMarks
{
public:
    // The x of a frame's mark; it must not decrease as the frame grows, over
    // the frames it is asked about.
    using Position = std::function<int(int frame)>;
    // Everything besides the bookmarks that decides the x of a frame.
    using Layout = std::array<int, 5>;

    struct Run
    {
        int left = 0;  // first column
        int right = 0; // one past the last column
        int depth = 0; // strips covering these columns
    };

    // columnsOf and runsOf for the bookmarks, remembered until the
    // bookmarks, the layout or the arguments change.
    const QVector<int>& frameColumns(const Bookmarks& bookmarks, int first, int last, int left, int right,
                                     const Layout& layout, const Position& x);
    const QVector<Run>& rangeRuns(const Bookmarks& bookmarks, int left, int right, const Layout& layout,
                                  const Position& x);

    // The columns of the frames (ascending, each once) from first to last,
    // both included, whose marks lie within left to right, both included.
    static QVector<int> columnsOf(const QVector<int>& sortedFrames, int first, int last, int left, int right,
                                  const Position& x);
    // The runs of columns from left up to right (excluded) that range strips
    // cover, left to right. A strip covers the columns from the x of one end
    // up to, not including, the x of the other.
    static QVector<Run> runsOf(const QVector<RangeBookmark>& ranges, int left, int right, const Position& x);

    // The alpha of depth layers of alpha: 1 - (1 - alpha)^depth, on 0 to 255.
    static int layeredAlpha(int alpha, int depth);

private:
    // What a result was computed for: the bookmarks' revision, the arguments
    // and the layout.
    using Key = std::array<qint64, 10>;
    static Key keyOf(const Bookmarks& bookmarks, int first, int last, int left, int right,
                     const Layout& layout);

    Key columnsKey{};
    bool hasColumns = false;
    QVector<int> columns;
    Key runsKey{};
    bool hasRuns = false;
    QVector<Run> runs;
};
