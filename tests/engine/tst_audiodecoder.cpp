// The audio decoder and the sound output on the clip corpus: tones, channel
// counts, levels, output formats, volume, the stream callback's normal play,
// time-stretched play at other speeds, silence and scrub bursts, sync with
// the pictures, and the bounded span of decoded sound.
//
// The build machine has no sound card. Each case picks the ALSA device it
// needs through an asoundrc in a temporary HOME: none at all, a stereo null
// device (it opens and starts, but its callback never runs, so the tests
// drive the callback themselves), the plain null device (its callback runs
// flat out, not paced in real time) or that stereo null device behind a plug
// device without a rate converter, which takes 48 kHz only.
#include "enginerig.h"
#include "patience.h"
#include "playbackmanager.h"
#include "testclips.h"
#include "tonedetector.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <vector>

namespace {

enum class Device
{
    None,
    StereoNull,
    Null,
    StereoNullAt48kHzOnly
};

// A stereo device of the null plug-in, named `name`.
QByteArray stereoNull(const char* name)
{
    return QByteArray("pcm.") + name +
           " {\n"
           "  type multi\n"
           "  slaves.a { pcm { type null } channels 2 }\n"
           "  bindings.0 { slave a channel 0 }\n"
           "  bindings.1 { slave a channel 1 }\n"
           "}\n";
}

QByteArray asoundrc(Device device)
{
    switch (device) {
    case Device::StereoNull:
        return stereoNull("!default");
    case Device::Null:
        return "pcm.!default { type null }\n";
    case Device::StereoNullAt48kHzOnly:
        return stereoNull("stereonull") + "pcm.!default {\n"
                                          "  type plug\n"
                                          "  slave { pcm stereonull rate 48000 }\n"
                                          "  rate_converter \"none-such\"\n"
                                          "}\n";
    case Device::None:
        break;
    }
    return QByteArray();
}

// Waits until the audio cache holds the media time range [from, to].
bool waitForAudio(MediaSource* source, double from, double to)
{
    return QTest::qWaitFor(
        [&] {
            return source->audioCache.bufferCount() > 0 && source->audioCache.startTime() <= from &&
                   source->audioCache.endTime() >= to;
        },
        patienceMs);
}

// Reads `frames` frames at `time` from the cache the way the callback does.
std::vector<int16_t> readAt(MediaSource* source, double time, int frames, double volume = 1.0)
{
    const int channels = source->outputChannels;
    std::vector<int16_t> out(size_t(frames) * channels);
    source->audioCache.resetReadPosition();
    source->audioCache.readFrames(out.data(), frames, channels, source->outputSampleRate, time, volume);
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

// Plays `frames` frames from media time `from` on through the callback, in
// chunks, the clock standing at each chunk's own time: on a busy machine a
// clock left running would race ahead of the chunks and the sound would jump
// after it.
std::vector<int16_t> renderPlaying(MediaSource* source, double from, int frames, int chunk)
{
    const int channels = source->outputChannels;
    const int rate = source->outputSampleRate;
    std::vector<int16_t> out(size_t(frames) * channels);
    source->playing = true;
    for (int done = 0; done < frames; done += chunk) {
        source->setPlaybackTime(from + double(done) / rate);
        AudioManager::renderOutput(source, out.data() + size_t(done) * channels,
                                   unsigned(std::min(chunk, frames - done)));
    }
    source->playing = false;
    return out;
}

// Renders `seconds` of media from `from` on at `speed` the way a sound card
// taking `chunk` frames per callback would: the clock moves on by the media
// time of each chunk. The clock stands between callbacks until the decoder
// thread has stretched the sound the next one needs, so the test does not
// depend on the machine keeping up.
std::vector<int16_t> renderAtSpeed(MediaSource* source, double from, double seconds, double speed)
{
    const int rate = source->outputSampleRate;
    const int channels = source->outputChannels;
    const int chunk = 1024;
    const int frames = int(seconds / speed * rate);
    std::vector<int16_t> out(size_t(frames) * channels);
    source->speed = speed;
    source->resetAudioPosition = true;
    for (int done = 0; done < frames; done += chunk) {
        const double clock = from + done * speed / rate;
        source->setPlaybackTime(clock);
        if (!QTest::qWaitFor([&] { return source->stretchedAudio.endTime() >= clock + chunk * speed / rate; },
                             patienceMs))
            return {};
        source->playing = true;
        source->setPlaybackTime(clock);
        AudioManager::renderOutput(source, out.data() + size_t(done) * channels,
                                   unsigned(std::min(chunk, frames - done)));
        source->playing = false;
    }
    source->speed = 1.0;
    return out;
}

// The second of the long-tail clip whose tones the samples carry (see
// TestClips::longTail), -1 if they carry none.
int longTailSecond(const int16_t* samples, int frames, int rate)
{
    const int units = ToneDetector::secondOfTone(samples, frames, 2, 0, rate);
    const int fifteens = ToneDetector::secondOfTone(samples, frames, 2, 1, rate);
    return units < 0 || fifteens < 0 ? -1 : fifteens * 15 + units;
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
        const QByteArray text = asoundrc(device);
        if (!text.isEmpty()) {
            QFile file(home + QStringLiteral("/.asoundrc"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(text);
        }
        qputenv("HOME", home.toLocal8Bit());
    }

    // A clip of sound only, made for the test with the ffmpeg tool.
    QString makeClip(const QString& name, const QString& source)
    {
        const QString path = homes.filePath(name);
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"), {"-hide_banner", "-loglevel", "error", "-nostdin", "-y", "-f",
                                                "lavfi", "-i", source, path});
        if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0)
            return QString();
        return path;
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
            QCOMPARE(ToneDetector::secondOfTone(out.data(), 4800, channels, c, source->outputSampleRate), 0);
    }

