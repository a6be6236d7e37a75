// Checks the test corpus itself and the helpers that read it, independently of
// Orvel's engine: every clip is decoded by the ffmpeg command-line tool.
#include "ffmpegtool.h"
#include "frameindex.h"
#include "testclips.h"
#include "tonedetector.h"

#include <QFileInfo>
#include <QImage>
#include <QtTest>

namespace {

// Decodes every picture of the clip to RGB24, scaled to the clip's own size.
QList<QImage> decodePictures(const TestClip& clip)
{
    return FfmpegTool::decodePictures(clip.path(), clip.width, clip.height);
}

QVector<int16_t> decodeAudio(const TestClip& clip, const QString& stream = QStringLiteral("0:a:0"))
{
    const QByteArray raw =
        FfmpegTool::run({"-i", clip.path(), "-map", stream, "-f", "s16le", "-acodec", "pcm_s16le", "-"});
    QVector<int16_t> samples(raw.size() / 2);
    memcpy(samples.data(), raw.constData(), samples.size() * 2);
    return samples;
}

} // namespace

class TestClipsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!TestClips::directory().isEmpty(), "ORVEL_TEST_CLIPS is not set");
        for (const TestClip& clip : TestClips::playable())
            QVERIFY2(QFileInfo(clip.path()).size() > 0, qPrintable(clip.path()));
        for (const QString& name : TestClips::unopenable())
            QVERIFY2(QFileInfo::exists(TestClips::path(name)), qPrintable(name));
    }

    void everyPictureCarriesItsIndex_data()
    {
        QTest::addColumn<QString>("name");
        for (const TestClip& clip : TestClips::withVideo())
            QTest::newRow(qPrintable(clip.name)) << clip.name;
    }

    void everyPictureCarriesItsIndex()
    {
        QFETCH(QString, name);
        const TestClip clip = TestClips::clip(name);
        const QList<QImage> pictures = decodePictures(clip);
        QCOMPARE(pictures.size(), clip.frameCount);
        for (int i = 0; i < pictures.size(); ++i)
            QCOMPARE(FrameIndex::read(pictures[i]), clip.firstIndex + i);
    }

    void readerRefusesPicturesWithoutCode()
    {
        QImage black(320, 240, QImage::Format_RGB888);
        black.fill(Qt::black);
        QCOMPARE(FrameIndex::read(black), -1);
        QImage grey(320, 240, QImage::Format_RGB888);
        grey.fill(QColor(128, 128, 128));
        QCOMPARE(FrameIndex::read(grey), -1);
        QCOMPARE(FrameIndex::read(QImage()), -1);
    }

    void readerSurvivesScalingAndPadding()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("h264_1080p25.mp4"));
        const QList<QImage> pictures = decodePictures(clip);
        QVERIFY(pictures.size() > 137);
        const QImage scaled = pictures[137].scaled(333, 187, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QCOMPARE(FrameIndex::read(scaled), 137);
        const QImage rgb32 = pictures[137].convertToFormat(QImage::Format_RGB32);
        QCOMPARE(FrameIndex::read(rgb32), 137);
    }

    void toneStepsEachSecond_data()
    {
        QTest::addColumn<QString>("name");
        for (const TestClip& clip : TestClips::playable()) {
            if (clip.hasAudio)
                QTest::newRow(qPrintable(clip.name)) << clip.name;
        }
    }

    void toneStepsEachSecond()
    {
        QFETCH(QString, name);
        const TestClip clip = TestClips::clip(name);
        const QVector<int16_t> samples = decodeAudio(clip);
        const int channels = clip.audioChannels;
        const int frames = samples.size() / channels;
        QVERIFY(frames > clip.sampleRate);
        // The middle 100 ms of every whole second.
        for (int second = 0; (second + 1) * clip.sampleRate <= frames; ++second) {
            const int start = second * clip.sampleRate + clip.sampleRate * 45 / 100;
            const int16_t* window = samples.constData() + start * channels;
            QCOMPARE(ToneDetector::secondOfTone(window, clip.sampleRate / 10, channels, 0, clip.sampleRate),
                     second);
        }
    }

    void secondAudioStreamIsAnotherTone()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("two_audio.mkv"));
        const QVector<int16_t> samples = decodeAudio(clip, QStringLiteral("0:a:1"));
        QVERIFY(samples.size() > 48000);
        QCOMPARE(ToneDetector::dominantFrequency(samples.constData() + 24000, 4800, 1, 0, 48000), 3125.0);
        QCOMPARE(ToneDetector::secondOfTone(samples.constData() + 24000, 4800, 1, 0, 48000), -1);
    }

    void silenceHasNoTone()
    {
        QVector<int16_t> silence(4800, 0);
        QCOMPARE(ToneDetector::dominantFrequency(silence.constData(), 4800, 1, 0, 48000), 0.0);
        QCOMPARE(ToneDetector::secondOfTone(silence.constData(), 4800, 1, 0, 48000), -1);
    }
};

QTEST_GUILESS_MAIN(TestClipsTest)
#include "tst_testclips.moc"
