// The bookmark model and its file: ordering and uniqueness, the exact text
// the file holds, what is read from hand-made and broken files, and what a
// failed save leaves behind. Files live in a temporary folder; HOME is the
// test's own.
#include "bookmarks.h"
#include "bookmarksfileloader.h"
#include "bookmarksfilesaver.h"
#include "filesizelimit.h"
#include "messagecounter.h"
#include "patience.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <climits>
#include <functional>
#include <memory>
#include <unistd.h>

namespace {

// "start,end,name" for each range bookmark, in list order.
QStringList describe(const QVector<RangeBookmark>& ranges)
{
    QStringList texts;
    for (const RangeBookmark& r : ranges)
        texts << QStringLiteral("%1|%2|%3").arg(QString::number(r.start), QString::number(r.end), r.name);
    return texts;
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(77u + quint32(size));
    for (char& c : bytes)
        c = char(generator.generate());
    return bytes;
}

void verifyEmpty(const Bookmarks& b)
{
    QCOMPARE(b.frameBookmarks(), QVector<int>());
    QCOMPARE(b.rangeBookmarks().size(), 0);
    QCOMPARE(b.currentRangeStart, -1);
    QCOMPARE(b.currentRangeEnd, -1);
}

} // namespace

Q_DECLARE_METATYPE(Bookmarks)
Q_DECLARE_METATYPE(Bookmarks::LoadResult)

class TestBookmarks : public QObject
{
    Q_OBJECT

private:
    QString filePath(const QString& name) const { return folder->filePath(name); }

    // Loads a bookmarks file of the given text into a fresh model.
    Bookmarks loadText(const QByteArray& text)
    {
        const QString path = filePath(QStringLiteral("read.bmk"));
        writeFile(path, text);
        Bookmarks b;
        b.load(QFileInfo(path));
        return b;
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<Bookmarks>();
        qRegisterMetaType<Bookmarks::LoadResult>();
    }

