#include "bookmarks.h"

#include "inifile.h"

#include <QSettings>
#include <algorithm>
#include <atomic>
#include <cstdio>

const QString Bookmarks::fileExtension = QStringLiteral("bmk");

namespace {

std::atomic<quint64> lastRevision{0};

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

// A decimal int as QString::toInt reads it. The plain digits the program
// writes are read here directly, which is what makes a file of millions of
// bookmarks quick to load; any other text goes to toInt.
int toNumber(const QChar* text, int length, bool* ok)
{
    constexpr int maximumPlainDigits = 9; // never beyond an int
    if (length > 0 && length <= maximumPlainDigits) {
        int value = 0;
        int i = 0;
        for (; i < length; ++i) {
            const ushort c = text[i].unicode();
            if (c < '0' || c > '9')
                break;
            value = value * 10 + (c - '0');
        }
        if (i == length) {
            *ok = true;
            return value;
        }
    }
    return QString::fromRawData(text, length).toInt(ok, 10);
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
        number = toNumber(text.constData() + position, comma - position, &ok);
        if (!ok)
            return false;
        position = comma + 1;
    }
    *start = numbers[0];
    *end = numbers[1];
    *name = text.mid(position);
    return true;
}

bool rangeBefore(const RangeBookmark& a, const RangeBookmark& b)
{
    return a.start < b.start || (a.start == b.start && a.end < b.end);
}

bool sameEnds(const RangeBookmark& a, const RangeBookmark& b)
{
    return a.start == b.start && a.end == b.end;
}

void appendNumber(QString& text, int number)
{
    char digits[16];
    const int length = std::snprintf(digits, sizeof digits, "%d", number);
    text.append(QLatin1String(digits, length));
}

} // namespace

void Bookmarks::changed()
{
    changeNumber = ++lastRevision;
}

void Bookmarks::addFrameBookmark(int frame)
{
    if (frame < 0)
        return;
    const auto it = std::lower_bound(frames.begin(), frames.end(), frame);
    if (it != frames.end() && *it == frame)
        return;
    frames.insert(it, frame);
    changed();
}

void Bookmarks::removeFrameBookmark(int frame)
{
    removeFrameBookmarksInRange(frame, frame);
}

void Bookmarks::removeFrameBookmarksInRange(int first, int last)
{
    if (first > last)
        return;
    const auto from = std::lower_bound(frames.begin(), frames.end(), first);
    const auto to = std::upper_bound(from, frames.end(), last);
    if (from == to)
        return;
    frames.erase(from, to);
    changed();
}

void Bookmarks::clearFrameBookmarks()
{
    if (frames.isEmpty())
        return;
    frames.clear();
    changed();
}

bool Bookmarks::hasFrameBookmark(int frame) const
{
    return std::binary_search(frames.cbegin(), frames.cend(), frame);
}

int Bookmarks::rangeLowerBound(int start, int end) const
{
    const auto it =
        std::lower_bound(ranges.cbegin(), ranges.cend(), RangeBookmark{start, end, QString()}, rangeBefore);
    return static_cast<int>(it - ranges.cbegin());
}

int Bookmarks::indexOfRangeBookmark(int start, int end) const
{
    const int index = rangeLowerBound(start, end);
    return index < ranges.size() && ranges[index].start == start && ranges[index].end == end ? index : -1;
}

void Bookmarks::addRangeBookmark(int start, int end, const QString& name)
{
    if (start < 0 || end < 0 || hasRangeBookmark(start, end))
        return;
    ranges.insert(rangeLowerBound(start, end), RangeBookmark{start, end, name});
    changed();
}

void Bookmarks::removeRangeBookmark(int start, int end)
{
    const int index = indexOfRangeBookmark(start, end);
    if (index < 0)
        return;
    ranges.removeAt(index);
    changed();
}

bool Bookmarks::hasRangeBookmark(int start, int end) const
{
    return indexOfRangeBookmark(start, end) >= 0;
}

