#include "bookmarks.h"

#include "inifile.h"

#include <QSettings>
#include <QVector>
#include <algorithm>

const QString Bookmarks::fileExtension = QStringLiteral("bmk");

namespace {

// A value the program writes as one string. Without the quotes it writes, an
// INI line such as frames=5,7, reads as a list; its parts are put back
// together.
QString singleText(const QVariant& value)
{
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

// A frame number, or -1 when the value is missing or is no int.
int frameNumber(const QVariant& value)
{
    bool ok = false;
    const int frame = value.userType() == QMetaType::QStringList ? 0 : value.toString().toInt(&ok, 10);
    return ok ? frame : -1;
}

// Reads one element of "ranges", written as start,end,name. Start and end are
// the first two fields that are not empty; the name is all the text after the
// comma that follows the end, exactly as saved, so a name may hold commas of
// any kind. An element without that comma (start and end only) is skipped.
bool parseRangeElement(const QString& text, int* start, int* end, QString* name)
{
    int numbers[2] = {0, 0};
    int position = 0;
    for (int& number : numbers) {
        while (position < text.size() && text.at(position) == QLatin1Char(','))
            ++position;
        const int comma = text.indexOf(QLatin1Char(','), position);
        if (position == text.size() || comma < 0)
            return false;
        bool ok = false;
        number = text.midRef(position, comma - position).toInt(&ok, 10);
        if (!ok)
            return false;
        position = comma + 1;
    }
    *start = numbers[0];
    *end = numbers[1];
    *name = text.mid(position);
    return true;
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
    // A fresh look at the file: the caller's QFileInfo may hold an old answer.
    const QFileInfo info(file.absoluteFilePath());
    if (!info.exists())
        return;
    mediaPath.clear();
    if (!IniFile::isSafeToRead(info.absoluteFilePath()))
        return;

    QSettings settings(info.absoluteFilePath(), QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("main"));
    mediaPath = singleText(settings.value(QStringLiteral("mediaPath")));
    loadFrameBookmarks(singleText(settings.value(QStringLiteral("frames"))));
    loadRangeBookmarks(settings.value(QStringLiteral("ranges")).toStringList());
    currentRangeStart = frameNumber(settings.value(QStringLiteral("start")));
    currentRangeEnd = frameNumber(settings.value(QStringLiteral("end")));
    settings.endGroup();
}

void Bookmarks::loadFrameBookmarks(const QString& text)
{
    const QVector<QStringRef> parts = text.splitRef(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QStringRef& part : parts) {
        bool ok = false;
        const int frame = part.toInt(&ok, 10);
        if (ok)
            addFrameBookmark(frame);
    }
}

void Bookmarks::loadRangeBookmarks(const QStringList& elements)
{
    for (const QString& element : elements) {
        int start = 0;
        int end = 0;
        QString name;
        // addRangeBookmark skips a start and end already loaded, and negative ones.
        if (parseRangeElement(element, &start, &end, &name))
            addRangeBookmark(start, end, name);
    }
}

bool Bookmarks::save(const QString& path) const
{
    QString frameText;
    frameText.reserve(frames.size() * 8);
    for (auto it = frames.cbegin(); it != frames.cend(); ++it) {
        frameText += QString::number(it.key());
        frameText += QLatin1Char(',');
    }
    QStringList rangeTexts;
    rangeTexts.reserve(ranges.size());
    for (const RangeBookmark& r : ranges)
        rangeTexts
            << QStringLiteral("%1,%2,%3").arg(QString::number(r.start), QString::number(r.end), r.name);

    return IniFile::write(path, [&](QSettings& settings) {
        settings.beginGroup(QStringLiteral("main"));
        settings.setValue(QStringLiteral("mediaPath"), mediaPath);
        settings.setValue(QStringLiteral("frames"), frameText);
        settings.setValue(QStringLiteral("ranges"), rangeTexts);
        settings.setValue(QStringLiteral("start"), currentRangeStart);
        settings.setValue(QStringLiteral("end"), currentRangeEnd);
        settings.endGroup();
    });
}