    void init()
    {
        folder = std::make_unique<QTemporaryDir>();
        QVERIFY(folder->isValid());
    }
    void cleanup()
    {
        QFile::setPermissions(folder->path(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        folder.reset();
    }

    void newModelIsEmpty()
    {
        const Bookmarks b;
        QVERIFY(b.mediaPath.isEmpty());
        verifyEmpty(b);
        QCOMPARE(Bookmarks::fileExtension, QStringLiteral("bmk"));
    }

    void frameBookmarksAreUniqueAndAscending()
    {
        Bookmarks b;
        b.addFrameBookmark(12);
        b.addFrameBookmark(12);
        QCOMPARE(b.frameBookmarks(), QVector<int>{12});
        b.addFrameBookmark(40);
        b.addFrameBookmark(5);
        b.addFrameBookmark(-1);
        b.addFrameBookmark(INT_MIN);
        b.addFrameBookmark(0);
        b.addFrameBookmark(INT_MAX);
        QCOMPARE(b.frameBookmarks(), (QVector<int>{0, 5, 12, 40, INT_MAX}));
        QVERIFY(b.hasFrameBookmark(5));
        QVERIFY(!b.hasFrameBookmark(6));
        b.removeFrameBookmark(5);
        b.removeFrameBookmark(6);
        QCOMPARE(b.frameBookmarks(), (QVector<int>{0, 12, 40, INT_MAX}));
        b.clearFrameBookmarks();
        QCOMPARE(b.frameBookmarks(), QVector<int>());
    }

    void removeFrameBookmarksInRange()
    {
        Bookmarks b;
        for (int frame : {5, 9, 10, 11, 15, 20, 21, 30})
            b.addFrameBookmark(frame);
        b.removeFrameBookmarksInRange(20, 10);
        QCOMPARE(b.frameBookmarks().size(), 8);
        b.removeFrameBookmarksInRange(10, 20);
        QCOMPARE(b.frameBookmarks(), (QVector<int>{5, 9, 21, 30}));
        b.removeFrameBookmarksInRange(30, 30);
        QCOMPARE(b.frameBookmarks(), (QVector<int>{5, 9, 21}));
        // The whole int range returns at once: the bookmarks are walked, not
        // the frame numbers.
        b.addFrameBookmark(INT_MAX);
        b.removeFrameBookmarksInRange(INT_MIN, INT_MAX);
        QCOMPARE(b.frameBookmarks(), QVector<int>());
    }

    void rangeBookmarksAreSortedAndUnique()
    {
        Bookmarks b;
        b.addRangeBookmark(30, 40, QStringLiteral("30 - 40"));
        b.addRangeBookmark(10, 90, QStringLiteral("10 - 90"));
        b.addRangeBookmark(10, 20, QStringLiteral("10 - 20"));
        QCOMPARE(describe(b.rangeBookmarks()),
                 (QStringList{"10|20|10 - 20", "10|90|10 - 90", "30|40|30 - 40"}));
        b.addRangeBookmark(10, 90, QStringLiteral("renamed"));
        b.addRangeBookmark(-1, 5, QStringLiteral("x"));
        b.addRangeBookmark(5, -1, QStringLiteral("x"));
        b.addRangeBookmark(10, 50, QStringLiteral("10 - 50"));
        b.addRangeBookmark(0, 0, QStringLiteral("0 - 0"));
        b.addRangeBookmark(40, 30, QStringLiteral("reversed"));
        QCOMPARE(describe(b.rangeBookmarks()),
                 (QStringList{"0|0|0 - 0", "10|20|10 - 20", "10|50|10 - 50", "10|90|10 - 90", "30|40|30 - 40",
                              "40|30|reversed"}));
        QVERIFY(b.hasRangeBookmark(10, 50));
        QVERIFY(!b.hasRangeBookmark(10, 51));
        QVERIFY(!b.hasRangeBookmark(50, 10));
    }

    void removingRangeBookmarksLeavesTheCurrentRange()
    {
        Bookmarks b;
        b.addRangeBookmark(10, 20, QStringLiteral("a"));
        b.addRangeBookmark(30, 40, QStringLiteral("b"));
        b.setCurrentRange(10, 20);
        b.removeRangeBookmark(10, 20);
        b.removeRangeBookmark(10, 21);
        QCOMPARE(describe(b.rangeBookmarks()), QStringList{"30|40|b"});
        QCOMPARE(b.currentRangeStart, 10);
        QCOMPARE(b.currentRangeEnd, 20);
        b.clearCurrentRange();
        QCOMPARE(b.currentRangeStart, -1);
        QCOMPARE(b.currentRangeEnd, -1);
    }

    void clearing()
    {
        Bookmarks b;
        b.mediaPath = QStringLiteral("/clips/a.mp4");
        b.addFrameBookmark(3);
        b.addRangeBookmark(1, 2, QStringLiteral("n"));
        b.setCurrentRange(1, 2);
        b.clearRangeBookmarks();
        QCOMPARE(b.rangeBookmarks().size(), 0);
        QCOMPARE(b.currentRangeStart, -1);
        QCOMPARE(b.frameBookmarks(), QVector<int>{3});
        b.addRangeBookmark(1, 2, QStringLiteral("n"));
        b.setCurrentRange(1, 2);
        b.clear();
        verifyEmpty(b);
        QCOMPARE(b.mediaPath, QStringLiteral("/clips/a.mp4"));
    }

    void writesTheFileFormat()
    {
        Bookmarks b;
        b.mediaPath = QStringLiteral("/clips/a, b.mp4");
        b.addFrameBookmark(17);
        b.addFrameBookmark(3);
        b.addRangeBookmark(10, 48, QStringLiteral("10 - 48"));
        b.setCurrentRange(10, 48);
        const QString path = filePath(QStringLiteral("written.bmk"));
        QVERIFY(b.save(path));

        const QSettings file(path, QSettings::IniFormat);
        QCOMPARE(file.childGroups(), QStringList{QStringLiteral("main")});
        QCOMPARE(file.value(QStringLiteral("main/mediaPath")).toString(), QStringLiteral("/clips/a, b.mp4"));
        QCOMPARE(file.value(QStringLiteral("main/frames")).toString(), QStringLiteral("3,17,"));
        QCOMPARE(file.value(QStringLiteral("main/ranges")).toStringList(), QStringList{"10,48,10 - 48"});
        QCOMPARE(file.value(QStringLiteral("main/start")).toInt(), 10);
        QCOMPARE(file.value(QStringLiteral("main/end")).toInt(), 48);
        QVERIFY(contentOf(path).contains("frames=\"3,17,\"\n"));

        const QString emptyPath = filePath(QStringLiteral("empty.bmk"));
        QVERIFY(Bookmarks().save(emptyPath));
        const QSettings empty(emptyPath, QSettings::IniFormat);
        QVERIFY(empty.contains(QStringLiteral("main/frames")));
        QCOMPARE(empty.value(QStringLiteral("main/frames")).toString(), QString());
        QCOMPARE(empty.value(QStringLiteral("main/ranges")).toStringList(), QStringList());
        QCOMPARE(empty.value(QStringLiteral("main/start")).toInt(), -1);
        QCOMPARE(empty.value(QStringLiteral("main/end")).toInt(), -1);
    }

    void readsHandMadeFiles_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QVector<int>>("frames");
        QTest::addColumn<QStringList>("ranges");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<QString>("mediaPath");
        const auto row = [](const char* tag, const QByteArray& text, const QVector<int>& frames,
                            const QStringList& ranges, int start = -1, int end = -1,
                            const QString& media = {}) {
            QTest::newRow(tag) << text << frames << ranges << start << end << media;
        };
        row("frames quoted", "[main]\nframes=\"5,,x,7\"\n", {5, 7}, {});
        row("frames unquoted", "[main]\nframes=5,,x,7\n", {5, 7}, {});
        row("frames with junk", "[main]\nframes=\"-3,4, 8 ,9x,99999999999,0x10,12,4,\"\n", {4, 8, 12}, {});
        row("frames as toInt reads them", "[main]\nframes=\"+5,0012,2147483647,2147483648,1e3,\"\n",
            {5, 12, 2147483647}, {});
        row("frames out of order", "[main]\nframes=\"9,3,9,1,\"\n", {1, 3, 9}, {});
        row("name with commas", "[main]\nranges=\"10,20,a,b\"\n", {}, {"10|20|a,b"});
        row("no name", "[main]\nranges=\"10,20\"\n", {}, {});
        row("start no number", "[main]\nranges=\"x,20,name\"\n", {}, {});
        row("end no number", "[main]\nranges=\"10,y,name\"\n", {}, {});
        row("duplicates merged", "[main]\nranges=\"10,20,first\", \"10,20,second\"\n", {}, {"10|20|first"});
        row("sorted", "[main]\nranges=\"30,40,c\", \"10,90,b\", \"10,20,a\"\n", {},
            {"10|20|a", "10|90|b", "30|40|c"});
        row("sorted, first of duplicates kept",
            "[main]\nranges=\"30,40,c\", \"+10,20,a\", \"30,40,d\", \"10,20,b\"\n", {},
            {"10|20|a", "30|40|c"});
        row("negative", "[main]\nranges=\"-1,5,n\", \"5,-1,n\"\n", {}, {});
        row("beyond int", "[main]\nranges=\"99999999999,5,n\"\n", {}, {});
        row("empty fields before the numbers", "[main]\nranges=\",10,,20,n\"\n", {}, {"10|20|n"});
        row("empty name", "[main]\nranges=\"10,20,\"\n", {}, {"10|20|"});
        row("range list", "[main]\nranges=\"1,2,a\", \"3,4,b,c\", broken\n", {}, {"1|2|a", "3|4|b,c"});
        row("start and end absent", "[main]\nframes=\"1,\"\n", {1}, {});
        row("start and end", "[main]\nstart=10\nend=20\n", {}, {}, 10, 20);
        row("start only", "[main]\nstart=10\n", {}, {}, 10, -1);
        row("start no number", "[main]\nstart=abc\nend=99999999999\n", {}, {});
        row("start list", "[main]\nstart=1, 2\nend=3\n", {}, {}, -1, 3);
        row("other group", "[other]\nframes=\"1,2,\"\nstart=4\n", {}, {});
        row("media path", "[main]\nmediaPath=/clips/a.mp4\n", {}, {}, -1, -1, "/clips/a.mp4");
        row("media path unquoted commas", "[main]\nmediaPath=/clips/a,b.mp4\n", {}, {}, -1, -1,
            "/clips/a,b.mp4");
        row("everything",
            "[main]\nmediaPath=\"/c/x.mov\"\nframes=\"2,1,\"\nranges=\"1,2,a\"\nstart=1\nend=2\n", {1, 2},
            {"1|2|a"}, 1, 2, "/c/x.mov");
    }
    void readsHandMadeFiles()
    {
        QFETCH(QByteArray, text);
        QFETCH(QVector<int>, frames);
        QFETCH(QStringList, ranges);
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(QString, mediaPath);
        MessageCounter counter;
        const Bookmarks b = loadText(text);
        QCOMPARE(b.frameBookmarks(), frames);
        QCOMPARE(describe(b.rangeBookmarks()), ranges);
        QCOMPARE(b.currentRangeStart, start);
        QCOMPARE(b.currentRangeEnd, end);
        QCOMPARE(b.mediaPath, mediaPath);
        QCOMPARE(counter.messages(), 0);
    }

    void roundTripsExactly()
    {
        const QStringList names = {
            QStringLiteral("10 - 48"),
            QStringLiteral("a,b"),
            QStringLiteral("a,,b"),
            QStringLiteral(",lead"),
            QStringLiteral("trail,"),
            QStringLiteral(","),
            QString(),
            QStringLiteral("  spaced out  "),
            QStringLiteral("quote \" inside \"\""),
            QStringLiteral("'single'"),
            QStringLiteral("back\\slash\\"),
            QStringLiteral("non-ASCII \u00e9\u00df \u65e5\u672c\u8a9e \U0001F600"),
            QStringLiteral("@at start"),
            QStringLiteral("@@ twice"),
            QStringLiteral("%1 %2"),
            QStringLiteral("semi;colon = sign [brackets] #hash"),
            QStringLiteral("line\nbreak\ttab\r"),
        };
        Bookmarks b;
        b.mediaPath = QStringLiteral("/clips/\u00e9t\u00e9, \"final\" #2.mp4");
        for (int i = 0; i < names.size(); ++i)
            b.addRangeBookmark(i * 10, i * 10 + 5, names[i]);
        for (int frame : {0, 1, 2, 999, 123456, INT_MAX})
            b.addFrameBookmark(frame);
        b.setCurrentRange(30, 35);
        const QString path = filePath(QStringLiteral("round trip.bmk"));
        QVERIFY(b.save(path));

        Bookmarks read;
        read.load(QFileInfo(path));
        QCOMPARE(read.mediaPath, b.mediaPath);
        QCOMPARE(read.frameBookmarks(), b.frameBookmarks());
        QCOMPARE(describe(read.rangeBookmarks()), describe(b.rangeBookmarks()));
        QCOMPARE(read.currentRangeStart, 30);
        QCOMPARE(read.currentRangeEnd, 35);

        // Saving what was read gives the same file.
        const QString again = filePath(QStringLiteral("again.bmk"));
        QVERIFY(read.save(again));
        QCOMPARE(contentOf(again), contentOf(path));
    }

    void loadReplacesTheModel()
    {
        Bookmarks b;
        b.mediaPath = QStringLiteral("/old.mp4");
        b.addFrameBookmark(99);
        b.addRangeBookmark(7, 8, QStringLiteral("old"));
        b.setCurrentRange(7, 8);
        const QString path = filePath(QStringLiteral("new.bmk"));
        writeFile(path, "[main]\nmediaPath=/new.mp4\nframes=\"1,\"\n");
        b.load(QFileInfo(path));
        QCOMPARE(b.mediaPath, QStringLiteral("/new.mp4"));
        QCOMPARE(b.frameBookmarks(), QVector<int>{1});
        QCOMPARE(b.rangeBookmarks().size(), 0);
        QCOMPARE(b.currentRangeStart, -1);

        // A missing file empties the bookmarks and keeps the media path.
        b.load(QFileInfo(filePath(QStringLiteral("missing.bmk"))));
        verifyEmpty(b);
        QCOMPARE(b.mediaPath, QStringLiteral("/new.mp4"));
        b.load(QFileInfo());
        verifyEmpty(b);
    }

    void saveKeepsOtherGroupsAndKeys()
    {
        const QString path = filePath(QStringLiteral("shared.bmk"));
        writeFile(path, "[extra]\nnote=\"kept, as is\"\n[main]\nframes=\"1,\"\nowner=me\n");
        Bookmarks b;
        b.addFrameBookmark(2);
        QVERIFY(b.save(path));
        const QSettings file(path, QSettings::IniFormat);
        QCOMPARE(file.value(QStringLiteral("extra/note")).toString(), QStringLiteral("kept, as is"));
        QCOMPARE(file.value(QStringLiteral("main/owner")).toString(), QStringLiteral("me"));
        QCOMPARE(file.value(QStringLiteral("main/frames")).toString(), QStringLiteral("2,"));
    }

    // Broken files give an empty model without media path, and no message.
    void badFilesGiveAnEmptyModel_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("random bytes") << randomBytes(64 * 1024);
        QTest::newRow("random bytes, 50 MB") << randomBytes(50 * 1000 * 1000);
        QTest::newRow("binary file") << contentOf(QCoreApplication::applicationFilePath());
        QTest::newRow("zeros") << QByteArray(100000, '\0');
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("serialised values")
            << QByteArray("[main]\nmediaPath=/a.mp4\nframes=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\0\\x5)\n");
        QTest::newRow("forged list length")
            << QByteArray("[main]\nmediaPath=/a.mp4\nranges=@Variant(\\0\\0\\0\\v\\x7f\\xff\\xff\\xff)\n");
        QTest::newRow("values of the wrong type")
            << QByteArray("[main]\nmediaPath=@Invalid()\nframes=@Rect(1 2 3 4)\nranges=@Size(1 2)\n"
                          "start=@Point(1 2)\nend=\"4,5\"\n");
    }
    void badFilesGiveAnEmptyModel()
    {
        QFETCH(QByteArray, content);
        const QString path = filePath(QStringLiteral("bad.bmk"));
        writeFile(path, content);
        MessageCounter counter;
        Bookmarks b;
        b.mediaPath = QStringLiteral("/before.mp4");
        b.addFrameBookmark(1);
        b.load(QFileInfo(path));
        verifyEmpty(b);
        QCOMPARE(b.mediaPath, QString());
        QCOMPARE(counter.messages(), 0);
    }

