// Times the bookmark model and its file with 100,000 frame bookmarks and
// 10,000 range bookmarks: building the model in random order, saving it (new
// file and over the old one), and loading it back, also from a file that
// lists the ranges in reverse order. Prints "name: value" lines; times are the
// median of several runs, in milliseconds.
#include "bookmarks.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int frameCount = 100000;
constexpr int rangeCount = 10000;
constexpr int runs = 5;

double medianMilliseconds(const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void print(const char* name, double value)
{
    std::printf("%s: %.1f\n", name, value);
}

Bookmarks buildModel()
{
    std::vector<int> frames(frameCount);
    for (int i = 0; i < frameCount; ++i)
        frames[size_t(i)] = i * 3 + 1;
    std::vector<int> ranges(rangeCount);
    for (int i = 0; i < rangeCount; ++i)
        ranges[size_t(i)] = i;
    QRandomGenerator generator(42);
    std::shuffle(frames.begin(), frames.end(), generator);
    std::shuffle(ranges.begin(), ranges.end(), generator);

    Bookmarks model;
    model.mediaPath = QStringLiteral("/clips/review/a long clip name, take 3.mov");
    for (int frame : frames)
        model.addFrameBookmark(frame);
    for (int i : ranges) {
        const int start = i * 25 + 1;
        const int end = start + 10 + i % 50;
        model.addRangeBookmark(start, end, QStringLiteral("%1 - %2").arg(start).arg(end));
    }
    model.setCurrentRange(26, 47);
    return model;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir temporary;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path();
    const QString path = folder + QStringLiteral("/bench.bmk");
    const QString reversedPath = folder + QStringLiteral("/reversed.bmk");

    Bookmarks model;
    print("model_build_ms", medianMilliseconds([&] { model = buildModel(); }));

    bool saved = true;
    print("save_new_ms", medianMilliseconds([&] {
              QFile::remove(path);
              saved = model.save(path) && saved;
          }));
    print("save_over_ms", medianMilliseconds([&] { saved = model.save(path) && saved; }));
    std::printf("file_bytes: %lld\n", QFileInfo(path).size());

    Bookmarks loaded;
    print("load_ms", medianMilliseconds([&] { loaded.load(QFileInfo(path)); }));
    std::printf("frame_bookmarks_loaded: %d\n", int(loaded.frameBookmarks().size()));
    std::printf("range_bookmarks_loaded: %d\n", int(loaded.rangeBookmarks().size()));

    {
        QStringList reversed;
        const QList<RangeBookmark>& ranges = model.rangeBookmarks();
        for (auto it = ranges.crbegin(); it != ranges.crend(); ++it)
            reversed << QStringLiteral("%1,%2,%3")
                            .arg(QString::number(it->start), QString::number(it->end), it->name);
        QSettings file(reversedPath, QSettings::IniFormat);
        file.setValue(QStringLiteral("main/ranges"), reversed);
    }
    Bookmarks loadedReversed;
    print("load_reversed_ranges_ms",
          medianMilliseconds([&] { loadedReversed.load(QFileInfo(reversedPath)); }));
    std::printf("range_bookmarks_loaded_reversed: %d\n", int(loadedReversed.rangeBookmarks().size()));

    const bool same = loaded.frameBookmarks() == model.frameBookmarks() &&
                      loaded.rangeBookmarks() == model.rangeBookmarks() &&
                      loadedReversed.rangeBookmarks() == model.rangeBookmarks();
    std::printf("saved: %s\n", saved ? "yes" : "no");
    std::printf("round_trip_equal: %s\n", same ? "yes" : "no");
    return saved && same ? 0 : 1;
}