void Bookmarks::clearRangeBookmarks()
{
    if (!ranges.isEmpty()) {
        ranges.clear();
        changed();
    }
    clearCurrentRange();
}

void Bookmarks::setCurrentRange(int start, int end)
{
    if (start == currentRangeStart && end == currentRangeEnd)
        return;
    currentRangeStart = start;
    currentRangeEnd = end;
    changed();
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

Bookmarks::LoadResult Bookmarks::load(const QFileInfo& file)
{
    clear();
    // A fresh look at the file: the caller's QFileInfo may hold an old answer.
    const QFileInfo info(file.absoluteFilePath());
    if (!info.exists())
        return LoadResult::Missing;
    mediaPath.clear();
    changed();
    if (info.isFile() && info.size() > IniFile::maximumSize)
        return LoadResult::TooLarge;
    if (!IniFile::isSafeToRead(info.absoluteFilePath()))
        return LoadResult::Unreadable;

    QSettings settings(info.absoluteFilePath(), QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("main"));
    mediaPath = singleText(settings.value(QStringLiteral("mediaPath")));
    loadFrameBookmarks(singleText(settings.value(QStringLiteral("frames"))));
    loadRangeBookmarks(settings.value(QStringLiteral("ranges")).toStringList());
    currentRangeStart = frameNumber(settings.value(QStringLiteral("start")));
    currentRangeEnd = frameNumber(settings.value(QStringLiteral("end")));
    settings.endGroup();
    changed();
    return LoadResult::Loaded;
}

void Bookmarks::loadFrameBookmarks(const QString& text)
{
    // One pass over the text; a file the program wrote is in order already,
    // anything else is sorted once.
    QVector<int> loaded;
    bool inOrder = true;
    const QChar* const begin = text.constData();
    const int size = text.size();
    int position = 0;
    while (position < size) {
        int comma = text.indexOf(QLatin1Char(','), position);
        if (comma < 0)
            comma = size;
        bool ok = false;
        const int frame = comma > position ? toNumber(begin + position, comma - position, &ok) : -1;
        if (ok && frame >= 0) {
            inOrder = inOrder && (loaded.isEmpty() || loaded.constLast() < frame);
            loaded.append(frame);
        }
        position = comma + 1;
    }
    if (!inOrder) {
        std::sort(loaded.begin(), loaded.end());
        loaded.erase(std::unique(loaded.begin(), loaded.end()), loaded.end());
    }
    loaded.squeeze();
    frames = loaded;
}

void Bookmarks::loadRangeBookmarks(const QStringList& elements)
{
    QVector<RangeBookmark> loaded;
    loaded.reserve(elements.size());
    bool inOrder = true;
    for (const QString& element : elements) {
        RangeBookmark r;
        if (!parseRangeElement(element, &r.start, &r.end, &r.name) || r.start < 0 || r.end < 0)
            continue;
        inOrder = inOrder && (loaded.isEmpty() || rangeBefore(loaded.constLast(), r));
        loaded.append(r);
    }
    if (!inOrder) {
        // Of several elements with the same start and end, the first stays.
        std::stable_sort(loaded.begin(), loaded.end(), rangeBefore);
        loaded.erase(std::unique(loaded.begin(), loaded.end(), sameEnds), loaded.end());
    }
    ranges = loaded;
}

bool Bookmarks::save(const QString& path) const
{
    QString frameText;
    frameText.reserve(frames.size() * 8);
    for (int frame : frames) {
        appendNumber(frameText, frame);
        frameText += QLatin1Char(',');
    }
    QStringList rangeTexts;
    rangeTexts.reserve(ranges.size());
    for (const RangeBookmark& r : ranges) {
        QString text;
        text.reserve(r.name.size() + 24);
        appendNumber(text, r.start);
        text += QLatin1Char(',');
        appendNumber(text, r.end);
        text += QLatin1Char(',');
        text += r.name;
        rangeTexts << text;
    }

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
