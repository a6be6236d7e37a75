#include "testclips.h"

#include <QDir>
#include <QtGlobal>

namespace {

TestClip make(const char* name, int width, int height, int rateNum, int rateDen, int frames, int channels,
              int sampleRate, double duration, int gop)
{
    TestClip c;
    c.name = QString::fromLatin1(name);
    c.hasVideo = width > 0;
    c.hasAudio = channels > 0;
    c.width = width;
    c.height = height;
    c.frameRateNum = rateNum;
    c.frameRateDen = rateDen;
    c.frameCount = frames;
    c.audioChannels = channels;
    c.sampleRate = sampleRate;
    c.duration = duration;
    c.gopLength = gop;
    return c;
}

QList<TestClip> catalogue()
{
    QList<TestClip> clips;
    clips << make("h264_1080p25.mp4", 1920, 1080, 25, 1, 300, 2, 48000, 12.0, 250);
    clips << make("mpeg2_ps.mpg", 720, 576, 25, 1, 200, 2, 48000, 8.0, 12);
    clips << make("vp9_opus.webm", 640, 360, 25, 1, 125, 2, 48000, 5.0, 50);
    clips << make("mjpeg_u8.avi", 640, 480, 25, 1, 125, 1, 44100, 5.0, 1);
    clips << make("h264_23976_51.mkv", 1280, 720, 24000, 1001, 144, 6, 48000, 6.006, 48);
    clips << make("mpeg4_641x361.mov", 641, 361, 25, 1, 125, 2, 48000, 5.0, 25);
    clips << make("video_only.mp4", 320, 240, 30, 1, 120, 0, 0, 4.0, 30);
    clips << make("audio_only.mp4", 0, 0, 0, 1, 0, 2, 44100, 5.0, 0);
    clips << make("two_audio.mkv", 640, 360, 25, 1, 100, 2, 48000, 4.0, 25);
    clips << make("pcm_f64.mov", 320, 240, 25, 1, 100, 2, 48000, 4.0, 1);
    clips << make("audio_f64_only.mov", 0, 0, 0, 1, 0, 2, 48000, 2.0, 0);
    clips << make("narrow_1px.mkv", 1, 64, 25, 1, 50, 0, 0, 2.0, 1);
    clips << make("narrow_4px.mkv", 4, 64, 25, 1, 50, 0, 0, 2.0, 1);
    clips << make("start_offset.mkv", 320, 240, 25, 1, 75, 2, 48000, 3.0, 25);
    TestClip cut = make("edit_list.mp4", 320, 240, 25, 1, 217, 0, 0, 8.68, 250);
    cut.firstIndex = 83;
    clips << cut;
    return clips;
}

} // namespace

QString TestClip::path() const
{
    return TestClips::path(name);
}

namespace TestClips {

QString directory()
{
    const QByteArray dir = qgetenv("ORVEL_TEST_CLIPS");
    return dir.isEmpty() ? QString() : QDir(QString::fromLocal8Bit(dir)).absolutePath();
}

QString path(const QString& name)
{
    return directory() + QLatin1Char('/') + name;
}

QList<TestClip> playable()
{
    return catalogue();
}

QList<TestClip> withVideo()
{
    QList<TestClip> clips;
    for (const TestClip& c : catalogue()) {
        if (c.hasVideo)
            clips << c;
    }
    return clips;
}

QStringList unopenable()
{
    return {QStringLiteral("empty.mp4"), QStringLiteral("random.mp4"), QStringLiteral("truncated.mp4"),
            QStringLiteral("text.mov")};
}

TestClip longTail()
{
    return make("long_tail.mkv", 320, 240, 25, 1, 50, 2, 48000, 180.0, 25);
}

TestClip clip(const QString& name)
{
    for (const TestClip& c : catalogue()) {
        if (c.name == name)
            return c;
    }
    qFatal("unknown test clip %s", qPrintable(name));
    return {};
}

} // namespace TestClips
