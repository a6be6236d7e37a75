// The audio decoder and the sound output on the clip corpus: tones, channel
// counts, levels, the stream callback's normal play, silence and scrub
// bursts, and sync with the pictures.
//
// The build machine has no sound card. Each case picks the ALSA device it
// needs through an asoundrc in a temporary HOME: none at all, a stereo null
// device (it opens and starts, but its callback never runs, so the tests
// drive the callback themselves) or the plain null device (its callback runs
// flat out, not paced in real time).
#include "enginerig.h"
#include "testclips.h"
#include "tonedetector.h"

#include <QTemporaryDir>
#include <QtTest>
#include <vector>

namespace {

enum class Device
{
    None,
    StereoNull,
    Null
};

const char* asoundrc(Device device)
{
    switch (device) {
    case Device::StereoNull:
        return "pcm.!default {\n"
               "  type multi\n"
               "  slaves.a { pcm { type null } channels 2 }\n"
               "  bindings.0 { slave a channel 0 }\n"
               "  bindings.1 { slave a channel 1 }\n"
               "}\n";
    case Device::Null:
        return "pcm.!default { type null }\n";
    case Device::None:
        break;
    }
    return nullptr;
}

// Waits until the audio cache holds the media time range [from, to].
bool waitForAudio(MediaSource* source, double from, double to)
{
    return QTest::qWaitFor(
        [&] {
            return source->audioCache.bufferCount() > 0 && source->audioCache.startTime() <= from &&
                   source->audioCache.endTime() >= to;
        },
        20000);
}

// Reads `frames` frames at `time` from the cache the way the callback does.
std::vector<int16_t> readAt(MediaSource* source, double time, int frames, double volume = 1.0)
{
    const int channels = source->outputChannels;
    std::vector<int16_t> out(size_t(frames) * channels);
    source->audioCache.resetReadPosition();
    source->audioCache.readFrames(out.data(), frames, channels, source->audioSampleRate, time, volume);
    return out;
}

// Drives the stream callback in chunks until `frames` frames were written.
std::vector<int16_t> render(MediaSource* source, int frames, int chunk = 256)
{
    const int channels = source->outputChannels;
    std::vector<int16_t> out(size_t(frames) * channels);
    for (int done = 0; done < frames; done += chunk)
        AudioManager::renderOutput(source, out.data() + size_t(done) * channels,
                                   unsigned(std::min(chunk, frames - done)));
    return out;
}

int peak(const std::vector<int16_t>& samples)
{
    int p = 0;
    for (int16_t s : samples)
        p = std::max(p, std::abs(int(s)));
    return p;
}

bool silent(const int16_t* samples, size_t count)
{
    return std::all_of(samples, samples + count, [](int16_t s) { return s == 0; });
}

} // namespace

class AudioDecoderTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir homes;

    void useDevice(Device device)
    {
        const QString home = homes.path() + QStringLiteral("/home%1").arg(int(device));
        QDir().mkpath(home);
        if (const char* text = asoundrc(device)) {
            QFile file(home + QStringLiteral("/.asoundrc"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(text);
        }
        qputenv("HOME", home.toLocal8Bit());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(homes.isValid());
        qputenv("JACK_NO_START_SERVER", "1");
    }

    void noDeviceMeansSilentPlay()
    {
        useDevice(Device::None);
        EngineRig rig;
        QVERIFY(rig.open(TestClips::path("h264_1080p25.mp4")));
        QCOMPARE(rig.audioErrors, QList<AudioManager::Error>{AudioManager::NoDevice});
        QCOMPARE(rig.audioStatuses, QList<AudioManager::Status>{AudioManager::NoAudio});
        QCOMPARE(rig.videoStatus(), VideoManager::Ready);
        QCOMPARE(rig.source()->audioError.load(), int(paNoDevice));
        // The video goes on to the end although nobody takes the audio.
        QVERIFY(rig.seekAndWaitForPicture(11.0001));
        QCOMPARE(rig.pictureIndexAt(11.0001), 275);
        QVERIFY(rig.close());
        QCOMPARE(rig.audioStatus(), AudioManager::Unloaded);
    }

    void doubleSamplesAreUnsupported()
    {
        useDevice(Device::StereoNull);
        EngineRig rig;
        QVERIFY(rig.open(TestClips::path("pcm_f64.mov")));
        QCOMPARE(rig.audioErrors, QList<AudioManager::Error>{AudioManager::UnsupportedFormat});
        QCOMPARE(rig.audioStatuses, QList<AudioManager::Status>{AudioManager::NoAudio});
        QCOMPARE(rig.videoStatus(), VideoManager::Ready);
        QVERIFY(rig.seekAndWaitForPicture(3.0001));
        QCOMPARE(rig.pictureIndexAt(3.0001), 75);
    }

    void noAudioStreamOpensNoStream()
    {
        useDevice(Device::StereoNull);
        EngineRig rig;
        QVERIFY(rig.open(TestClips::path("video_only.mp4")));
        QVERIFY(rig.audioErrors.isEmpty());
        QCOMPARE(rig.audioStatuses, QList<AudioManager::Status>{AudioManager::NoAudio});
        // The callback of such a media would write silence.
        MediaSource* source = rig.source();
        source->playing = true;
        const std::vector<int16_t> out = render(source, 1024);
        source->playing = false;
        QVERIFY(silent(out.data(), out.size()));
    }

    void outputChannels_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("channels");
        QTest::newRow("5.1 on a stereo device") << QStringLiteral("h264_23976_51.mkv") << 2;
        QTest::newRow("mono stays mono") << QStringLiteral("mjpeg_u8.avi") << 1;
        QTest::newRow("stereo") << QStringLiteral("h264_1080p25.mp4") << 2;
        QTest::newRow("audio only") << QStringLiteral("audio_only.mp4") << 2;
    }

    void outputChannels()
    {
        QFETCH(QString, name);
        QFETCH(int, channels);
        useDevice(Device::StereoNull);
        EngineRig rig;
        QVERIFY(rig.open(TestClips::path(name)));
        QVERIFY(rig.audioErrors.isEmpty());
        const QList<AudioManager::Status> expected{AudioManager::Loaded, AudioManager::Started};
        QCOMPARE(rig.audioStatuses, expected);
        MediaSource* source = rig.source();
        QCOMPARE(source->outputChannels.load(), channels);
        QVERIFY(waitForAudio(source, 0.4, 0.6));
        const std::vector<int16_t> out = readAt(source, 0.45, 4800);
        for (int c = 0; c < channels; ++c)
            QCOMPARE(ToneDetector::secondOfTone(out.data(), 4800, channels, c, source->audioSampleRate), 0);
    }

    void everySecondHasItsTone_data()
    {
        QTest::addColumn<QString>("name");
        for (const TestClip& clip : TestClips::playable()) {
            if (clip.hasAudio && clip.name != QLatin1String("pcm_f64.mov"))
                QTest::newRow(qPrintable(clip.name)) << clip.name;
        }
    }

    // readFrames at time t returns the tone of second t, after a seek to it.
    void everySecondHasItsTone()
    {
        QFETCH(QString, name);
        const TestClip clip = TestClips::clip(name);
        useDevice(Device::StereoNull);
        EngineRig rig;
        QVERIFY(rig.open(clip.path()));
        MediaSource* source = rig.source();
        const int rate = source->audioSampleRate;
        for (int second = int(clip.duration) - 1; second >= 0; --second) {
            QVERIFY(rig.seek(second + 0.2));
            const double at = second + 0.45;
            QVERIFY2(waitForAudio(source, at, at + 0.1), qPrintable(QString("second %1").arg(second)));
            const std::vector<int16_t> out = readAt(source, at, rate / 10);
            QCOMPARE(ToneDetector::secondOfTone(out.data(), rate / 10, source->outputChannels, 0, rate),
                     second);
        }
    }

    void levelsOfEverySampleFormat_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("unsigned 8-bit PCM") << QStringLiteral("mjpeg_u8.avi");
        QTest::newRow("float AAC") << QStringLiteral("h264_1080p25.mp4");
        QTest::newRow("float Opus") << QStringLiteral("vp9_opus.webm");
        QTest::newRow("16-bit MP2") << QStringLiteral("mpeg2_ps.mpg");
    }

    // The clips' tones have an amplitude of one half.
    void levelsOfEverySampleFormat()
    {
        QFETCH(QString, name);
        useDevice(Device::StereoNull);
        EngineRig rig;
        QVERIFY(rig.open(TestClips::path(name)));
        MediaSource* source = rig.source();
        QVERIFY(waitForAudio(source, 1.2, 1.5));
        const std::vector<int16_t> full = readAt(source, 1.2, 4800);
        QVERIFY2(qAbs(peak(full) - 16384) < 1200, qPrintable(QString::number(peak(full))));
        const std::vector<int16_t> quiet = readAt(source, 1.2, 4800, 0.25);
        QVERIFY2(qAbs(peak(quiet) - 4096) < 300, qPrintable(QString::number(peak(quiet))));
    }

    void secondAudioStreamIsNotPlayed()
    {
        useDevice(Device::StereoNull);
        EngineRig rig;
        QVERIFY(rig.open(TestClips::path("two_audio.mkv")));
        MediaSource* source = rig.source();
        QVERIFY(waitForAudio(source, 1.4, 1.6));
        const std::vector<int16_t> out = readAt(source, 1.45, 4800);
        QCOMPARE(ToneDetector::secondOfTone(out.data(), 4800, 2, 0, 48000), 1);
    }

    void callbackIsSilentExceptForBursts()
    {
        useDevice(Device::StereoNull);
        EngineRig rig;
        QVERIFY(rig.open(TestClips::path("h264_1080p25.mp4")));
        MediaSource* source = rig.source();
        QVERIFY(waitForAudio(source, 2.0, 2.5));
        // Paused, nothing armed: silence.
        source->setPlaybackTime(2.0);
        std::vector<int16_t> out = render(source, 4800);
        QVERIFY(silent(out.data(), out.size()));
        // Playing at half speed: silence too.
        source->speed = 0.5;
        source->playing = true;
        source->setPlaybackTime(2.0);
        out = render(source, 4800);
        QVERIFY(silent(out.data(), out.size()));
        // A burst of one frame duration (1920 frames) plays once, then silence.
        source->armScrubBurst(1920, true);
        out = render(source, 4800);
        source->playing = false;
        source->speed = 1.0;
        QVERIFY(!source->scrubPending);
        QVERIFY(!silent(out.data(), 1920 * 2));
        QVERIFY(silent(out.data() + 1920 * 2, out.size() - 1920 * 2));
        QCOMPARE(ToneDetector::secondOfTone(out.data(), 1920, 2, 0, 48000), 2);
    }

    void backwardBurstIsTheForwardBurstReversed()
    {
        useDevice(Device::StereoNull);
        EngineRig rig;
        QVERIFY(rig.open(TestClips::path("h264_1080p25.mp4")));
        MediaSource* source = rig.source();
        QVERIFY(waitForAudio(source, 3.0, 3.5));
        const int burst = 1920;
        source->setPlaybackTime(3.3);
        source->armScrubBurst(burst, true);
        const std::vector<int16_t> forward = render(source, burst + 300, 200);
        source->setPlaybackTime(3.3);
        source->armScrubBurst(burst, false);
        const std::vector<int16_t> backward = render(source, burst + 300, 200);
        QVERIFY(!silent(forward.data(), size_t(burst) * 2));
        // Each burst is rendered from the clock, which reads its time plus the
        // microseconds the call took: the two may start a sample apart.
        int matchingShift = -99;
        for (int shift = -2; shift <= 2 && matchingShift == -99; ++shift) {
            bool same = true;
            for (int j = 2; j < burst - 2 && same; ++j) {
                const size_t k = size_t(burst - 1 - j + shift);
                same = backward[size_t(j) * 2] == forward[k * 2] &&
                       backward[size_t(j) * 2 + 1] == forward[k * 2 + 1];
            }
            if (same)
                matchingShift = shift;
        }
        QVERIFY2(matchingShift != -99, "the backward burst is not the forward burst reversed");
        QVERIFY(silent(backward.data() + size_t(burst) * 2, 300 * 2));
    }

    void longBurstIsShortenedToTheScrubBuffer()
    {
        useDevice(Device::StereoNull);
        EngineRig rig;
        QVERIFY(rig.open(TestClips::path("h264_1080p25.mp4")));
        MediaSource* source = rig.source();
        QVERIFY(waitForAudio(source, 1.0, 3.5));
        source->setPlaybackTime(1.0);
        source->armScrubBurst(96000, true); // two seconds: more than the buffer holds
        const int fits = MediaSource::ScrubBufferSamples / 2;
        const std::vector<int16_t> out = render(source, 100000, 1000);
        QVERIFY(!source->scrubPending);
        QVERIFY(!silent(out.data() + size_t(fits - 10) * 2, 20));
        QVERIFY(silent(out.data() + size_t(fits) * 2, out.size() - size_t(fits) * 2));
    }

    void noAudioAtTheClockIsSilence()
    {
        useDevice(Device::StereoNull);
        EngineRig rig;
        QVERIFY(rig.open(TestClips::path("mjpeg_u8.avi")));
        MediaSource* source = rig.source();
        QVERIFY(waitForAudio(source, 0.0, 1.0));
        source->playing = true;
        source->setPlaybackTime(60.0);
        source->resetAudioPosition = true;
        const std::vector<int16_t> out = render(source, 4410);
        source->playing = false;
        QVERIFY(silent(out.data(), out.size()));
    }

    void soundBelongsToThePicture_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("mp4") << QStringLiteral("h264_1080p25.mp4");
        QTest::newRow("mpg, start time not 0") << QStringLiteral("mpeg2_ps.mpg");
    }

    // With the clock just before a whole second, the tone of that second
    // starts in the callback's output where the picture of that second starts,
    // within one audio frame.
    void soundBelongsToThePicture()
    {
        QFETCH(QString, name);
        const TestClip clip = TestClips::clip(name);
        useDevice(Device::StereoNull);
        EngineRig rig;
        QVERIFY(rig.open(clip.path()));
        MediaSource* source = rig.source();
        const int rate = source->audioSampleRate;
        const int audioFrame =
            source->audioCodecContext->frame_size > 0 ? source->audioCodecContext->frame_size : 1024;
        const int window = rate / 100;
        for (int second : {2, 5}) {
            const double start = second - 0.1;
            QVERIFY(rig.seekAndWaitForPicture(second + 0.0001));
            QVERIFY(waitForAudio(source, start, second + 0.2));
            double pictureTime;
            {
                std::lock_guard<std::mutex> lock(source->videoCache.mutex);
                const VideoFrame* picture = source->videoCache.frameAt(second + 0.0001);
                QVERIFY(picture);
                pictureTime = picture->time;
            }
            QCOMPARE(rig.pictureIndexAt(pictureTime), int(second * clip.frameRate()));
            source->playing = true;
            source->setPlaybackTime(start);
            source->resetAudioPosition = true;
            const std::vector<int16_t> out = render(source, rate / 5, 512);
            source->playing = false;
            int firstWindow = -1;
            for (int w = 0; w + 1 < (rate / 5) / window && firstWindow < 0; ++w) {
                if (ToneDetector::secondOfTone(out.data() + size_t(w) * window * 2, window, 2, 0, rate) ==
                    second)
                    firstWindow = w;
            }
            QVERIFY(firstWindow > 0);
            QCOMPARE(ToneDetector::secondOfTone(out.data(), window, 2, 0, rate), second - 1);
            const double toneTime = start + double(firstWindow * window) / rate;
            const double offBy = toneTime - pictureTime;
            qInfo("%s second %d: tone starts %.1f ms after its picture", qPrintable(name), second,
                  offBy * 1000);
            QVERIFY2(qAbs(offBy) <= double(audioFrame + window) / rate, qPrintable(QString::number(offBy)));
        }
    }

    void realStreamRunsTheCallback()
    {
        useDevice(Device::Null);
        EngineRig rig;
        QVERIFY(rig.open(TestClips::path("h264_1080p25.mp4")));
        QCOMPARE(rig.audioStatus(), AudioManager::Started);
        MediaSource* source = rig.source();
        QVERIFY(waitForAudio(source, 0.0, 1.0));
        // The running callback plays an armed burst and clears it.
        source->armScrubBurst(1920, true);
        QTRY_VERIFY_WITH_TIMEOUT(!source->scrubPending, 30000);
        // Playing: the callback keeps the clock going.
        source->setPlaybackTime(0.5);
        source->playing = true;
        QTRY_VERIFY_WITH_TIMEOUT(source->playbackTime(false) > 0.5, 30000);
        source->playing = false;
        // Closing the stream through the meta-object, then unloading.
        source->abort();
        QMetaObject::invokeMethod(&rig.audio, "endWritingStream", Qt::QueuedConnection);
        QVERIFY(rig.close());
        const QList<AudioManager::Status> tail{AudioManager::Stopped, AudioManager::Unloaded};
        QTRY_COMPARE(rig.audioStatuses.mid(rig.audioStatuses.size() - 2), tail);
        QVERIFY(rig.audioErrors.isEmpty());
    }
};

QTEST_GUILESS_MAIN(AudioDecoderTest)
#include "tst_audiodecoder.moc"