    void everySecondHasItsTone_data()
    {
        QTest::addColumn<QString>("name");
        for (const TestClip& clip : TestClips::playable()) {
            if (clip.hasAudio)
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
        const int rate = source->outputSampleRate;
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
        // Playing at a speed too slow to stretch the sound to: silence too.
        source->speed = 0.1;
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
        const int rate = source->outputSampleRate;
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
            source->resetAudioPosition = true;
            const std::vector<int16_t> out = renderPlaying(source, start, rate / 5, 512);
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

    void deviceTakingOnly48kHz_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("44.1 kHz mono, 8-bit") << QStringLiteral("mjpeg_u8.avi");
        QTest::newRow("44.1 kHz stereo, AAC") << QStringLiteral("audio_only.mp4");
    }

    // The device refuses the clip's rate: the stream opens at 48 kHz and the
    // callback plays every tone at its pitch.
    void deviceTakingOnly48kHz()
    {
        QFETCH(QString, name);
        const TestClip clip = TestClips::clip(name);
        useDevice(Device::StereoNullAt48kHzOnly);
        EngineRig rig;
        QVERIFY(rig.open(clip.path()));
        QVERIFY(rig.audioErrors.isEmpty());
        QCOMPARE(rig.audioStatus(), AudioManager::Started);
        MediaSource* source = rig.source();
        QCOMPARE(source->outputSampleRate.load(), 48000);
        QCOMPARE(source->outputChannels.load(), clip.audioChannels);
        QVERIFY(waitForAudio(source, 0.0, clip.duration - 0.1));
        for (int second = 0; second < int(clip.duration); ++second) {
            source->setPlaybackTime(second + 0.4);
            source->armScrubBurst(4800, true);
            const std::vector<int16_t> out = render(source, 4800);
            QCOMPARE(ToneDetector::secondOfTone(out.data(), 4800, clip.audioChannels, 0, 48000), second);
            QCOMPARE(ToneDetector::dominantFrequency(out.data(), 4800, clip.audioChannels, 0, 48000),
                     ToneDetector::toneOfSecond(second));
        }
    }

    // 150 doubles the amplitude: a quiet tone comes out twice as loud, a loud
    // one clips at full scale and never wraps around.
    void volumeAbove100Amplifies()
    {
        const QString quiet =
            makeClip(QStringLiteral("quiet.mov"), "aevalsrc=0.1*sin(2*PI*500*t):s=48000:d=2");
        QVERIFY(!quiet.isEmpty());
        useDevice(Device::StereoNull);
        for (const QString& path : {quiet, TestClips::path(QStringLiteral("h264_1080p25.mp4"))}) {
            EngineRig rig;
            QVERIFY(rig.open(path));
            MediaSource* source = rig.source();
            QVERIFY(waitForAudio(source, 1.0, 1.2));
            const auto burstAt = [&](int volume) {
                source->volume = PlaybackManager::volumeGain(volume);
                source->setPlaybackTime(1.0);
                source->armScrubBurst(4800, true);
                return render(source, 4800);
            };
            const std::vector<int16_t> normal = burstAt(100);
            const std::vector<int16_t> loud = burstAt(150);
            QVERIFY(peak(normal) > 1000);
            for (size_t i = 0; i < normal.size(); ++i)
                QVERIFY(qAbs(int(loud[i]) - std::clamp(2 * int(normal[i]), -32768, 32767)) <= 1);
            qInfo("%s: peak %d at 100, %d at 150", qPrintable(QFileInfo(path).fileName()), peak(normal),
                  peak(loud));
        }
    }

    void speedsKeepPitchAndClock_data()
    {
        QTest::addColumn<double>("speed");
        for (double speed : {0.25, 0.5, 2.0, 4.0})
            QTest::newRow(qPrintable(QString::number(speed))) << speed;
    }

    // At another speed the callback plays the tone of second t at clock t,
    // at the tone's own pitch.
    void speedsKeepPitchAndClock()
    {
        QFETCH(double, speed);
        useDevice(Device::StereoNull);
        EngineRig rig;
        QVERIFY(rig.open(TestClips::path("h264_1080p25.mp4")));
        MediaSource* source = rig.source();
        const int rate = source->outputSampleRate;
        const double from = 1.5;
        const double seconds = std::min(4.0, 2.0 * speed + 1.0);
        source->setPlaybackTime(from);
        QVERIFY(waitForAudio(source, from, from + seconds));
        const std::vector<int16_t> out = renderAtSpeed(source, from, seconds, speed);
        QVERIFY(!out.empty());
        const auto clockAt = [&](int frame) { return from + frame * speed / rate; };
        // Every 20 ms of output away from a change of tone has the tone of its
        // clock, at its pitch.
        const int window = rate / 50;
        const int windows = int(out.size() / 2) / window;
        int checked = 0;
        for (int w = 0; w < windows; ++w) {
            const double start = clockAt(w * window);
            const double end = clockAt((w + 1) * window);
            const int second = int(std::floor(start));
            if (start - second < 0.05 || second + 1 - end < 0.05)
                continue;
            const int16_t* samples = out.data() + size_t(w) * window * 2;
            QCOMPARE(ToneDetector::secondOfTone(samples, window, 2, 0, rate), second);
            QVERIFY(qAbs(ToneDetector::dominantFrequency(samples, window, 2, 0, rate) -
                         ToneDetector::toneOfSecond(second)) <= 25.0);
            ++checked;
        }
        QVERIFY(checked > windows / 2);
        // Each change of tone is heard when the clock reaches the whole second.
        const int step = rate / 200;
        for (int second = int(from) + 1; second < from + seconds; ++second) {
            int first = 0;
            while ((first + 2) * step < int(out.size() / 2) &&
                   ToneDetector::secondOfTone(out.data() + size_t(first) * step * 2, 2 * step, 2, 0, rate) !=
                       second)
                ++first;
            const double offBy = clockAt(first * step) - second;
            qInfo("speed %.2f: the tone of second %d starts %.1f ms of media time from its clock", speed,
                  second, offBy * 1000);
            QVERIFY2(qAbs(offBy) <= 0.03 + 2.0 * step * speed / rate, qPrintable(QString::number(offBy)));
        }
    }

    // Two seconds of pictures and three minutes of PCM sound, more than the
    // reader queues on its way to the end of the pictures: it skips the rest
    // of the sound to give the video decoder its last pictures, and comes
    // back for it. However long the sound, the decoder stays a few seconds
    // ahead of the clock and the cache a bounded span around it, and the
    // sound is right everywhere.
    void longTailKeepsABoundedSpan()
    {
        const TestClip clip = TestClips::longTail();
        useDevice(Device::StereoNull);
        EngineRig rig;
        QVERIFY(rig.open(clip.path()));
        MediaSource* source = rig.source();
        const int rate = source->outputSampleRate;
        const double lead = AudioManager::LeadSeconds;
        const int bound = int((lead + AudioDecoder::KeptBehindSeconds + 2.0) * rate * 2);
        // Paused on the first picture: the reader reads on for the pictures at
        // the end of the file, the decoder stops a few seconds ahead.
        QVERIFY(QTest::qWaitFor(
            [&] {
                return source->audioCache.endTime() >= lead &&
                       rig.videoStatuses.contains(VideoManager::EndOfStream);
            },
            patienceMs));
        QVERIFY2(source->audioCache.endTime() < lead + 0.1,
                 qPrintable(QString::number(source->audioCache.endTime())));
        QCOMPARE(rig.pictureIndexAt(1.96), 49);
        const auto soundIsRightAt = [&](double at) {
            const std::vector<int16_t> out = readAt(source, at, rate / 10);
            return longTailSecond(out.data(), rate / 10, rate) == int(at) &&
                   source->audioCache.totalSamples() <= bound;
        };

        // Played on, through the sound skipped and read again, the cache
        // slides with the clock.
        for (double clock = 2.5; clock < 178.0; clock += 2.0) {
            source->setPlaybackTime(clock);
            QVERIFY2(waitForAudio(source, clock, std::min(clock + lead - 0.5, clip.duration - 0.1)),
                     qPrintable(QString::number(clock)));
            QVERIFY2(soundIsRightAt(clock), qPrintable(QString::number(clock)));
        }
        for (double at : {177.3, 3.6, 91.2, 20.5, 150.8, 47.7, 126.4, 64.1, 8.9, 105.6}) {
            QVERIFY(rig.seek(at));
            QVERIFY2(waitForAudio(source, at, at + 0.1), qPrintable(QString::number(at)));
            QVERIFY2(soundIsRightAt(at), qPrintable(QString::number(at)));
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
        QTRY_VERIFY_WITH_TIMEOUT(!source->scrubPending, patienceMs);
        // Playing: the callback keeps the clock going.
        source->setPlaybackTime(0.5);
        source->playing = true;
        QTRY_VERIFY_WITH_TIMEOUT(source->playbackTime(false) > 0.5, patienceMs);
        source->playing = false;
        // Closing the stream through the meta-object, then unloading.
        source->abort();
        QMetaObject::invokeMethod(&rig.audio, "endWritingStream", Qt::QueuedConnection);
        QVERIFY(rig.close());
        const QList<AudioManager::Status> tail{AudioManager::Stopped, AudioManager::Unloaded};
        QTRY_COMPARE_WITH_TIMEOUT(rig.audioStatuses.mid(rig.audioStatuses.size() - 2), tail, patienceMs);
        QVERIFY(rig.audioErrors.isEmpty());
    }
};

QTEST_GUILESS_MAIN(AudioDecoderTest)
#include "tst_audiodecoder.moc"
