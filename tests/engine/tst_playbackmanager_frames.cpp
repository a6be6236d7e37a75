// Frame truth through the playback controller: the picture the viewer holds
// after a seek, a step or while playing is the frame of the file that belongs
// to the clock, read back from the index painted into every test picture.
#include "playbackharness.h"
#include "testclips.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtTest>
#include <algorithm>

using PM = PlaybackManager;

namespace {

double seekTime(const TestClip& clip, int frameNumber)
{
    return (frameNumber - 1) * (double(clip.frameRateDen) / clip.frameRateNum) + 0.0001;
}

} // namespace

class PlaybackManagerFramesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(!TestClips::directory().isEmpty(), "ORVEL_TEST_CLIPS is not set"); }

    void seekShowsTheFrame_data()
    {
        QTest::addColumn<QString>("name");
        for (const TestClip& clip : TestClips::withVideo())
            QTest::newRow(qPrintable(clip.name)) << clip.name;
    }

    // For 30 random frames n: seek to n shows encoded n - 1, one step forward
    // shows n, one step back from there shows n - 2 (in shown numbering).
    void seekShowsTheFrame()
    {
        QFETCH(QString, name);
        const TestClip clip = TestClips::clip(name);
        PlaybackHarness h;
        QVERIFY(h.load(clip.path()));
        QCOMPARE(h.shownPicture(), clip.firstIndex);
        // A stream without an index gives its length as an estimate until the
        // decoder reaches its end, and a seek past the length known goes to
        // the last frame known: the test's frames must all be known first.
        const double allFrames = (clip.frameCount - 0.5) * clip.frameRateDen / clip.frameRateNum;
        QVERIFY(QTest::qWaitFor([&] { return h.manager.mediaDuration() > allFrames; },
                                PlaybackHarness::TimeoutMs));

        QRandomGenerator random(quint32(qHash(name)));
        QStringList wrong;
        const auto check = [&](int frameNumber) {
            h.manager.seek(seekTime(clip, frameNumber), 0.0, false);
            if (!h.waitForShownFrame(frameNumber - 1)) {
                wrong << QStringLiteral("frame %1: not shown (last %2, status %3)")
                             .arg(frameNumber)
                             .arg(h.manager.lastFrameIndex())
                             .arg(h.manager.status());
                return;
            }
            const int expected = clip.firstIndex + frameNumber - 1;
            const int picture = h.shownPicture();
            if (picture != expected)
                wrong << QStringLiteral("frame %1: picture %2, expected %3")
                             .arg(frameNumber)
                             .arg(picture)
                             .arg(expected);
        };
        for (int i = 0; i < 30; ++i) {
            const int n = 1 + int(random.bounded(clip.frameCount));
            check(n);
            if (n < clip.frameCount)
                check(n + 1);
            if (n >= 2)
                check(n - 1);
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));
        QCOMPARE(h.manager.state(), PM::Paused);
    }

    // Playing 3 s of a 25 fps clip, the viewer is handed each picture once,
    // in order, never one ahead of the clock; the GUI thread held up for a
    // few frame times, it still shows every frame passed over meanwhile (bar
    // those the machine held it up for longer still); paused, it holds
    // exactly the frame of the clock. (Whether a machine keeps up with every
    // frame is measured by bench_playback.)
    void playingShowsEachFrameOnceInOrder()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("mpeg4_641x361.mov"));
        PlaybackHarness h;
        QVERIFY(h.load(clip.path()));
        // The frame a picture is shown for at clock time t (see VideoFrameCache::frameAt).
        const auto frameFor = [&](double t) {
            return clip.firstIndex + int((t + VideoFrameCache::lookupTolerance(1 / 25.0)) * 25.0);
        };
        QList<int> shown{h.shownPicture()};
        QStringList ahead;
        QStringList passedOver;
        qint64 lastKey = h.viewer.pixmap().cacheKey();
        // Each tick that hands the viewer a new picture reports the time after it.
        QObject::connect(&h.manager, &PM::playbackTimeChanged, &h.manager, [&](double t) {
            const QPixmap pixmap = h.viewer.pixmap();
            if (pixmap.cacheKey() == lastKey)
                return;
            lastKey = pixmap.cacheKey();
            shown << FrameIndex::read(pixmap.toImage());
            if (shown.last() > frameFor(t))
                ahead << QStringLiteral("picture %1 at %2 s").arg(shown.last()).arg(t);
            // Passed over while playing: a frame due at most LongestLateSeconds
            // ago (paused, the clock's frame is shown at once).
            const int previous = shown[shown.size() - 2];
            const double lateBy = h.manager.playbackTime() - (previous + 1 - clip.firstIndex) / 25.0;
            if (shown.last() > previous + 1 && lateBy <= LateFrames::LongestLateSeconds &&
                h.manager.state() == PM::Playing)
                passedOver
                    << QStringLiteral("%1 after %2, %3 s late").arg(shown.last()).arg(previous).arg(lateBy);
            // The GUI thread held up for over two frame times, as on a busy machine.
            if (shown.size() == 10)
                QThread::msleep(90);
        });
        // Every frame played is cached first: a decoder that fell behind the
        // clock would pass over frames of its own accord.
        QVERIFY(
            QTest::qWaitFor([&] { return h.manager.cachedRangeEnd() > 3.2; }, PlaybackHarness::TimeoutMs));
        h.manager.play();
        QVERIFY(QTest::qWaitFor([&] { return h.manager.playbackTime() >= 3.0; }, PlaybackHarness::TimeoutMs));
        h.manager.pause();

        QVERIFY(shown.size() > 10);
        for (int i = 1; i < shown.size(); ++i)
            QVERIFY2(shown[i] > shown[i - 1],
                     qPrintable(QStringLiteral("%1 after %2").arg(shown[i]).arg(shown[i - 1])));
        QVERIFY2(passedOver.isEmpty(), qPrintable(passedOver.join(QLatin1Char('\n'))));
        QVERIFY2(ahead.isEmpty(), qPrintable(ahead.join(QLatin1Char('\n'))));
        const int paused = frameFor(h.manager.playbackTime());
        QVERIFY(h.waitForShownFrame(paused - clip.firstIndex));
        QCOMPARE(h.shownPicture(), paused);
    }

    // A clock that jumps ahead while playing (as on a busy machine) makes the
    // decoder pass over the pictures it is late for: a seek or a pause into
    // that gap decodes the frame again rather than showing the one before.
    void framesPassedOverAreDecodedAgain()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("h264_1080p25.mp4"));
        PlaybackHarness h;
        QVERIFY(h.load(clip.path()));
        // The cache holds about 80 of these pictures: it fills, then waits.
        QVERIFY(
            QTest::qWaitFor([&] { return h.manager.cachedFrameCount() > 60; }, PlaybackHarness::TimeoutMs));
        QVERIFY(h.manager.cachedRangeEnd() < 4.0);
        h.manager.play();
        h.jumpClock(6.0);
        QVERIFY(
            QTest::qWaitFor([&] { return h.manager.cachedRangeEnd() > 6.0; }, PlaybackHarness::TimeoutMs));
        h.manager.pause();
        h.manager.seek(100 / 25.0 + 0.0001, 0.0, false);
        QVERIFY(h.waitForShownFrame(100));
        QCOMPARE(h.shownPicture(), 100);
    }

    void playBackward_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("speed");
        QTest::addColumn<int>("from");
        QTest::newRow("long GOP") << QStringLiteral("h264_1080p25.mp4") << 1.0 << 200;
        QTest::newRow("intra-only") << QStringLiteral("intra_mjpeg.avi") << 1.0 << 200;
        QTest::newRow("intra-only 2x") << QStringLiteral("intra_mjpeg.avi") << 2.0 << 200;
        // Sought by searching the file for timestamps, not through an index.
        QTest::newRow("program stream") << QStringLiteral("mpeg2_ps.mpg") << 1.0 << 199;
    }

    // Played backwards from frame `from` to 100, the viewer is handed the
    // pictures in descending order, each the picture of its frame: at the
    // normal speed every one of them, faster some. Paused, the reader decodes
    // forwards again from there: the next frame comes as after any seek.
    void playBackward()
    {
        QFETCH(QString, name);
        QFETCH(double, speed);
        QFETCH(int, from);
        PlaybackHarness h;
        QVERIFY(h.load(TestClips::path(name)));
        h.manager.seek(from / 25.0 + 0.0001, 0.0, false);
        QVERIFY(h.waitForShownFrame(from));
        h.manager.setSpeedMultiplier(speed);

        QList<int> shown{from};
        QStringList wrong;
        QObject::connect(&h.manager, &PM::playbackTimeChanged, &h.manager, [&] {
            const int index = h.manager.lastFrameIndex();
            if (shown.last() == index)
                return;
            shown << index;
            const int picture = h.shownPicture();
            if (picture != index)
                wrong << QStringLiteral("frame %1: picture %2").arg(index).arg(picture);
        });
        h.manager.playBackward();
        QVERIFY(h.manager.playingBackward());
        QCOMPARE(h.manager.state(), PM::Playing);
        QVERIFY(
            QTest::qWaitFor([&] { return h.manager.lastFrameIndex() <= 100; }, PlaybackHarness::TimeoutMs));
        h.manager.pause();
        QVERIFY(!h.manager.playingBackward());

        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));
        for (int i = 1; i < shown.size(); ++i)
            QVERIFY2(shown[i] < shown[i - 1],
                     qPrintable(QStringLiteral("%1 after %2").arg(shown[i]).arg(shown[i - 1])));
        if (speed == 1.0) {
            QVERIFY(shown.size() > from - 100);
            QCOMPARE(shown[from - 100], 100);
        }
        const int paused = h.manager.lastFrameIndex();
        QVERIFY(h.waitForStatus(PM::Ready));
        h.manager.seek((paused + 1) / 25.0 + 0.0001, 0.0, false);
        QVERIFY(h.waitForShownFrame(paused + 1));
        QCOMPARE(h.shownPicture(), paused + 1);
    }

    // At half speed the clock advances half as fast as the wall clock. Each
    // reading of the clock is bracketed by two of the wall clock, so the
    // ratio is known within bounds that a busy machine only widens.
    void halfSpeedClock()
    {
        PlaybackHarness h;
        QVERIFY(h.load(TestClips::path(QStringLiteral("mpeg4_641x361.mov"))));
        QElapsedTimer wall;
        wall.start();
        struct Reading
        {
            double clock;
            qint64 before;
            qint64 after;
        };
        const auto read = [&] {
            Reading r;
            r.before = wall.nsecsElapsed();
            r.clock = h.manager.playbackTime();
            r.after = wall.nsecsElapsed();
            return r;
        };
        for (const double speed : {0.5, 1.0}) {
            h.manager.setSpeedMultiplier(speed);
            h.manager.play();
            const Reading start = read();
            QVERIFY(QTest::qWaitFor([&] { return h.manager.playbackTime() >= start.clock + 0.5; },
                                    PlaybackHarness::TimeoutMs));
            const Reading end = read();
            h.manager.pause();
            const double advanced = end.clock - start.clock;
            const double fastest = advanced / ((end.before - start.after) / 1e9);
            const double slowest = advanced / ((end.after - start.before) / 1e9);
            QVERIFY2(slowest <= speed * 1.01 && fastest >= speed * 0.99,
                     qPrintable(QStringLiteral("speed %1: clock/wall between %2 and %3")
                                    .arg(speed)
                                    .arg(slowest)
                                    .arg(fastest)));
        }
    }

    // Changing the cache size empties the cache and refills it from the clock.
    void cacheSizeChange()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("h264_1080p25.mp4"));
        PlaybackHarness h;
        QVERIFY(h.load(clip.path()));
        h.manager.seek(seekTime(clip, 101), 0.0, false);
        QVERIFY(h.waitForShownFrame(100));
        h.manager.setCacheSize(512000000, 0.5f);
        QCOMPARE(h.manager.cacheSize(), int64_t(512000000));
        QCOMPARE(h.manager.status(), PM::Seeking);
        QVERIFY(QTest::qWaitFor(
            [&] { return h.manager.status() == PM::Ready && h.manager.cachedFrameCount() > 40; },
            PlaybackHarness::TimeoutMs));
        QCOMPARE(h.manager.lastFrameIndex(), 100);
        QCOMPARE(h.shownPicture(), 100);
        QVERIFY(h.manager.cachedRangeStart() <= seekTime(clip, 101));
    }
};

QTEST_MAIN(PlaybackManagerFramesTest)
#include "tst_playbackmanager_frames.moc"
