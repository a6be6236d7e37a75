// The playback controller on the real clips with a real event loop: loading,
// the states and statuses it reports, playing into the end, seeking inside
// and outside the cache, unloading, errors, view options and destruction.
#include "playbackharness.h"
#include "testclips.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

using PM = PlaybackManager;

namespace {

// Limits this process's address space to what it uses now plus `extra`
// bytes while it lives, so that large allocations fail as they do when memory
// runs out.
class AddressSpaceLimit
{
public:
    explicit AddressSpaceLimit(rlim_t extra)
    {
        getrlimit(RLIMIT_AS, &previous);
        QFile statm(QStringLiteral("/proc/self/statm"));
        statm.open(QIODevice::ReadOnly);
        const rlim_t used = statm.readAll().split(' ').value(0).toULongLong() * rlim_t(getpagesize());
        rlimit limited = previous;
        limited.rlim_cur = used + extra;
        setrlimit(RLIMIT_AS, &limited);
    }
    ~AddressSpaceLimit() { setrlimit(RLIMIT_AS, &previous); }
    AddressSpaceLimit(const AddressSpaceLimit&) = delete;
    AddressSpaceLimit& operator=(const AddressSpaceLimit&) = delete;

private:
    rlimit previous{};
};

double frameTime(const TestClip& clip, int frameNumber)
{
    return (frameNumber - 1) / clip.frameRate() + 0.0001;
}

} // namespace

class PlaybackManagerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(!TestClips::directory().isEmpty(), "ORVEL_TEST_CLIPS is not set"); }

    void rejectsWhatItCannotOpen()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString text = dir.filePath(QStringLiteral("notes.txt"));
        QFile file(text);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a clip\n");
        file.close();

        PlaybackHarness h;
        QVERIFY(!h.manager.setMedia(text, 0, 0.7f));
        QVERIFY(h.hasError(PM::ResourceError, QStringLiteral("Unsupported format: txt")));

        QVERIFY(!h.manager.setMedia(dir.path(), 0, 0.7f));
        QVERIFY(h.hasError(PM::ResourceError, QStringLiteral("Invalid filename: %1").arg(dir.path())));

        const QString missing = dir.filePath(QStringLiteral("missing.mp4"));
        QVERIFY(!h.manager.setMedia(missing, 0, 0.7f));
        QVERIFY(h.hasError(PM::ResourceError, QStringLiteral("Invalid filename: %1").arg(missing)));

        // The same error twice in a row is reported twice.
        QVERIFY(!h.manager.setMedia(missing, 0, 0.7f));
        QCOMPARE(h.errorTexts().count(QStringLiteral("Invalid filename: %1").arg(missing)), 2);

        QCOMPARE(h.manager.status(), PM::NoMedia);
        QCOMPARE(h.manager.state(), PM::Stopped);
        QVERIFY(h.statuses().isEmpty());
    }

    void acceptsSuffixInAnyCase()
    {
        QTemporaryDir dir;
        const QString copy = dir.filePath(QStringLiteral("CLIP.MP4"));
        QVERIFY(QFile::copy(TestClips::path(QStringLiteral("video_only.mp4")), copy));
        PlaybackHarness h;
        QVERIFY(h.load(copy));
        QCOMPARE(h.manager.videoWidth(), 320);
    }

    void stateAfterLoading()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("h264_1080p25.mp4"));
        PlaybackHarness h;
        QVERIFY(h.manager.setMedia(clip.path(), 0, 0.7f));
        QCOMPARE(h.manager.status(), PM::Loading);
        QCOMPARE(h.manager.state(), PM::Stopped);
        QCOMPARE(h.manager.mediaFilename(), clip.path());
        // Nothing is known of the file until the reader has opened it.
        QCOMPARE(h.manager.frameRate(), 0.0);
        QVERIFY(h.waitForStatus(PM::Ready));

        QCOMPARE(h.manager.state(), PM::Paused);
        QCOMPARE(h.statuses(), (QList<int>{PM::Loading, PM::Loaded, PM::Ready}));
        QCOMPARE(h.states(), (QList<int>{PM::Paused}));
        QVERIFY(!h.times().isEmpty());
        QVERIFY(h.times().first() >= 0.0 && h.times().first() < 0.01);
        QVERIFY(h.manager.playbackTime() < 0.01);
        QCOMPARE(h.manager.frameRate(), 25.0);
        QCOMPARE(h.manager.frameDuration(), 0.04);
        QCOMPARE(h.manager.videoWidth(), 1920);
        QCOMPARE(h.manager.videoHeight(), 1080);
        QVERIFY(qAbs(h.manager.mediaDuration() - (12.0 - 0.0001)) < 1e-9);
        QVERIFY(h.manager.cachedFrameCount() > 0);
        QVERIFY(h.manager.videoCacheBytes() > 0);
        QVERIFY(h.manager.cachedRangeStart() <= 0.0 && h.manager.cachedRangeEnd() > 0.0);
        QCOMPARE(h.manager.lastFrameIndex(), 0);
        QCOMPARE(h.shownPicture(), 0);

        QVERIFY(h.unload());
        QCOMPARE(h.manager.state(), PM::Stopped);
        QVERIFY(h.viewer.pixmap().isNull());
        QCOMPARE(h.manager.mediaFilename(), QString());
        QCOMPARE(h.manager.videoWidth(), -1);
        QCOMPARE(h.manager.mediaDuration(), 0.0);
        QCOMPARE(h.manager.playbackTime(), 0.0);
        QCOMPARE(h.manager.speedMultiplier(), 1.0);
    }

    void playDoesNothingUnlessReady()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("h264_1080p25.mp4"));
        PlaybackHarness h;
        QVERIFY(h.manager.setMedia(clip.path(), 0, 0.7f));
        h.manager.play();
        QCOMPARE(h.manager.state(), PM::Stopped);
        QVERIFY(h.waitForStatus(PM::Ready));
        QCOMPARE(h.manager.state(), PM::Paused);

        // During a seek outside the cache.
        h.manager.seek(frameTime(clip, 200), 0.0, false);
        QCOMPARE(h.manager.status(), PM::Seeking);
        h.manager.play();
        QCOMPARE(h.manager.state(), PM::Paused);
        QVERIFY(h.waitForShownFrame(199));
        QCOMPARE(h.manager.state(), PM::Paused);

        // A second play() does nothing.
        h.manager.play();
        QCOMPARE(h.manager.state(), PM::Playing);
        const int stateReports = h.states().size();
        h.manager.play();
        QCOMPARE(h.manager.state(), PM::Playing);
        QCOMPARE(h.states().size(), stateReports);
        h.manager.pause();
        QCOMPARE(h.manager.state(), PM::Paused);
        h.manager.pause();
        QCOMPARE(h.states().size(), stateReports + 1);
    }

    void playIntoTheEnd()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("video_only.mp4"));
        PlaybackHarness h;
        QVERIFY(h.load(clip.path()));
        const double d = h.manager.mediaDuration();
        QVERIFY(qAbs(d - (120 / 30.0 - 0.0001)) < 1e-9);

        // play() while EndOfMedia is being reported does nothing.
        PM::State stateAfterPlayAtEnd = PM::Stopped;
        QObject::connect(&h.manager, &PM::statusChanged, &h.manager, [&](PM::Status s) {
            if (s == PM::EndOfMedia) {
                h.manager.play();
                stateAfterPlayAtEnd = h.manager.state();
            }
        });

        h.manager.seek(110 / 30.0 + 0.0001, 0.0, false);
        QVERIFY(h.waitForShownFrame(110));
        h.events.clear();
        h.manager.play();
        QVERIFY(QTest::qWaitFor([&] { return h.statuses().contains(PM::EndOfMedia); },
                                PlaybackHarness::TimeoutMs));
        // A decoder that fell behind the clock delivers the last frame later.
        QVERIFY(h.waitForShownFrame(119));

        QCOMPARE(h.manager.state(), PM::Paused);
        QCOMPARE(stateAfterPlayAtEnd, PM::Playing); // still reporting; the freeze follows
        // The clock rests inside the last frame, as a seek to it would.
        const double last = 119 / 30.0 + 0.0001;
        QVERIFY(qAbs(h.manager.playbackTime() - last) < 1e-4);
        QCOMPARE(h.manager.lastFrameIndex(), 119);
        QCOMPARE(h.shownPicture(), 119);

        // From the end: EndOfMedia, Paused, Ready, then the clamped time once
        // the last frame is shown; nothing more (the time that passed the
        // end would name a frame after the last).
        int at = -1;
        for (int i = 0; i < h.events.size(); ++i) {
            if (h.events[i].kind == PlaybackEvent::Status && h.events[i].value == PM::EndOfMedia)
                at = i;
        }
        QVERIFY(at >= 0);
        const QList<PlaybackEvent> tail = h.events.mid(at);
        QCOMPARE(tail.size(), 4);
        QCOMPARE(tail[1].kind, PlaybackEvent::State);
        QCOMPARE(tail[1].value, int(PM::Paused));
        QCOMPARE(tail[2].kind, PlaybackEvent::Status);
        QCOMPARE(tail[2].value, int(PM::Ready));
        QCOMPARE(tail[3].kind, PlaybackEvent::Time);
        QVERIFY(qAbs(tail[3].time - last) < 1e-4);
        QVERIFY(tail[3].time < d);

        // Playing on from the end stops again at once.
        h.events.clear();
        h.manager.play();
        QVERIFY(QTest::qWaitFor([&] { return h.statuses().contains(PM::EndOfMedia); },
                                PlaybackHarness::TimeoutMs));
        QCOMPARE(h.manager.state(), PM::Paused);

        // A tick that comes late, a frame and more past the end (a busy
        // machine), announces the last frame's time only. The last frame is
        // decoded and cached first.
        for (const int frame : {119, 110}) {
            h.manager.seek(frame / 30.0 + 0.0001, 0.0, false);
            QVERIFY(h.waitForShownFrame(frame));
        }
        QVERIFY(QTest::qWaitFor([&] { return h.manager.cachedRangeEnd() >= d; }, PlaybackHarness::TimeoutMs));
        h.manager.play();
        h.events.clear();
        h.jumpClock(d + 0.05);
        QCOMPARE(h.manager.lastFrameIndex(), 119);
        QCOMPARE(h.times().size(), 1);
        QVERIFY(qAbs(h.times().constFirst() - last) < 1e-4);
    }

    // A quarter of the speed puts the end of the 4 s clip 16 s of wall time
    // away: it is the stop time that stops the clock, however late the tick
    // that notices it.
    void stopTimeFreezesTheClock()
    {
        PlaybackHarness h;
        QVERIFY(h.load(TestClips::path(QStringLiteral("video_only.mp4"))));
        h.manager.setSpeedMultiplier(0.25);
        h.manager.play(0.2);
        QCOMPARE(h.manager.state(), PM::Playing);
        QVERIFY(QTest::qWaitFor([&] { return h.manager.state() == PM::Paused; }, PlaybackHarness::TimeoutMs));
        const double t = h.manager.playbackTime();
        QVERIFY2(t >= 0.2 && !h.statuses().contains(PM::EndOfMedia), qPrintable(QString::number(t)));
        QCOMPARE(h.manager.status(), PM::Ready);
        QCoreApplication::processEvents();
        QCOMPARE(h.manager.playbackTime(), t);
    }

    // The whole small clip fits the cache: the frame sought stays cached
    // however far playback has got.
    void cachedSeekWhilePlaying()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("video_only.mp4"));
        PlaybackHarness h;
        QVERIFY(h.load(clip.path()));
        QVERIFY(QTest::qWaitFor([&] { return h.manager.cachedFrameCount() == clip.frameCount; },
                                PlaybackHarness::TimeoutMs));
        QSignalSpy readerSeeks(&h.manager, &PM::seekRequested);
        h.manager.play();
        QVERIFY(QTest::qWaitFor([&] { return h.manager.playbackTime() >= 0.6; }, PlaybackHarness::TimeoutMs));
        QCOMPARE(h.manager.state(), PM::Playing);

        const int frame = 2;
        const double target = frameTime(clip, frame + 1);
        h.manager.seek(target, 0.0, false);
        QCOMPARE(h.manager.state(), PM::Paused);
        QCOMPARE(h.manager.status(), PM::Ready);
        QCOMPARE(readerSeeks.count(), 0);
        QVERIFY(qAbs(h.manager.playbackTime() - target) < 1e-3);
        QCOMPARE(h.manager.lastFrameIndex(), frame);
        QCOMPARE(h.shownPicture(), frame);
        QCoreApplication::processEvents();
        QVERIFY(qAbs(h.manager.playbackTime() - target) < 1e-3);
    }

    // Play right after a seek out of the cache waits for the decoder to get a
    // little ahead before the clock runs; a pause in that wait is final, and
    // playing again runs from the frame sought.
    void pauseWhilePlaybackWaitsForItsLead()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("h264_1080p25.mp4"));
        PlaybackHarness h;
        QVERIFY(h.load(clip.path()));
        const double target = frameTime(clip, 201);
        h.manager.seek(target, 0.0, false);
        QVERIFY(h.waitForShownFrame(200));
        h.manager.play();
        QCOMPARE(h.manager.state(), PM::Playing);
        h.manager.pause();
        QCOMPARE(h.manager.state(), PM::Paused);
        QVERIFY(QTest::qWaitFor([&] { return h.manager.cachedRangeEnd() >= target + 1.0; },
                                PlaybackHarness::TimeoutMs));
        QCoreApplication::processEvents();
        QCOMPARE(h.manager.state(), PM::Paused);
        QVERIFY(qAbs(h.manager.playbackTime() - target) < 1e-3);
        QCOMPARE(h.shownPicture(), 200);

        // Frames may be passed over on a busy machine: the clock runs on.
        h.manager.play();
        QVERIFY(
            QTest::qWaitFor([&] { return h.manager.lastFrameIndex() >= 203; }, PlaybackHarness::TimeoutMs));
        QCOMPARE(h.manager.state(), PM::Playing);
    }

    void onlyTheLastOfThreeSeeksIsRead()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("h264_1080p25.mp4"));
        PlaybackHarness h;
        QVERIFY(h.load(clip.path()));
        QSignalSpy readerSeeks(&h.manager, &PM::seekRequested);
        h.events.clear();

        h.manager.seek(frameTime(clip, 51), 0.0, false);
        h.manager.seek(frameTime(clip, 126), 0.0, false);
        h.manager.seek(frameTime(clip, 226), 0.0, false);
        QCOMPARE(readerSeeks.count(), 1);
        QCOMPARE(h.manager.status(), PM::Seeking);

        QVERIFY(h.waitForShownFrame(225));
        QCOMPARE(readerSeeks.count(), 2);
        QCOMPARE(h.statuses(), (QList<int>{PM::Seeking, PM::Ready}));
        QVERIFY(qAbs(h.manager.playbackTime() - frameTime(clip, 226)) < 1e-3);
        QCOMPARE(h.shownPicture(), 225);

        // A seek with clearCache goes to the reader even for a cached frame.
        h.manager.seek(frameTime(clip, 227), 0.0, true);
        QCOMPARE(readerSeeks.count(), 3);
        QVERIFY(h.waitForShownFrame(226));
        QCOMPARE(h.shownPicture(), 226);
    }

    // Stepping back out of the cache decodes the key frame's run up to the
    // target and keeps what fits behind the playhead: the steps that follow
    // are shown from memory, each with its own picture.
    void steppingBackContinuesFromMemory()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("h264_1080p25.mp4"));
        PlaybackHarness h;
        QVERIFY(h.load(clip.path()));
        h.manager.seek(frameTime(clip, 251), 0.0, false);
        QVERIFY(h.waitForShownFrame(250));
        QSignalSpy readerSeeks(&h.manager, &PM::seekRequested);
        QStringList wrong;
        for (int frame = 249; frame >= 230; --frame) {
            h.manager.seek(frameTime(clip, frame + 1), 0.04, false);
            if (!h.waitForShownFrame(frame) || h.shownPicture() != frame)
                wrong << QString::number(frame);
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char(' '))));
        // One seek of the reader, for the step across the key frame.
        QCOMPARE(readerSeeks.count(), 1);
    }

    // Seeks, plays and pauses at full speed, as a scrubbing user or a remote
    // script does; afterwards one seek still shows exactly its frame.
    void seekStorm()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("mpeg2_ps.mpg"));
        PlaybackHarness h;
        QVERIFY(h.load(clip.path()));
        QRandomGenerator random(4711);
        for (int i = 0; i < 150; ++i) {
            const int frame = 1 + int(random.bounded(clip.frameCount));
            switch (random.bounded(4)) {
            case 0:
                h.manager.play();
                break;
            case 1:
                h.manager.seek(frameTime(clip, frame), 0.04, random.bounded(5) == 0);
                break;
            default:
                // Scrubbing: a step next to where the clock is.
                h.manager.seek(h.manager.playbackTime() + (random.bounded(2) ? 0.04 : -0.04), 0.04, false);
                break;
            }
            QTest::qWait(int(random.bounded(4)));
        }
        h.manager.seek(frameTime(clip, 123), 0.0, false);
        QVERIFY(h.waitForShownFrame(122));
        QCOMPARE(h.shownPicture(), 122);
        QCOMPARE(h.manager.state(), PM::Paused);
        QVERIFY(h.unload());
    }

    void seekWhileStoppedDoesNothing()
    {
        PlaybackHarness h;
        QSignalSpy readerSeeks(&h.manager, &PM::seekRequested);
        h.manager.seek(1.0, 0.04, false);
        h.manager.pause();
        QCOMPARE(h.manager.state(), PM::Stopped);
        QCOMPARE(h.manager.status(), PM::NoMedia);
        QCOMPARE(readerSeeks.count(), 0);
        QVERIFY(h.events.isEmpty());

        QVERIFY(h.load(TestClips::path(QStringLiteral("video_only.mp4"))));
        h.manager.stop();
        h.manager.seek(1.0, 0.0, false);
        QCOMPARE(readerSeeks.count(), 0);
        QVERIFY(h.waitForStatus(PM::NoMedia));
    }

    void seekClampsToTheMedia()
    {
        PlaybackHarness h;
        QVERIFY(h.load(TestClips::path(QStringLiteral("video_only.mp4"))));
        h.manager.seek(-3.0, 0.0, false);
        QVERIFY(h.waitForShownFrame(0));
        QVERIFY(h.manager.playbackTime() < 0.01);
        h.manager.seek(1000.0, 0.0, false);
        QVERIFY(h.waitForShownFrame(119));
        QCOMPARE(h.shownPicture(), 119);
        QVERIFY(h.manager.playbackTime() < h.manager.mediaDuration());
    }

    void viewOptions()
    {
        PlaybackHarness h;
        h.manager.setRotation(450);
        QCOMPARE(h.manager.rotation(), 90);
        h.manager.setRotation(-90);
        QCOMPARE(h.manager.rotation(), -90);
        h.manager.setVolume(-5);
        QCOMPARE(h.manager.volume(), 0);
        h.manager.setVolume(40);
        QCOMPARE(h.manager.volume(), 40);
        h.manager.setVolume(400);
        QCOMPARE(h.manager.volume(), 150);
        // Above 100 the sound is amplified, to twice its amplitude at 150.
        QCOMPARE(PM::volumeGain(40), 0.4);
        QCOMPARE(PM::volumeGain(100), 1.0);
        QCOMPARE(PM::volumeGain(125), 1.5);
        QCOMPARE(PM::volumeGain(150), 2.0);
        h.manager.setRotation(0);

        QVERIFY(h.load(TestClips::path(QStringLiteral("video_only.mp4"))));
        const QImage plain = h.viewer.pixmap().toImage().convertToFormat(QImage::Format_RGB888);
        QCOMPARE(plain.size(), QSize(320, 240));

        h.manager.setRotation(90);
        QCOMPARE(h.viewer.pixmap().size(), QSize(240, 320));
        h.manager.setRotation(-270);
        QCOMPARE(h.manager.rotation(), -270);
        QCOMPARE(h.viewer.pixmap().size(), QSize(240, 320));
        h.manager.setRotation(0);
        QCOMPARE(h.viewer.pixmap().toImage().convertToFormat(QImage::Format_RGB888), plain);

        h.manager.setFlip(true, false);
        QVERIFY(h.manager.flipHorizontal());
        QCOMPARE(h.viewer.pixmap().toImage().convertToFormat(QImage::Format_RGB888),
                 plain.mirrored(true, false));
        h.manager.setFlip(false, true);
        QCOMPARE(h.viewer.pixmap().toImage().convertToFormat(QImage::Format_RGB888),
                 plain.mirrored(false, true));
        h.manager.setFlip(false, false);
        QCOMPARE(h.viewer.pixmap().toImage().convertToFormat(QImage::Format_RGB888), plain);

        h.manager.setSpeedMultiplier(0.5);
        QCOMPARE(h.manager.speedMultiplier(), 0.5);
        h.manager.setSpeedMultiplier(0.0);
        QCOMPARE(h.manager.speedMultiplier(), 0.5);
    }

    void theEndIsTheLastPictureThatDecodes_data()
    {
        QTest::addColumn<QString>("name");
        for (const TestClip& clip : TestClips::withVideo())
            QTest::newRow(qPrintable(clip.name)) << clip.name;
    }

    // The container promises a frame count (wmv2.wmv more than it holds,
    // mpeg4.nut less); once the decoder has met the end of the video, the
    // duration is that of the pictures that decode, and a seek to the end
    // shows the last of them.
    void theEndIsTheLastPictureThatDecodes()
    {
        QFETCH(QString, name);
        const TestClip clip = TestClips::clip(name);
        PlaybackHarness h;
        QVERIFY(h.load(clip.path()));
        // A raw stream (mpeg2_es.m2v) states no duration: the end of the
        // stream gives it.
        const auto lastFrame = [&] { return int(h.manager.mediaDuration() * h.manager.frameRate() + 1); };
        QVERIFY(QTest::qWaitFor([&] { return h.manager.mediaDuration() > 0.0; }, PlaybackHarness::TimeoutMs));
        h.manager.seek(h.manager.mediaDuration(), 0.0, false);
        QVERIFY(QTest::qWaitFor([&] { return lastFrame() == clip.frameCount; }, PlaybackHarness::TimeoutMs));
        QVERIFY(qAbs(h.manager.mediaDuration() - (clip.frameCount / clip.frameRate() - PM::EndMargin)) <
                1e-9);
        // A promise that fell short: the end is now further on.
        h.manager.seek(h.manager.mediaDuration(), 0.0, false);
        QVERIFY(h.waitForShownFrame(clip.frameCount - 1));
        QCOMPARE(h.shownPicture(), clip.firstIndex + clip.frameCount - 1);
    }

    // Each picture is larger than the whole default cache: the cache still
    // holds two of them.
    void picturesLargerThanTheCacheAreShown()
    {
        PlaybackHarness h;
        QVERIFY(h.load(TestClips::path(TestClips::hugeClip())));
        QCOMPARE(h.shownPicture(), 0);
        h.manager.seek(0.0401, 0.0, false);
        QVERIFY(h.waitForShownFrame(1));
        QCOMPARE(h.shownPicture(), 1);
        QVERIFY(h.unload());
    }

    // The first decodable picture of late_key.mkv (700) lies further in than
    // the player looks for it when it opens the clip, so time 0 has no
    // picture: the wait for it gives up, shows the nearest picture and puts
    // the clock on it, so that the time announced is that picture's.
    void theNearestPictureIsShownWhenTheRightOneNeverComes()
    {
        PlaybackHarness h;
        QVERIFY(h.load(TestClips::path(QStringLiteral("late_key.mkv"))));
        QVERIFY(QTest::qWaitFor([&] { return h.shownPicture() == 700; }, PlaybackHarness::TimeoutMs));
        QCOMPARE(h.manager.status(), PM::Ready);
        const double clock = h.manager.playbackTime();
        QCOMPARE(int(clock * h.manager.frameRate()), h.manager.lastFrameIndex());
        QCOMPARE(h.times().last(), clock);
    }

