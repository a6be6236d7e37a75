#include "bookmarks.h"

#include <QSettings>
#include <algorithm>

const QString Bookmarks::fileExtension = QStringLiteral("bmk");

namespace {

bool parseDecimal(const QString& text, int* value)
{
    bool ok = false;
    *value = text.toInt(&ok, 10);
    return ok;
}

} // namespace

void Bookmarks::addFrameBookmark(int frame)
{
    if (frame < 0)
        return;
    frames.insert(frame, frame);
}

void Bookmarks::removeFrameBookmark(int frame)
{
    frames.remove(frame);
}

void Bookmarks::removeFrameBookmarksInRange(int first, int last)
{
    // Walks the bookmarks, not every frame number: a range may span billions.
    auto it = frames.lowerBound(first);
    while (it != frames.end() && it.key() <= last)
        it = frames.erase(it);
}

void Bookmarks::clearFrameBookmarks()
{
    frames.clear();
}

bool Bookmarks::hasFrameBookmark(int frame) const
{
    return frames.contains(frame);
}

QList<int> Bookmarks::frameBookmarks() const
{
    return frames.keys();
}

int Bookmarks::rangeLowerBound(int start, int end) const
{
    const auto it = std::lower_bound(ranges.cbegin(), ranges.cend(), std::make_pair(start, end),
                                     [](const RangeBookmark& r, const std::pair<int, int>& key) {
                                         return std::make_pair(r.start, r.end) < key;
                                     });
    return static_cast<int>(it - ranges.cbegin());
}

void Bookmarks::addRangeBookmark(int start, int end, const QString& name)
{
    if (start < 0 || end < 0)
        return;
    const int index = rangeLowerBound(start, end);
    if (index < ranges.size() && ranges[index].start == start && ranges[index].end == end)
        return;
    ranges.insert(index, RangeBookmark{start, end, name});
}

void Bookmarks::removeRangeBookmark(int start, int end)
{
    const int index = rangeLowerBound(start, end);
    if (index < ranges.size() && ranges[index].start == start && ranges[index].end == end)
        ranges.removeAt(index);
}

bool Bookmarks::hasRangeBookmark(int start, int end) const
{
    const int index = rangeLowerBound(start, end);
    return index < ranges.size() && ranges[index].start == start && ranges[index].end == end;
}

void Bookmarks::clearRangeBookmarks()
{
    ranges.clear();
    clearCurrentRange();
}

void Bookmarks::setCurrentRange(int start, int end)
{
    currentRangeStart = start;
    currentRangeEnd = end;
}

void Bookmarks::clearCurrentRange()
{
    setCurrentRange(-1, -1);
}

void Bookmarks::clear()
{
    clearFrameBookmarks();
    clearRangeBookmarks();
}

void Bookmarks::load(const QFileInfo& file)
{
    clear();
    if (!file.exists() || !file.isFile())
        return;
    QSettings settings(file.absoluteFilePath(), QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("main"));
    mediaPath = settings.value(QStringLiteral("mediaPath")).toString();

    const QStringList frameTexts =
        settings.value(QStringLiteral("frames")).toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& text : frameTexts) {
        int frame = 0;
        if (parseDecimal(text, &frame))
            addFrameBookmark(frame);
    }

    const QStringList rangeTexts = settings.value(QStringLiteral("ranges")).toStringList();
    for (const QString& text : rangeTexts) {
        QStringList parts = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
        int start = 0;
        int end = 0;
        if (parts.size() <= 2 || !parseDecimal(parts[0], &start) || !parseDecimal(parts[1], &end))
            continue;
        parts.erase(parts.begin(), parts.begin() + 2);
        addRangeBookmark(start, end, parts.join(QLatin1Char(',')));
    }

    bool ok = false;
    const int start = settings.value(QStringLiteral("start"), -1).toInt(&ok);
    currentRangeStart = ok ? start : -1;
    const int end = settings.value(QStringLiteral("end"), -1).toInt(&ok);
    currentRangeEnd = ok ? end : -1;
    settings.endGroup();
}

bool Bookmarks::save(const QString& path) const
{
    if (QFileInfo(path).isDir())
        return false;
    QString frameText;
    for (auto it = frames.cbegin(); it != frames.cend(); ++it)
        frameText += QStringLiteral("%1,").arg(it.key());
    QStringList rangeTexts;
    for (const RangeBookmark& r : ranges)
        rangeTexts << QStringLiteral("%1,%2,%3").arg(QString::number(r.start), QString::number(r.end), r.name);

    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("main"));
    settings.setValue(QStringLiteral("mediaPath"), mediaPath);
    settings.setValue(QStringLiteral("frames"), frameText);
    settings.setValue(QStringLiteral("ranges"), rangeTexts);
    settings.setValue(QStringLiteral("start"), currentRangeStart);
    settings.setValue(QStringLiteral("end"), currentRangeEnd);
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}
