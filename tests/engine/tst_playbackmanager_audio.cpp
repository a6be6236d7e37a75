// The playback controller with a running sound output: an ALSA null device
// in this test's own HOME is the default output, so the PortAudio stream
// opens and its callback runs.
#include "playbackharness.h"
#include "testclips.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/resource.h>

using PM = PlaybackManager;

namespace {

double containerDuration(const QString& path)
{
    AVFormatContext* context = nullptr;
    if (avformat_open_input(&context, path.toLocal8Bit().constData(), nullptr, nullptr) < 0)
        return -1.0;
    avformat_find_stream_info(context, nullptr);
    const double duration = double(context->duration) / AV_TIME_BASE;
    avformat_close_input(&context);
    return duration;
}

// CPU seconds this process has used so far, all threads.
double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

class PlaybackManagerAudioTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!TestClips::directory().isEmpty(), "ORVEL_TEST_CLIPS is not set");
        QFile config(QDir::home().filePath(QStringLiteral(".asoundrc")));
        QVERIFY(config.open(QIODevice::WriteOnly | QIODevice::Truncate));
        config.write("pcm.!default { type null }\n");
    }

    void audioOnlyClip()
    {
        const QString path = TestClips::path(QStringLiteral("audio_only.mp4"));
        PlaybackHarness h;
        QVERIFY(h.load(path));
        QVERIFY2(h.errorTexts().isEmpty(), qPrintable(h.errorTexts().join(QLatin1Char('\n'))));
        QVERIFY(h.manager.hasAudio());
        QVERIFY(!h.manager.hasVideo());
        QCOMPARE(h.manager.frameRate(), 0.0);
        QCOMPARE(h.manager.frameDuration(), 0.0);
        QCOMPARE(h.manager.videoWidth(), -1);
        QVERIFY(qAbs(h.manager.mediaDuration() - (containerDuration(path) - 10e-6)) < 1e-9);
        QVERIFY(h.viewer.pixmap().isNull());
        QVERIFY(
            QTest::qWaitFor([&] { return h.manager.audioCacheSamples() > 0; }, PlaybackHarness::TimeoutMs));

        h.manager.play();
        QCOMPARE(h.manager.state(), PM::Playing);
        QVERIFY(QTest::qWaitFor([&] { return h.manager.playbackTime() > 0.2; }, PlaybackHarness::TimeoutMs));
        h.manager.seek(3.0, 0.05, false);
        QCOMPARE(h.manager.state(), PM::Paused);
        QVERIFY(h.waitForStatus(PM::Ready));
        QVERIFY(qAbs(h.manager.playbackTime() - 3.0) < 1e-3);

        // Played into the end, it stops there like a clip with pictures.
        QVERIFY(h.playIntoTheEnd(0.2));
        QCOMPARE(h.manager.state(), PM::Paused);
        QVERIFY(h.unload());
    }

    void aLongRecordingIsNotDecodedIntoMemoryWhole()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("long_audio.mp4"));
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {"-hide_banner", "-loglevel", "error", "-nostdin", "-f", "lavfi", "-i",
                      "sine=frequency=440:sample_rate=44100:duration=40", "-ac", "2", "-c:a", "aac", path});
        QVERIFY(ffmpeg.waitForFinished(60000));
        QCOMPARE(ffmpeg.exitCode(), 0);
        PlaybackHarness h;
        QVERIFY(h.load(path));
        // Sound is decoded five seconds ahead of the clock, not to the end:
        // once that much is there, the decoder waits. (A decoder without a
        // bound would pass eight seconds long before the second wait ends; a
        // slow machine can only make that wait pass.)
        const auto secondsCached = [&] { return h.manager.audioCacheSamples() / (44100.0 * 2); };
        const auto holdsTheLeadAndNoMore = [&] {
            return QTest::qWaitFor([&] { return secondsCached() >= 4.5; }, PlaybackHarness::TimeoutMs) &&
                   !QTest::qWaitFor([&] { return secondsCached() >= 8.0; }, 1000);
        };
        QVERIFY2(holdsTheLeadAndNoMore(), qPrintable(QString::number(secondsCached())));
        // Far into the recording the same.
        h.manager.seek(30.0, 0.0, false);
        QVERIFY(h.waitForStatus(PM::Ready));
        QVERIFY2(holdsTheLeadAndNoMore(), qPrintable(QString::number(secondsCached())));
        QVERIFY(h.unload());
    }

    // Paused with nothing to hear, the output stream rests; a step's scrub
    // burst and playing wake it, and it rests again when they are over.
    void soundOutputRestsWhileNothingIsHeard()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("mpeg4_641x361.mov"));
        PlaybackHarness h;
        QVERIFY(h.load(clip.path()));
        const auto resting = [&] { return !h.manager.soundOutputActive(); };
        QVERIFY(QTest::qWaitFor(resting, PlaybackHarness::TimeoutMs));
        const int starts = h.manager.soundOutputStarts();
        h.manager.seek(10 / 25.0 + 0.0001, 0.04, false);
        QVERIFY(QTest::qWaitFor([&] { return h.manager.soundOutputStarts() > starts; },
                                PlaybackHarness::TimeoutMs));
        QVERIFY(QTest::qWaitFor(resting, PlaybackHarness::TimeoutMs));
        h.manager.play();
        QVERIFY(QTest::qWaitFor([&] { return h.manager.soundOutputActive(); }, PlaybackHarness::TimeoutMs));
        h.manager.pause();
        QVERIFY(QTest::qWaitFor(resting, PlaybackHarness::TimeoutMs));
        QVERIFY(h.unload());
    }

    // The null device takes samples as fast as they come: played at the
    // pace they are heard, the output does not take a core while playing
    // (decoding AAC in real time takes a few percent of one).
    void outputThatNeverWaitsIsHeldToRealTime()
    {
        PlaybackHarness h;
        QVERIFY(h.load(TestClips::path(QStringLiteral("audio_only.mp4"))));
        h.manager.setVolume(0);
        h.manager.play();
        QVERIFY(QTest::qWaitFor([&] { return h.manager.playbackTime() > 0.5; }, PlaybackHarness::TimeoutMs));
        QElapsedTimer wall;
        wall.start();
        const double cpuBefore = cpuSeconds();
        QVERIFY(QTest::qWaitFor([&] { return h.manager.playbackTime() > 2.5; }, PlaybackHarness::TimeoutMs));
        const double share = (cpuSeconds() - cpuBefore) / (double(wall.nsecsElapsed()) / 1e9);
        QVERIFY2(share < 0.5, qPrintable(QStringLiteral("%1 of a core").arg(share)));
        QVERIFY(h.unload());
    }

    void clipWithSoundAndPictures()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("mpeg4_641x361.mov"));
        PlaybackHarness h;
        QVERIFY(h.load(clip.path()));
        QVERIFY2(h.errorTexts().isEmpty(), qPrintable(h.errorTexts().join(QLatin1Char('\n'))));
        h.manager.setVolume(0);
        h.manager.play();
        QVERIFY(QTest::qWaitFor([&] { return h.manager.playbackTime() > 1.0; }, PlaybackHarness::TimeoutMs));
        h.manager.seek(2.0001, 0.04, false);
        QVERIFY(h.waitForShownFrame(50));
        QCOMPARE(h.shownPicture(), 50);
        QVERIFY(h.unload());
    }
};

QTEST_MAIN(PlaybackManagerAudioTest)
#include "tst_playbackmanager_audio.moc"
