#pragma once

#include "rangebookmark.h"

#include <QFileInfo>
#include <QList>
#include <QMap>
#include <QString>

// The frame and range bookmarks of the loaded clip, with the path of the media
// they belong to and the range bookmark chosen last. Frame numbers are the
// 1-based numbers of the window and the timelines.
class Bookmarks
{
public:
    // The extension of bookmarks files, without its dot.
    static const QString fileExtension;

    QString mediaPath;
    int currentRangeStart = -1;
    int currentRangeEnd = -1;

    void addFrameBookmark(int frame);
    void removeFrameBookmark(int frame);
    void removeFrameBookmarksInRange(int first, int last);
    void clearFrameBookmarks();
    bool hasFrameBookmark(int frame) const;
    // Ascending.
    QList<int> frameBookmarks() const;

    // Keeps the list sorted by start, then end; a second bookmark with the same
    // start and end is not added (the first keeps its name).
    void addRangeBookmark(int start, int end, const QString& name);
    void removeRangeBookmark(int start, int end);
    bool hasRangeBookmark(int start, int end) const;
    const QList<RangeBookmark>& rangeBookmarks() const { return ranges; }
    void clearRangeBookmarks();

    void setCurrentRange(int start, int end);
    void clearCurrentRange();

    // Removes every bookmark and the current range; the media path stays.
    void clear();

    // Replaces the model by the content of a bookmarks file. A missing file
    // leaves the model empty; unreadable entries are skipped.
    void load(const QFileInfo& file);
    // Writes the model to a bookmarks file. Returns false when the file could
    // not be written; the file that was there before then stays as it was.
    bool save(const QString& path) const;

private:
    // The index of the first entry that sorts after (start, end), or of the
    // entry with exactly that start and end.
    int rangeLowerBound(int start, int end) const;

    QMap<int, int> frames;
    QList<RangeBookmark> ranges;
};
