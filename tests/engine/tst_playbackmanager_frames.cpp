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

// The thread sanitizer slows every thread several fold: decoding 25 pictures
// a second of a clip then needs more than the two cores, and pictures the
// decoder delivers too late are skipped, as they are on a slow machine.
#if defined(__SANITIZE_THREAD__)
constexpr bool RealTimeSpeed = false;
#else
constexpr bool RealTimeSpeed = true;
#endif

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

    // Every frame of 3 s of a 25 fps clip reaches the viewer once, in order.
    void playingShowsEveryFrame()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("mpeg4_641x361.mov"));
        PlaybackHarness h;
        QVERIFY(h.load(clip.path()));
        QList<int> shown{h.shownPicture()};
        qint64 lastKey = h.viewer.pixmap().cacheKey();
        // Each tick that hands the viewer a new picture reports the time after it.
        QObject::connect(&h.manager, &PM::playbackTimeChanged, &h.manager, [&](double) {
            const QPixmap pixmap = h.viewer.pixmap();
            if (pixmap.cacheKey() == lastKey)
                return;
            lastKey = pixmap.cacheKey();
            shown << FrameIndex::read(pixmap.toImage());
        });
#ifdef ORVEL_SANITIZED
        // A sanitizer build decodes several times slower; a slower clock still
        // shows whether any frame is skipped or shown out of order.
        h.manager.setSpeedMultiplier(0.25);
#endif
        h.manager.play();
        QVERIFY(QTest::qWaitFor([&] { return h.manager.playbackTime() >= 3.0; }, PlaybackHarness::TimeoutMs));
        h.manager.pause();

        const int last = int(h.manager.playbackTime() * 25.0);
        if (!RealTimeSpeed) {
            // Still in order and each picture once.
            for (int i = 1; i < shown.size(); ++i)
                QVERIFY2(shown[i] > shown[i - 1],
                         qPrintable(QStringLiteral("%1 after %2").arg(shown[i]).arg(shown[i - 1])));
            QVERIFY(shown.size() > 1);
            return;
        }
        QVERIFY2(shown.size() >= 75, qPrintable(QString::number(shown.size())));
        QStringList problems;
        for (int i = 0; i < shown.size(); ++i) {
            if (shown[i] != i)
                problems << QStringLiteral("position %1 shows %2").arg(i).arg(shown[i]);
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.mid(0, 10).join(QLatin1Char('\n'))));
        QVERIFY(shown.last() >= last - 1);
    }

    // At half speed the clock advances half as fast as the wall clock.
    void halfSpeedClock()
    {
        PlaybackHarness h;
        QVERIFY(h.load(TestClips::path(QStringLiteral("mpeg4_641x361.mov"))));
        h.manager.setSpeedMultiplier(0.5);
        const double start = h.manager.playbackTime();
        QElapsedTimer wall;
        wall.start();
        h.manager.play();
        QTest::qWait(1200);
        const double advanced = h.manager.playbackTime() - start;
        const double elapsed = wall.nsecsElapsed() / 1e9;
        h.manager.pause();
        const double ratio = advanced / elapsed;
        QVERIFY2(ratio > 0.4 && ratio < 0.6, qPrintable(QStringLiteral("clock/wall %1").arg(ratio)));

        // Back at normal speed the clock keeps pace with the wall clock.
        h.manager.setSpeedMultiplier(1.0);
        const double again = h.manager.playbackTime();
        wall.restart();
        h.manager.play();
        QTest::qWait(600);
        const double ratio1 = (h.manager.playbackTime() - again) / (wall.nsecsElapsed() / 1e9);
        h.manager.pause();
        QVERIFY2(ratio1 > 0.8 && ratio1 < 1.2, qPrintable(QStringLiteral("clock/wall %1").arg(ratio1)));
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
