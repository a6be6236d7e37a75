// Fuzzes the bookmarks file reader on arbitrary bytes, then its writer.
//
// The input is written as a bookmarks file and loaded. What was loaded must
// be a well-formed model (frames ascending and non-negative, ranges sorted,
// distinct and non-negative), and saving it must keep it: the model is saved
// to a new file and over the input file (which merges the input's other
// keys), and each reloads into exactly the model that was loaded.
#include "bookmarks.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "bookmarks file invariant broken: %s\n", what);
        std::abort();
    }
}

void checkWellFormed(const Bookmarks& model)
{
    const QVector<int>& frames = model.frameBookmarks();
    for (int i = 0; i < frames.size(); ++i) {
        check(frames[i] >= 0, "frame bookmarks are not negative");
        check(i == 0 || frames[i - 1] < frames[i], "frame bookmarks ascend, each once");
        check(model.hasFrameBookmark(frames[i]), "a listed frame bookmark is found");
    }
    const QVector<RangeBookmark>& ranges = model.rangeBookmarks();
    for (int i = 0; i < ranges.size(); ++i) {
        check(ranges[i].start >= 0 && ranges[i].end >= 0, "range bookmarks are not negative");
        if (i > 0) {
            const RangeBookmark& before = ranges[i - 1];
            check(before.start < ranges[i].start ||
                      (before.start == ranges[i].start && before.end < ranges[i].end),
                  "range bookmarks are sorted by start and end, each once");
        }
        check(model.hasRangeBookmark(ranges[i].start, ranges[i].end), "a listed range bookmark is found");
    }
}

void checkSame(const Bookmarks& loaded, const Bookmarks& reloaded, const char* where)
{
    const bool same = loaded.mediaPath == reloaded.mediaPath &&
                      loaded.frameBookmarks() == reloaded.frameBookmarks() &&
                      loaded.rangeBookmarks() == reloaded.rangeBookmarks() &&
                      loaded.currentRangeStart == reloaded.currentRangeStart &&
                      loaded.currentRangeEnd == reloaded.currentRangeEnd;
    if (!same) {
        std::fprintf(
            stderr, "%s: media path '%s' / '%s', %d / %d frames, %d / %d ranges, range %d-%d / %d-%d\n",
            where, qPrintable(loaded.mediaPath), qPrintable(reloaded.mediaPath),
            loaded.frameBookmarks().size(), reloaded.frameBookmarks().size(), loaded.rangeBookmarks().size(),
            reloaded.rangeBookmarks().size(), loaded.currentRangeStart, loaded.currentRangeEnd,
            reloaded.currentRangeStart, reloaded.currentRangeEnd);
    }
    check(same, "a saved model reloads unchanged");
}

Bookmarks reload(const QString& path)
{
    Bookmarks model;
    model.load(QFileInfo(path));
    checkWellFormed(model);
    return model;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A folder per input: QSettings caches the files it has read by path,
    // size and modification time, which two inputs written in the same
    // millisecond could share.
    QTemporaryDir folder;
    check(folder.isValid(), "a temporary folder can be made");
    const QString input = folder.filePath(QStringLiteral("input.bmk"));
    {
        QFile file(input);
        check(file.open(QIODevice::WriteOnly), "the input file can be written");
        check(file.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size),
              "the input file can be written");
    }

    Bookmarks loaded;
    loaded.mediaPath = QStringLiteral("/before/load.mp4");
    loaded.load(QFileInfo(input));
    checkWellFormed(loaded);

    const QString copy = folder.filePath(QStringLiteral("copy.bmk"));
    check(loaded.save(copy), "a loaded model can be saved to a new file");
    checkSame(loaded, reload(copy), "saved to a new file");

    check(loaded.save(input), "a loaded model can be saved over the file it came from");
    checkSame(loaded, reload(input), "saved over its file");
    return 0;
}