#ifndef ORVEL_SANITIZED
    // Where not even two pictures can be allocated, the clip is refused with
    // a message instead of staying without a picture. (The sanitizers reserve
    // more address space than any limit would leave.)
    void picturesThatCannotBeAllocatedRefuseTheClip()
    {
        PlaybackHarness h;
        {
            // Room for decoding a picture (127 MB), not for two RGB ones (508 MB).
            const AddressSpaceLimit limit(400 << 20);
            QVERIFY(h.manager.setMedia(TestClips::path(TestClips::hugeClip()), 0, 0.7f));
            QVERIFY(QTest::qWaitFor([&] { return !h.errorTexts().isEmpty(); }, PlaybackHarness::TimeoutMs));
            QVERIFY(h.waitForStatus(PM::NoMedia));
        }
        QCOMPARE(h.errorTexts(),
                 QStringList{"Not enough memory for two pictures of 9200x9200: the clip cannot be shown."});
        QVERIFY(h.load(TestClips::path(QStringLiteral("video_only.mp4"))));
    }
#endif

    // The test machine has no sound card: a clip with sound only still loads,
    // its clock runs and it plays to its end, in silence. The missing device
    // is a warning, given once however many clips are opened.
    void soundOnlyClipWithoutSoundDevice()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("audio_only.mp4"));
        PlaybackHarness h;
        QStringList warnings;
        QObject::connect(&h.manager, &PM::warning, &h.manager,
                         [&](const QString& text) { warnings << text; });
        QVERIFY(h.load(TestClips::path(QStringLiteral("mpeg4_641x361.mov"))));
        QVERIFY(h.load(clip.path()));
        QCOMPARE(warnings, QStringList{QStringLiteral("No audio devices found: media plays without sound")});
        QVERIFY2(h.errorTexts().isEmpty(), qPrintable(h.errorTexts().join(QLatin1Char('\n'))));
        QVERIFY(!h.statuses().contains(PM::InvalidMedia));
        QVERIFY(h.manager.hasAudio());
        QVERIFY(!h.manager.hasVideo());
        QVERIFY(h.manager.mediaDuration() > clip.duration - 0.1);

        h.manager.play();
        QCOMPARE(h.manager.state(), PM::Playing);
        QVERIFY(QTest::qWaitFor([&] { return h.manager.playbackTime() > 0.2; }, PlaybackHarness::TimeoutMs));
        QVERIFY(h.playIntoTheEnd(0.3));
        QCOMPARE(h.manager.state(), PM::Paused);
        QVERIFY(h.manager.playbackTime() >= h.manager.mediaDuration() - 0.001);
        QVERIFY(h.unload());
    }

    void damagedFiles_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString& name : TestClips::unopenable())
            QTest::newRow(qPrintable(name)) << name;
    }

    void damagedFiles()
    {
        QFETCH(QString, name);
        PlaybackHarness h;
        QVERIFY(h.manager.setMedia(TestClips::path(name), 0, 0.7f));
        QVERIFY(
            QTest::qWaitFor([&] { return h.statuses().contains(PM::NoMedia); }, PlaybackHarness::TimeoutMs));
        QVERIFY(h.hasError(PM::MediaError, QStringLiteral("Failed to open media. Invalid file.")));
        QCOMPARE(h.statuses(), (QList<int>{PM::Loading, PM::Unloading, PM::NoMedia}));
        QCOMPARE(h.manager.state(), PM::Stopped);
        QCOMPARE(h.manager.mediaFilename(), QString());

        // The controller is as good as new.
        QVERIFY(h.load(TestClips::path(QStringLiteral("video_only.mp4"))));
    }

    void replacingTheMedia()
    {
        const QString first = TestClips::path(QStringLiteral("video_only.mp4"));
        const QString second = TestClips::path(QStringLiteral("mpeg4_641x361.mov"));
        const QString third = TestClips::path(QStringLiteral("vp9_opus.webm"));
        PlaybackHarness h;

        // While paused: stop, unload, then load the new file.
        QVERIFY(h.load(first));
        h.events.clear();
        QVERIFY(h.manager.setMedia(second, 0, 0.7f));
        QCOMPARE(h.manager.status(), PM::Unloading);
        QCOMPARE(h.manager.state(), PM::Stopped);
        QVERIFY(h.load(second));
        QCOMPARE(h.statuses(), (QList<int>{PM::Unloading, PM::NoMedia, PM::Loading, PM::Loaded, PM::Ready}));
        QCOMPARE(h.manager.videoWidth(), 641);

        // Several files during one unload: only the last is loaded.
        h.events.clear();
        QVERIFY(h.manager.setMedia(first, 0, 0.7f));
        QVERIFY(h.manager.setMedia(third, 0, 0.7f));
        QVERIFY(h.load(third));
        QCOMPARE(h.statuses().count(PM::Loading), 1);
        QCOMPARE(h.manager.videoWidth(), 640);

        // While loading: the file waits until the loading one is let go of.
        QVERIFY(h.unload());
        h.events.clear();
        QVERIFY(h.manager.setMedia(first, 0, 0.7f));
        QCOMPARE(h.manager.status(), PM::Loading);
        QVERIFY(h.manager.setMedia(second, 0, 0.7f));
        QVERIFY(h.load(second));
        QCOMPARE(h.statuses().count(PM::Ready), 1);
        QCOMPARE(h.statuses().count(PM::Loading), 2);

        // A file that is refused leaves what plays playing.
        h.manager.play();
        h.events.clear();
        QVERIFY(!h.manager.setMedia(TestClips::path(QStringLiteral("missing.mp4")), 0, 0.7f));
        QCOMPARE(h.manager.state(), PM::Playing);
        QVERIFY(!h.statuses().contains(PM::Unloading));
    }

    void stopInEveryState()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("h264_1080p25.mp4"));
        PlaybackHarness h;
        // While the reader opens the file.
        QVERIFY(h.manager.setMedia(clip.path(), 0, 0.7f));
        h.manager.stop();
        QVERIFY(h.waitForStatus(PM::NoMedia));
        QCOMPARE(h.manager.state(), PM::Stopped);

        // While the decoders start.
        QVERIFY(h.manager.setMedia(clip.path(), 0, 0.7f));
        QVERIFY(QTest::qWaitFor([&] { return h.manager.frameRate() > 0; }, PlaybackHarness::TimeoutMs));
        h.manager.stop();
        QVERIFY(h.waitForStatus(PM::NoMedia));

        // While seeking, while playing.
        QVERIFY(h.load(clip.path()));
        h.manager.seek(frameTime(clip, 240), 0.0, false);
        h.manager.stop();
        QVERIFY(h.waitForStatus(PM::NoMedia));
        QVERIFY(h.load(clip.path()));
        h.manager.play();
        QVERIFY(QTest::qWaitFor([&] { return h.manager.playbackTime() > 0.1; }, PlaybackHarness::TimeoutMs));
        h.manager.stop();
        h.manager.stop();
        QVERIFY(h.waitForStatus(PM::NoMedia));
        QCOMPARE(h.statuses().count(PM::NoMedia), 4);
        QVERIFY(h.viewer.pixmap().isNull());
    }

    // Paused on the first frame of the long clip, nothing moves the cache's
    // window: the decoder fills the cache and waits for a place, holding its
    // next picture, and the reader fills the video packet queue and waits for
    // room as well. Stopping, and destroying the controller, must free both.
    void unloadWhileWorkersWaitForRoom()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("h264_1080p25.mp4"));
        const int64_t frameBytes = VideoFrame::storedBytes(AV_PIX_FMT_YUV420P, clip.width, clip.height);
        const int capacity = int(int64_t(double(VideoFrameCache::MinimumCacheBytes) * 0.99) / frameBytes);
        QVERIFY(capacity + PacketQueue::Capacity < clip.frameCount);
        auto h = std::make_unique<PlaybackHarness>();
        const auto cacheFull = [&] { return h->manager.cachedFrameCount() == capacity; };

        QVERIFY(h->load(clip.path()));
        QVERIFY(QTest::qWaitFor(cacheFull, PlaybackHarness::TimeoutMs));
        h->manager.stop();
        QVERIFY(h->waitForStatus(PM::NoMedia));
        QCOMPARE(h->manager.cachedFrameCount(), 0);

        // The next load works as ever, and shows its frames.
        QVERIFY(h->load(clip.path()));
        h->manager.seek(frameTime(clip, 20), 0.0, false);
        QVERIFY(h->waitForShownFrame(19));
        QCOMPARE(h->shownPicture(), 19);
        QVERIFY(QTest::qWaitFor(cacheFull, PlaybackHarness::TimeoutMs));
        h.reset();
    }

    void destructionInEveryState_data()
    {
        QTest::addColumn<int>("stage");
        QTest::newRow("opening") << 0;
        QTest::newRow("decoders starting") << 1;
        QTest::newRow("seeking") << 2;
        QTest::newRow("playing") << 3;
        QTest::newRow("unloading") << 4;
    }

    void destructionInEveryState()
    {
        QFETCH(int, stage);
        const TestClip clip = TestClips::clip(QStringLiteral("h264_1080p25.mp4"));
        auto h = std::make_unique<PlaybackHarness>();
        QVERIFY(h->manager.setMedia(clip.path(), 0, 0.7f));
        if (stage == 1)
            QVERIFY(QTest::qWaitFor([&] { return h->manager.frameRate() > 0; }, PlaybackHarness::TimeoutMs));
        if (stage >= 2)
            QVERIFY(h->waitForStatus(PM::Ready));
        if (stage == 2)
            h->manager.seek(frameTime(clip, 240), 0.0, false);
        if (stage == 3) {
            h->manager.play();
            QVERIFY(
                QTest::qWaitFor([&] { return h->manager.playbackTime() > 0.1; }, PlaybackHarness::TimeoutMs));
        }
        if (stage == 4)
            h->manager.stop();
        h.reset();
    }
};

QTEST_MAIN(PlaybackManagerTest)
#include "tst_playbackmanager.moc"
