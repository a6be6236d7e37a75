#include "testclips.h"

#include <QDir>
#include <QtGlobal>

namespace {

TestClip make(const char* name, int width, int height, int rateNum, int rateDen, int frames, int channels,
              int sampleRate, double duration, int gop, int firstIndex = 0)
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
    c.firstIndex = firstIndex;
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
    // 300 samples, of which the edit list shows the last 217.
    clips << make("edit_list.mp4", 320, 240, 25, 1, 217, 0, 0, 8.68, 250, 83);
    // Cut inside a group of pictures: the first decodable picture is 25.
    clips << make("gop_cut.mkv", 320, 240, 25, 1, 75, 0, 0, 3.0, 25, 25);
    clips << make("gop_cut.ts", 320, 240, 25, 1, 75, 0, 0, 3.0, 25, 25);
    // The containers promise 152 and 126 pictures.
    clips << make("wmv2.wmv", 320, 240, 25, 1, 150, 2, 44100, 6.0, 12);
    clips << make("mpeg1.mpg", 320, 240, 25, 1, 125, 2, 44100, 5.0, 12);
    clips << make("h264_1000fps.mkv", 160, 96, 1000, 1, 1000, 0, 0, 1.0, 100);
    clips << make("h264_2997.ts", 320, 240, 30000, 1001, 300, 2, 48000, 10.01, 30);
    clips << make("h264_ac3.m2ts", 320, 240, 25, 1, 50, 2, 48000, 2.0, 25);
    clips << make("mpeg2.mxf", 720, 576, 25, 1, 50, 2, 48000, 2.0, 12);
    clips << make("dv_pal.dv", 720, 576, 25, 1, 50, 2, 48000, 2.0, 1);
    clips << make("mpeg2.vob", 720, 576, 25, 1, 50, 2, 48000, 2.0, 12);
    clips << make("h264.3gp", 320, 240, 25, 1, 50, 1, 44100, 2.0, 25);
    clips << make("theora.ogv", 320, 240, 25, 1, 50, 2, 44100, 2.0, 64);
    clips << make("raw.y4m", 160, 120, 25, 1, 50, 0, 0, 2.0, 1);
    clips << make("mpeg2_es.m2v", 320, 240, 25, 1, 50, 0, 0, 2.0, 12);
    clips << make("mpeg4.nut", 320, 240, 25, 1, 50, 0, 0, 2.0, 25);
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

QList<ColourClip> colourClips()
{
    return {{QStringLiteral("colour_601.mp4"), "bt601", "tv"},
            {QStringLiteral("colour_709.mp4"), "bt709", "tv"},
            {QStringLiteral("colour_709_full.mp4"), "bt709", "pc"},
            {QStringLiteral("colour_2020_10bit.mkv"), "bt2020", "tv"},
            {QStringLiteral("colour_untagged_1080.mp4"), "bt709", "tv"},
            {QStringLiteral("colour_untagged_576.mp4"), "bt601", "tv"},
            {QStringLiteral("colour_mjpeg.avi"), "bt601", "pc"},
            {QStringLiteral("colour_prores.mov"), "bt709", "tv"}};
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
