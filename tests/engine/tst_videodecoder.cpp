// The video decoder on the clip corpus: after a seek the cache returns exactly
// the picture of the file that belongs to the time asked for.
#include "enginerig.h"
#include "frameindex.h"
#include "testclips.h"

#include <QRandomGenerator>
#include <QtTest>
#include <algorithm>

class VideoDecoderTest : public QObject
{
    Q_OBJECT

private:
    static double seekTimeOfFrame(const TestClip& clip, int frame)
    {
        return frame / clip.frameRate() + 0.0001;
    }

private Q_SLOTS:
    void everySeekShowsItsFrame_data()
    {
        QTest::addColumn<QString>("name");
        for (const TestClip& clip : TestClips::withVideo())
            QTest::newRow(qPrintable(clip.name)) << clip.name;
    }

    // The first, the last and 50 random frames, in random order (so both
    // backward and forward seeks), each after a reader seek to its seek time.
    void everySeekShowsItsFrame()
    {
        QFETCH(QString, name);
        const TestClip clip = TestClips::clip(name);
        EngineRig rig;
        QVERIFY(rig.open(clip.path()));
        QCOMPARE(rig.videoStatus(), VideoManager::Ready);

        QRandomGenerator random(uint(qHash(name)));
        QList<int> frames{0, clip.frameCount - 1};
        while (frames.size() < 52)
            frames << int(random.bounded(clip.frameCount));
        std::shuffle(frames.begin(), frames.end(), random);

        QStringList mismatches;
        for (int frame : frames) {
            const double time = seekTimeOfFrame(clip, frame);
            QVERIFY2(rig.seekAndWaitForPicture(time), qPrintable(QString("seek to frame %1").arg(frame)));
            const int shown = rig.pictureIndexAt(time);
            if (shown != clip.firstIndex + frame)
                mismatches << QString("frame %1 showed %2").arg(clip.firstIndex + frame).arg(shown);
        }
        qInfo("%s: %d seeks, %d mismatches", qPrintable(name), int(frames.size()), int(mismatches.size()));
        QVERIFY2(mismatches.isEmpty(), qPrintable(mismatches.join(", ")));
    }
};

QTEST_GUILESS_MAIN(VideoDecoderTest)
#include "tst_videodecoder.moc"