    void loadSaysWhyNothingWasRead()
    {
        const QString missing = filePath(QStringLiteral("missing.bmk"));
        const QString folderPath = filePath(QStringLiteral("folder.bmk"));
        QVERIFY(QDir().mkpath(folderPath));
        const QString serialised = filePath(QStringLiteral("serialised.bmk"));
        writeFile(serialised, "[main]\nframes=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\0\\x5)\n");
        const QString huge = filePath(QStringLiteral("huge.bmk"));
        {
            QFile file(huge);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(256 * 1024 * 1024 + 1)); // sparse: takes no space
        }
        const QString good = filePath(QStringLiteral("good.bmk"));
        writeFile(good, "[main]\nframes=\"1,\"\n");
        using Result = Bookmarks::LoadResult;
        const QList<QPair<QString, Result>> cases = {{missing, Result::Missing},
                                                     {folderPath, Result::Unreadable},
                                                     {serialised, Result::Unreadable},
                                                     {huge, Result::TooLarge},
                                                     {good, Result::Loaded}};
        for (const auto& c : cases) {
            Bookmarks b;
            QCOMPARE(b.load(QFileInfo(c.first)), c.second);
        }
    }

    void revisionFollowsEveryChange()
    {
        Bookmarks b;
        const Bookmarks other;
        QCOMPARE(b.revision(), other.revision());
        QList<quint64> seen{b.revision()};
        const auto changes = [&](const std::function<void()>& change) {
            change();
            const bool isNew = !seen.contains(b.revision());
            seen << b.revision();
            return isNew;
        };
        QVERIFY(changes([&] { b.addFrameBookmark(5); }));
        QVERIFY(!changes([&] { b.addFrameBookmark(5); }));
        QVERIFY(!changes([&] { b.addFrameBookmark(-1); }));
        QVERIFY(changes([&] { b.addRangeBookmark(1, 9, QStringLiteral("a")); }));
        QVERIFY(!changes([&] { b.addRangeBookmark(1, 9, QStringLiteral("b")); }));
        QVERIFY(changes([&] { b.setCurrentRange(1, 9); }));
        QVERIFY(!changes([&] { b.setCurrentRange(1, 9); }));
        QVERIFY(!changes([&] { b.removeFrameBookmark(6); }));
        QVERIFY(changes([&] { b.removeFrameBookmarksInRange(0, 10); }));
        QVERIFY(!changes([&] { b.removeRangeBookmark(2, 9); }));
        QVERIFY(changes([&] { b.removeRangeBookmark(1, 9); }));
        QVERIFY(changes([&] { b.clearCurrentRange(); }));
        QVERIFY(!changes([&] { b.clear(); }));
        // A copy is the same bookmarks; a model changed elsewhere never
        // takes a revision this one had.
        const Bookmarks copy = b;
        QCOMPARE(copy.revision(), b.revision());
        Bookmarks elsewhere;
        elsewhere.addFrameBookmark(1);
        QVERIFY(!seen.contains(elsewhere.revision()));
        const QString path = filePath(QStringLiteral("r.bmk"));
        writeFile(path, "[main]\nframes=\"1,\"\n");
        QVERIFY(changes([&] { b.load(QFileInfo(path)); }));
    }

    // Loads run on a worker thread; of two loads in a row only the second is
    // reported, and a cancelled load not at all.
    void loaderReportsTheLastLoadOnly()
    {
        const QString first = filePath(QStringLiteral("first.bmk"));
        const QString second = filePath(QStringLiteral("second.bmk"));
        writeFile(first, "[main]\nframes=\"1,\"\n");
        writeFile(second, "[main]\nmediaPath=/b.mp4\nframes=\"2,3,\"\n");
        BookmarksFileLoader loader;
        QSignalSpy finished(&loader, &BookmarksFileLoader::finished);
        loader.load(first);
        loader.load(second);
        QVERIFY(loader.isLoading());
        QVERIFY(finished.wait(patienceMs));
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toString(), second);
        QCOMPARE(finished.at(0).at(1).value<Bookmarks::LoadResult>(), Bookmarks::LoadResult::Loaded);
        const Bookmarks loaded = finished.at(0).at(2).value<Bookmarks>();
        QCOMPARE(loaded.frameBookmarks(), (QVector<int>{2, 3}));
        QCOMPARE(loaded.mediaPath, QStringLiteral("/b.mp4"));
        QVERIFY(!loader.isLoading());

        loader.load(first);
        loader.cancel();
        QVERIFY(!loader.isLoading());
        loader.load(second);
        QVERIFY(finished.wait(patienceMs));
        QCOMPARE(finished.count(), 2);
        QCOMPARE(finished.at(1).at(0).toString(), second);
    }

    // Saves run on a worker thread, one after the other, each writing the
    // bookmarks as they were when it was asked for.
    void saverWritesInOrder()
    {
        const QString path = filePath(QStringLiteral("saved.bmk"));
        BookmarksFileSaver saver;
        QSignalSpy finished(&saver, &BookmarksFileSaver::finished);
        Bookmarks b;
        b.addFrameBookmark(1);
        saver.save(b, path);
        b.addFrameBookmark(2);
        const quint64 last = b.revision();
        saver.save(b, path);
        saver.save(b, QStringLiteral("/proc/orvel-test.bmk"));
        b.addFrameBookmark(3);
        saver.finishSaves();
        QVERIFY(!saver.isSaving());
        QCOMPARE(finished.count(), 3);
        QCOMPARE(finished.at(1).at(0).toString(), path);
        QCOMPARE(finished.at(1).at(1).value<quint64>(), last);
        QCOMPARE(finished.at(1).at(2).toBool(), true);
        QCOMPARE(finished.at(2).at(2).toBool(), false);
        Bookmarks read;
        read.load(QFileInfo(path));
        QCOMPARE(read.frameBookmarks(), (QVector<int>{1, 2}));
    }

    void directoryInPlaceOfTheFile()
    {
        const QString path = filePath(QStringLiteral("folder.bmk"));
        QVERIFY(QDir().mkpath(path));
        Bookmarks b;
        b.mediaPath = QStringLiteral("/before.mp4");
        b.load(QFileInfo(path));
        verifyEmpty(b);
        QCOMPARE(b.mediaPath, QString());
        b.addFrameBookmark(1);
        QVERIFY(!b.save(path));
        QVERIFY(QFileInfo(path).isDir());
    }

    void failedSaveKeepsTheOldFile()
    {
        const QString path = filePath(QStringLiteral("kept.bmk"));
        Bookmarks old;
        old.addFrameBookmark(1);
        QVERIFY(old.save(path));
        const QByteArray before = contentOf(path);

        Bookmarks many;
        for (int frame = 0; frame < 5000; ++frame)
            many.addFrameBookmark(frame);
        {
            FileSizeLimit limit(4096);
            QVERIFY(!many.save(path));
        }
        QCOMPARE(contentOf(path), before);
        QCOMPARE(QDir(folder->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"kept.bmk"});
        QVERIFY(many.save(path));
        Bookmarks read;
        read.load(QFileInfo(path));
        QCOMPARE(read.frameBookmarks().size(), 5000);

        // No file can be made in /proc, by root either.
        QVERIFY(!many.save(QStringLiteral("/proc/orvel-test.bmk")));
        QVERIFY(!many.save(QString()));
    }

    void readOnlyPlacesFail()
    {
        if (geteuid() == 0)
            QSKIP("permissions do not stop root; the full-disk case covers the failing write");
        const QString path = filePath(QStringLiteral("locked.bmk"));
        Bookmarks b;
        b.addFrameBookmark(1);
        QVERIFY(b.save(path));
        const QByteArray before = contentOf(path);
        b.addFrameBookmark(2);
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
        QVERIFY(!b.save(path));
        QCOMPARE(contentOf(path), before);
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QVERIFY(QFile::setPermissions(folder->path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        QVERIFY(!b.save(path));
        QVERIFY(!b.save(filePath(QStringLiteral("new.bmk"))));
        QCOMPARE(contentOf(path), before);
    }

private:
    std::unique_ptr<QTemporaryDir> folder;
};

QTEST_GUILESS_MAIN(TestBookmarks)
#include "tst_bookmarks.moc"
