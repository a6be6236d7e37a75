// The video decoder on the clip corpus: after a seek the cache returns exactly
// the picture of the file that belongs to the time asked for.
#include "bandedscaler.h"
#include "enginerig.h"
#include "frameconverter.h"
#include "frameindex.h"
#include "patience.h"
#include "testclips.h"

#include <QRandomGenerator>
#include <QtTest>
#include <algorithm>

Q_DECLARE_METATYPE(SeekHistory)

class VideoDecoderTest : public QObject
{
    Q_OBJECT

private:
    static double seekTimeOfFrame(const TestClip& clip, int frame)
    {
        return frame / clip.frameRate() + 0.0001;
    }

    // The frame-index codes of every cached picture, oldest first.
    static QList<int> cachedIndexes(MediaSource* source)
    {
        VideoFrameCache& cache = source->videoCache;
        std::lock_guard<std::mutex> lock(cache.mutex);
        QList<int> indexes;
        for (int i = 0; const VideoFrame* f = cache.frame(i); ++i)
            indexes << EngineRig::pictureIndex(*f);
        return indexes;
    }

    static bool contiguous(const QList<int>& indexes)
    {
        for (int i = 1; i < indexes.size(); ++i) {
            if (indexes[i] != indexes[i - 1] + 1)
                return false;
        }
        return !indexes.isEmpty();
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
            if (shown != clip.firstIndex + frame) {
                const QList<int> cached = cachedIndexes(rig.source());
                mismatches << QString("frame %1 showed %2 (cached %3..%4)")
                                  .arg(clip.firstIndex + frame)
                                  .arg(shown)
                                  .arg(cached.value(0, -1))
                                  .arg(cached.value(cached.size() - 1, -1));
            }
        }
        qInfo("%s: %d seeks, %d mismatches", qPrintable(name), int(frames.size()), int(mismatches.size()));
        QVERIFY2(mismatches.isEmpty(), qPrintable(mismatches.join(", ")));
    }

    void fullCacheHoldsContiguousFramesAndSeeksDropTheOldOnes()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("h264_1080p25.mp4"));
        EngineRig rig;
        QVERIFY(rig.open(clip.path()));
        MediaSource* source = rig.source();
        const int capacity = source->videoCache.capacity();
        // 4:2:0 pictures are kept as decoded: twice and a half as many as in RGB.
        QCOMPARE(capacity, int(int64_t(VideoFrameCache::MinimumCacheBytes * 0.99) /
                               VideoFrame::storedBytes(AV_PIX_FMT_YUV420P, 1920, 1080)));
        QVERIFY(capacity > 2 * int(VideoFrameCache::MinimumCacheBytes * 0.99 / (1920 * 1080 * 4)));
        // Nothing is shown: the decoder fills the cache and waits, holding
        // the next picture.
        QTRY_COMPARE_WITH_TIMEOUT(source->videoCache.usedSlots(), capacity, patienceMs);
        QTest::qWait(200);
        QList<int> indexes = cachedIndexes(source);
        QCOMPARE(indexes.size(), capacity);
        QCOMPARE(indexes.first(), 0);
        QVERIFY(contiguous(indexes));

        // After a jump forward no picture from before it reaches the cache,
        // and of the pictures from the key frame at 0 to the target only the
        // last few are stored.
        const int target = 200;
        QVERIFY(rig.seekAndWaitForPicture(seekTimeOfFrame(clip, target)));
        QTRY_COMPARE_WITH_TIMEOUT(source->videoCache.usedSlots(), capacity, patienceMs);
        indexes = cachedIndexes(source);
        QVERIFY2(qAbs(indexes.first() - (target - 3)) <= 1, qPrintable(QString::number(indexes.first())));
        QVERIFY(contiguous(indexes));
        QCOMPARE(rig.pictureIndexAt(seekTimeOfFrame(clip, target)), target);
        // Unloading while the decoder waits for a place does not hang.
        QVERIFY(rig.close());
    }

    // MP4 indexes key frames by decoding time: with B-frames the key frame
    // at 250 is decoded before 248 and 249 are shown. Seeks there still land
    // on the key frame at 0 at once, without a second try.
    void seekJustBeforeAKeyFrameLandsOnTheOneBefore()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("h264_1080p25.mp4"));
        EngineRig rig;
        QVERIFY(rig.open(clip.path()));
        for (int target : {248, 249, 250}) {
            QVERIFY(rig.seekAndWaitForPicture(seekTimeOfFrame(clip, target)));
            QCOMPARE(rig.pictureIndexAt(seekTimeOfFrame(clip, target)), target);
        }
        QVERIFY(rig.overshoots.isEmpty());
    }

    // A jump to a picture just after a key frame (I, B and P pictures of the
    // GOP that starts at 250) shows it before the decoder goes on; then the
    // cache holds every picture from a few before the target on, each once
    // and in order, as after any other seek.
    void jumpsNearAKeyFrameGoOnFromTheTarget()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("h264_1080p25.mp4"));
        EngineRig rig;
        QVERIFY(rig.open(clip.path()));
        MediaSource* source = rig.source();
        for (int target : {252, 250, 253, 251, 1}) {
            QVERIFY(rig.seekAndWaitForPicture(seekTimeOfFrame(clip, target)));
            QCOMPARE(rig.pictureIndexAt(seekTimeOfFrame(clip, target)), target);
            QTRY_VERIFY_WITH_TIMEOUT(cachedIndexes(source).contains(target + 20), patienceMs);
            const QList<int> indexes = cachedIndexes(source);
            QVERIFY2(contiguous(indexes), qPrintable(QString("after %1").arg(target)));
            QVERIFY2(indexes.first() >= target - 3 && indexes.first() <= target,
                     qPrintable(QString("after %1: from %2").arg(target).arg(indexes.first())));
        }
    }

    // A step back keeps every picture before the target that fits behind the
    // playhead; a jump a few pictures.
    void seeksKeepThePicturesBeforeTheTarget_data()
    {
        QTest::addColumn<SeekHistory>("history");
        QTest::newRow("step back") << SeekHistory::Trailing;
        QTest::newRow("jump") << SeekHistory::Few;
    }

    void seeksKeepThePicturesBeforeTheTarget()
    {
        QFETCH(SeekHistory, history);
        const TestClip clip = TestClips::clip(QStringLiteral("h264_1080p25.mp4"));
        EngineRig rig;
        QVERIFY(rig.open(clip.path(), true, 512000000, 0.8f));
        MediaSource* source = rig.source();
        const int target = 249;
        const int kept = history == SeekHistory::Trailing ? source->videoCache.trailing() : 3;
        QVERIFY(kept < target);
        QVERIFY(rig.seekAndWaitForPicture(seekTimeOfFrame(clip, target), history));
        QTRY_VERIFY_WITH_TIMEOUT(!cachedIndexes(source).isEmpty() &&
                                     cachedIndexes(source).first() <= target - kept + 1,
                                 patienceMs);
        const QList<int> indexes = cachedIndexes(source);
        QVERIFY2(qAbs(indexes.first() - (target - kept)) <= 1, qPrintable(QString::number(indexes.first())));
        QVERIFY(contiguous(indexes));
        QVERIFY(indexes.contains(target));
    }

    void playingSlidesTheWindow()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("h264_1080p25.mp4"));
        EngineRig rig;
        QVERIFY(rig.open(clip.path()));
        MediaSource* source = rig.source();
        VideoFrameCache& cache = source->videoCache;
        QTRY_COMPARE_WITH_TIMEOUT(cache.usedSlots(), cache.capacity(), patienceMs);
        // Show frames one after the other like the controller's timer does.
        for (int frame = 0; frame < 80; ++frame) {
            const double time = seekTimeOfFrame(clip, frame);
            QVERIFY(QTest::qWaitFor([&] { return cache.rangeEnd() > time; }, patienceMs));
            QCOMPARE(rig.pictureIndexAt(time), frame);
        }
        // The decoder pushes the oldest frames out until only `trailing` lie
        // behind the one shown, then waits with a full cache.
        QTRY_COMPARE_WITH_TIMEOUT(cachedIndexes(source).first(), 79 - cache.trailing(), patienceMs);
        QTest::qWait(100);
        const QList<int> indexes = cachedIndexes(source);
        QCOMPARE(indexes.size(), cache.capacity());
        QVERIFY(contiguous(indexes));
        QCOMPARE(indexes.first(), 79 - cache.trailing());
    }

    void picturesAreKeptInTheSmallerForm_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("format");
        QTest::newRow("1 pixel, 4:4:4") << QStringLiteral("narrow_1px.mkv") << int(AV_PIX_FMT_YUV444P);
        QTest::newRow("4 pixels, 4:4:4") << QStringLiteral("narrow_4px.mkv") << int(AV_PIX_FMT_YUV444P);
        QTest::newRow("641 pixels, 4:2:0") << QStringLiteral("mpeg4_641x361.mov") << int(AV_PIX_FMT_YUV420P);
    }

    // Each picture is kept as decoded when that is smaller than 32-bit RGB,
    // else as RGB, and is shown at the clip's size whatever its width.
    void picturesAreKeptInTheSmallerForm()
    {
        QFETCH(QString, name);
        QFETCH(int, format);
        const TestClip clip = TestClips::clip(name);
        EngineRig rig;
        QVERIFY(rig.open(clip.path()));
        VideoFrameCache& cache = rig.source()->videoCache;
        QTRY_VERIFY_WITH_TIMEOUT(cache.usedSlots() >= VideoManager::PrefillFrames, patienceMs);
        std::lock_guard<std::mutex> lock(cache.mutex);
        const VideoFrame* frame = cache.frameAt(0.0);
        QVERIFY(frame);
        QCOMPARE(frame->picture->format, format);
        QCOMPARE(frame->width(), clip.width);
        QCOMPARE(frame->height(), clip.height);
        FrameConverter converter(clip.width, clip.height);
        const QImage image = converter.toImage(*frame);
        QCOMPARE(image.format(), QImage::Format_RGB32);
        QCOMPARE(image.size(), QSize(clip.width, clip.height));
        QCOMPARE(FrameIndex::read(image), 0);
    }

    // A picture still held when its clip is closed (a frame on screen) keeps
    // its bytes: the memory it was decoded into goes only after it.
    void picturesOutliveTheirClip()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("h264_1080p25.mp4"));
        std::unique_ptr<VideoFrame> held;
        {
            EngineRig rig;
            QVERIFY(rig.open(clip.path()));
            VideoFrameCache& cache = rig.source()->videoCache;
            QTRY_VERIFY_WITH_TIMEOUT(cache.usedSlots() >= VideoManager::PrefillFrames, patienceMs);
            {
                std::lock_guard<std::mutex> lock(cache.mutex);
                const VideoFrame* frame = cache.frameAt(3 / clip.frameRate());
                QVERIFY(frame);
                held =
                    std::make_unique<VideoFrame>(FramePtr(av_frame_clone(frame->picture.get())), frame->time);
            }
            QVERIFY(rig.close());
        }
        FrameConverter converter(clip.width, clip.height);
        QCOMPARE(FrameIndex::read(converter.toImage(*held)), 3);
    }

    void bandsConvertAsOneScalerDoes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("flags");
        const QString hd = QStringLiteral("h264_1080p25.mp4");
        QTest::newRow("4:2:0 scaled down to odd") << hd << QSize(641, 361) << int(SWS_AREA);
        QTest::newRow("4:2:0 at its size") << hd << QSize(1920, 1080) << int(SWS_BILINEAR);
        QTest::newRow("4:2:0 of odd size")
            << QStringLiteral("mpeg4_641x361.mov") << QSize(641, 361) << int(SWS_BILINEAR);
        QTest::newRow("4 pixels wide")
            << QStringLiteral("narrow_4px.mkv") << QSize(4, 64) << int(SWS_BILINEAR);
        QTest::newRow("10-bit, full chroma") << QStringLiteral("colour_2020_10bit.mkv") << QSize(960, 540)
                                             << int(SWS_AREA | SWS_FULL_CHR_H_INT | SWS_ACCURATE_RND);
    }

    // A picture converted in bands, each by a scaler of its own on whichever
    // thread is free, is the picture one scaler makes of it.
    void bandsConvertAsOneScalerDoes()
    {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        QFETCH(int, flags);
        EngineRig rig;
        QVERIFY(rig.open(TestClips::path(name)));
        VideoFrameCache& cache = rig.source()->videoCache;
        QTRY_VERIFY_WITH_TIMEOUT(cache.usedSlots() > 2, patienceMs);
        FramePtr picture;
        {
            std::lock_guard<std::mutex> lock(cache.mutex);
            const VideoFrame* frame = cache.frame(2);
            QVERIFY(frame);
            picture.reset(av_frame_clone(frame->picture.get()));
        }
        const auto convert = [&](int bands) {
            BandedScaler scaler(bands);
            QImage image(size, QImage::Format_RGB32);
            const bool made = scaler.reset([&] {
                return sws_getContext(picture->width, picture->height, AVPixelFormat(picture->format),
                                      size.width(), size.height(), AV_PIX_FMT_RGB32, flags, nullptr, nullptr,
                                      nullptr);
            });
            FramePtr output(av_frame_alloc());
            if (!made || !output)
                return QImage();
            output->format = AV_PIX_FMT_RGB32;
            output->width = size.width();
            output->height = size.height();
            output->data[0] = image.bits();
            output->linesize[0] = int(image.bytesPerLine());
            output->buf[0] = av_buffer_create(
                image.bits(), size_t(image.sizeInBytes()), [](void*, uint8_t*) {}, nullptr, 0);
            scaler.scale(picture.get(), output.get());
            return image;
        };
        const QImage whole = convert(1);
        QVERIFY(!whole.isNull());
        for (int round = 0; round < 3; ++round)
            QCOMPARE(convert(3), whole);
    }

    void firstPictureIsAtZero_data()
    {
        QTest::addColumn<QString>("name");
        // Its first picture at 0.5 s of container time.
        QTest::newRow("start offset") << QStringLiteral("start_offset.mkv");
        // Their first decodable picture after 12 that cannot be decoded.
        QTest::newRow("cut in Matroska") << QStringLiteral("gop_cut.mkv");
        QTest::newRow("cut in a transport stream") << QStringLiteral("gop_cut.ts");
        // Its first shown picture after hidden ones.
        QTest::newRow("edit list") << QStringLiteral("edit_list.mp4");
    }

    // The first picture the decoder gives is at 0, wherever the container
    // has it.
    void firstPictureIsAtZero()
    {
        QFETCH(QString, name);
        const TestClip clip = TestClips::clip(name);
        EngineRig rig;
        QVERIFY(rig.open(clip.path()));
        VideoFrameCache& cache = rig.source()->videoCache;
        std::lock_guard<std::mutex> lock(cache.mutex);
        const VideoFrame* first = cache.frame(0);
        QVERIFY(first);
        QCOMPARE(first->time, 0.0);
        QCOMPARE(cache.rangeStart(), 0.0);
        QCOMPARE(EngineRig::pictureIndex(*first), clip.firstIndex);
    }

    void endOfStreamIsReportedOnce()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("video_only.mp4"));
        EngineRig rig;
        QVERIFY(rig.open(clip.path()));
        QTRY_VERIFY_WITH_TIMEOUT(rig.videoStatuses.contains(VideoManager::EndOfStream), patienceMs);
        QCOMPARE(rig.videoStatuses.count(VideoManager::EndOfStream), 1);
        QTRY_VERIFY_WITH_TIMEOUT(rig.videoStatus() == VideoManager::Ready, patienceMs);
        QCOMPARE(rig.videoStatuses.first(), VideoManager::Ready);
        MediaSource* source = rig.source();
        QCOMPARE(source->videoCache.usedSlots(), clip.frameCount);
        QVERIFY(qAbs(source->videoCache.rangeEnd() - clip.duration) < 0.01);
        QCOMPARE(rig.pictureIndexAt(clip.duration), clip.frameCount - 1);
        // A seek after the end decodes again and ends again.
        QVERIFY(rig.seekAndWaitForPicture(1.0001));
        QCOMPARE(rig.pictureIndexAt(1.0001), 30);
        QTRY_COMPARE_WITH_TIMEOUT(rig.videoStatuses.count(VideoManager::EndOfStream), 2, patienceMs);
    }

    void audioOnlyHasNoVideo()
    {
        EngineRig rig;
        QVERIFY(rig.open(TestClips::path("audio_only.mp4")));
        QCOMPARE(rig.videoStatuses, QList<VideoManager::Status>{VideoManager::NoVideo});
        QVERIFY(rig.videoErrors.isEmpty());
        QCOMPARE(rig.source()->videoCache.usedSlots(), 0);
        QVERIFY(rig.close());
        QCOMPARE(rig.videoStatus(), VideoManager::Unloaded);
    }
};

QTEST_GUILESS_MAIN(VideoDecoderTest)
#include "tst_videodecoder.moc"
