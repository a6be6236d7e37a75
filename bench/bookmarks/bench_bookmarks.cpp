// Times the bookmark model and its file.
//
// With 100,000 frame bookmarks and 10,000 range bookmarks: building the model
// in random order, saving it (new file and over the old one), and loading it
// back, also from a file that lists the ranges in reverse order.
//
// With 1,000,000 frame bookmarks and 100,000 range bookmarks ("large_"):
// building the model, saving and loading it, and beside each the same work
// done the previous way ("large_previous_"): a map of frames and a list of
// ranges filled one bookmark at a time from what QSettings read, as the model
// did before it kept sorted arrays.
//
// Prints "name: value" lines; times are the median of several runs, in
// milliseconds.
#include "bookmarks.h"
#include "inifile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QMap>
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
constexpr int largeFrameCount = 1000000;
constexpr int largeRangeCount = 100000;
constexpr int largeRuns = 3;

double medianMilliseconds(const std::function<void()>& work, int count = runs)
{
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
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

int rangeStart(int i)
{
    return i * 25 + 1;
}

int rangeEnd(int i)
{
    return rangeStart(i) + 10 + i % 50;
}

QString rangeName(int i)
{
    return QStringLiteral("%1 - %2").arg(rangeStart(i)).arg(rangeEnd(i));
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
    for (int i : ranges)
        model.addRangeBookmark(rangeStart(i), rangeEnd(i), rangeName(i));
    model.setCurrentRange(26, 47);
    return model;
}

// In order, as a file the program wrote lists them.
Bookmarks buildLargeModel()
{
    Bookmarks model;
    model.mediaPath = QStringLiteral("/clips/review/a long clip name, take 3.mov");
    for (int i = 0; i < largeFrameCount; ++i)
        model.addFrameBookmark(i * 3 + 1);
    for (int i = 0; i < largeRangeCount; ++i)
        model.addRangeBookmark(rangeStart(i), rangeEnd(i), rangeName(i));
    model.setCurrentRange(26, 47);
    return model;
}

// The model as it was kept before, with its loading and saving: the
// reference the large figures are compared with.
struct PreviousModel
{
    QString mediaPath;
    QMap<int, int> frames;
    QList<RangeBookmark> ranges;
    int currentRangeStart = -1;
    int currentRangeEnd = -1;

    void addRangeBookmark(int start, int end, const QString& name)
    {
        if (start < 0 || end < 0)
            return;
        const auto it = std::lower_bound(ranges.begin(), ranges.end(), std::make_pair(start, end),
                                         [](const RangeBookmark& r, const std::pair<int, int>& key) {
                                             return std::make_pair(r.start, r.end) < key;
                                         });
        if (it != ranges.end() && it->start == start && it->end == end)
            return;
        ranges.insert(it, RangeBookmark{start, end, name});
    }

    void load(const QString& path)
    {
        frames.clear();
        ranges.clear();
        if (!IniFile::isSafeToRead(path))
            return;
        QSettings settings(path, QSettings::IniFormat);
        settings.beginGroup(QStringLiteral("main"));
        mediaPath = settings.value(QStringLiteral("mediaPath")).toString();
        const QString frameText = settings.value(QStringLiteral("frames")).toString();
        for (const QStringRef& part : frameText.splitRef(QLatin1Char(','), Qt::SkipEmptyParts)) {
            bool ok = false;
            const int frame = part.toInt(&ok, 10);
            if (ok && frame >= 0)
                frames.insert(frame, frame);
        }
        for (const QString& element : settings.value(QStringLiteral("ranges")).toStringList()) {
            int numbers[2] = {0, 0};
            int position = 0;
            bool ok = true;
            for (int& number : numbers) {
                while (position < element.size() && element.at(position) == QLatin1Char(','))
                    ++position;
                const int comma = element.indexOf(QLatin1Char(','), position);
                ok = ok && position < element.size() && comma >= 0;
                if (ok)
                    number = element.midRef(position, comma - position).toInt(&ok, 10);
                position = comma + 1;
            }
            if (ok)
                addRangeBookmark(numbers[0], numbers[1], element.mid(position));
        }
        currentRangeStart = settings.value(QStringLiteral("start"), -1).toInt();
        currentRangeEnd = settings.value(QStringLiteral("end"), -1).toInt();
    }

    bool save(const QString& path) const
    {
        QString frameText;
        for (auto it = frames.cbegin(); it != frames.cend(); ++it)
            frameText += QString::number(it.key()) + QLatin1Char(',');
        QStringList rangeTexts;
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
};

bool measureSmall(const QString& folder)
{
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
        const QVector<RangeBookmark>& ranges = model.rangeBookmarks();
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
    return saved && same;
}

bool measureLarge(const QString& folder)
{
    const QString path = folder + QStringLiteral("/large.bmk");
    const QString previousPath = folder + QStringLiteral("/large_previous.bmk");
    std::printf("large_frame_bookmarks: %d\n", largeFrameCount);
    std::printf("large_range_bookmarks: %d\n", largeRangeCount);

    Bookmarks model;
    print("large_model_build_ms", medianMilliseconds([&] { model = buildLargeModel(); }, largeRuns));
    bool saved = true;
    print("large_save_new_ms", medianMilliseconds(
                                   [&] {
                                       QFile::remove(path);
                                       saved = model.save(path) && saved;
                                   },
                                   largeRuns));
    print("large_save_over_ms", medianMilliseconds([&] { saved = model.save(path) && saved; }, largeRuns));
    std::printf("large_file_bytes: %lld\n", QFileInfo(path).size());
    Bookmarks loaded;
    print("large_load_ms", medianMilliseconds([&] { loaded.load(QFileInfo(path)); }, largeRuns));

    PreviousModel previous;
    print("large_previous_load_ms", medianMilliseconds([&] { previous.load(path); }, largeRuns));
    print("large_previous_save_new_ms", medianMilliseconds(
                                            [&] {
                                                QFile::remove(previousPath);
                                                saved = previous.save(previousPath) && saved;
                                            },
                                            largeRuns));
    print("large_previous_save_over_ms",
          medianMilliseconds([&] { saved = previous.save(previousPath) && saved; }, largeRuns));

    const bool same = loaded.frameBookmarks() == model.frameBookmarks() &&
                      loaded.rangeBookmarks() == model.rangeBookmarks() &&
                      previous.frames.size() == largeFrameCount && previous.ranges.size() == largeRangeCount;
    const bool sameFiles = QFileInfo(path).size() == QFileInfo(previousPath).size();
    std::printf("large_saved: %s\n", saved ? "yes" : "no");
    std::printf("large_round_trip_equal: %s\n", same ? "yes" : "no");
    std::printf("large_file_same_as_previous_way: %s\n", sameFiles ? "yes" : "no");
    return saved && same && sameFiles;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir temporary;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path();
    const bool small = measureSmall(folder);
    const bool large = measureLarge(folder);
    return small && large ? 0 : 1;
}
