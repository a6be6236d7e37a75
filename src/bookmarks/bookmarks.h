#pragma once

#include "rangebookmark.h"

#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QVector>

// The frame and range bookmarks of the loaded clip, with the path of the media
// they belong to and the range bookmark chosen last. Frame numbers are the
// 1-based numbers of the window and the timelines.
//
// Both kinds are kept in sorted arrays, so that a file of millions of
// bookmarks loads in one pass and a sort, lookups are binary searches, and
// copying the model (to hand a loaded one over, or to save one) shares them.
class Bookmarks
{
public:
    // The extension of bookmarks files, without its dot.
    static const QString fileExtension;

    enum class LoadResult
    {
        Loaded,
        Missing,
        // Larger than IniFile::maximumSize.
        TooLarge,
        // No regular file, not readable, or holding serialised-object values.
        Unreadable,
    };

    QString mediaPath;
    int currentRangeStart = -1;
    int currentRangeEnd = -1;

    // Negative frames are ignored; a frame already marked stays marked once.
    void addFrameBookmark(int frame);
    void removeFrameBookmark(int frame);
    // Removes the bookmarks from first to last, both included.
    void removeFrameBookmarksInRange(int first, int last);
    void clearFrameBookmarks();
    bool hasFrameBookmark(int frame) const;
    // Ascending, each frame once.
    const QVector<int>& frameBookmarks() const { return frames; }

    // Keeps the list sorted by start, then end; a second bookmark with the same
    // start and end is not added (the first keeps its name), nor one with a
    // negative start or end.
    void addRangeBookmark(int start, int end, const QString& name);
    void removeRangeBookmark(int start, int end);
    bool hasRangeBookmark(int start, int end) const;
    // The position of that range bookmark in rangeBookmarks(), or -1.
    int indexOfRangeBookmark(int start, int end) const;
    const QVector<RangeBookmark>& rangeBookmarks() const { return ranges; }
    // Also forgets the current range.
    void clearRangeBookmarks();

    void setCurrentRange(int start, int end);
    void clearCurrentRange();

    // Removes every bookmark and the current range; the media path stays.
    void clear();

    // Changes with every change of the bookmarks or of the current range made
    // through the functions of this class, to a number no model of the
    // process had before: equal revisions mean equal bookmarks. A view
    // compares it with the revision it drew, a window with the one it saved.
    quint64 revision() const { return changeNumber; }

    // Replaces the model by the content of a bookmarks file (INI format, one
    // group "main" with mediaPath, frames, ranges, start and end). A missing
    // file leaves an empty model with the media path unchanged; a file that
    // cannot be read, or is too large, leaves an empty model without media
    // path. Entries that do not parse are skipped; an absent start or end
    // reads as -1. Safe to run on any thread, on a model no other thread uses.
    LoadResult load(const QFileInfo& file);
    // Writes the model to a bookmarks file; other groups and keys already in
    // the file stay. Returns false when the file could not be written; the
    // file that was there before then stays as it was.
    bool save(const QString& path) const;

private:
    void loadFrameBookmarks(const QString& text);
    void loadRangeBookmarks(const QStringList& elements);
    // Takes a new revision.
    void changed();

    // The position of the first entry that sorts after (start, end), or of
    // the entry with exactly that start and end.
    int rangeLowerBound(int start, int end) const;

    QVector<int> frames;
    QVector<RangeBookmark> ranges;
    quint64 changeNumber = 0;
};
