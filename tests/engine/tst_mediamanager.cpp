// The reader on the clip corpus: statuses, stream choice, damaged files,
// seeks, end of file and unloading.
#include "enginerig.h"
#include "frameindex.h"
#include "patience.h"
#include "testclips.h"

#include <QtTest>
#include <atomic>
#include <thread>

namespace {

// Pops and frees packets of a queue on a thread of its own, like a decoder.
class QueueDrainer
{
public:
    explicit QueueDrainer(PacketQueue& queue)
        : thread([this, &queue] {
              PacketPtr packet(av_packet_alloc());
              while (!stop) {
                  if (queue.pop(packet.get(), 5) == 0) {
                      ++popped;
                      av_packet_unref(packet.get());
                  }
              }
          })
    {
    }
    ~QueueDrainer()
    {
        stop = true;
        thread.join();
    }
    std::atomic<int> popped{0};

private:
    std::atomic<bool> stop{false};
    std::thread thread;
};

// Pops every packet of a queue; returns the packets' kinds: 'F' flush,
// 'E' end of stream, 'd' data.
QString popAll(PacketQueue& queue)
{
    QString kinds;
    PacketPtr packet(av_packet_alloc());
    while (queue.pop(packet.get(), 1) == 0) {
        kinds += PacketQueue::isFlush(packet.get())         ? 'F'
                 : PacketQueue::isEndOfStream(packet.get()) ? 'E'
                                                            : 'd';
        av_packet_unref(packet.get());
    }
    return kinds;
}

// Pops one packet, waiting for the reader up to 20 s.
bool popOne(PacketQueue& queue)
{
    PacketPtr packet(av_packet_alloc());
    return QTest::qWaitFor([&] { return queue.pop(packet.get(), 5) == 0; }, patienceMs);
}

} // namespace

class MediaManagerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void statusesOfAWholeRead()
    {
        EngineRig rig;
        QVERIFY(rig.open(TestClips::path("video_only.mp4")));
        QTRY_VERIFY_WITH_TIMEOUT(rig.readerStatus() == MediaManager::EndOfFile, patienceMs);
        const QList<MediaManager::Status> expected{MediaManager::Loading, MediaManager::Unloaded,
                                                   MediaManager::Loaded, MediaManager::Reading,
                                                   MediaManager::EndOfFile};
        QCOMPARE(rig.readerStatuses, expected);
        QVERIFY(rig.readerErrors.isEmpty());
        QVERIFY(rig.close());
        QCOMPARE(rig.readerStatuses.last(), MediaManager::Unloaded);
    }

    void loadedIsReportedAfterThePrefill()
    {
        EngineRig rig;
        std::atomic<int> queuedAtLoaded{-1};
        MediaSource* source = nullptr;
        connect(
            &rig.reader, &MediaManager::statusChanged, &rig.reader,
            [&](MediaManager::Status s) {
                if (s == MediaManager::Loaded)
                    queuedAtLoaded = source->audioPackets.count() + source->videoPackets.count();
            },
            Qt::DirectConnection);
        // Without decoders nothing leaves the queues.
        source = new MediaSource(TestClips::path("h264_1080p25.mp4"));
        std::unique_ptr<MediaSource> owner(source);
        QMetaObject::invokeMethod(&rig.reader, "load", Qt::QueuedConnection, Q_ARG(MediaSource*, source));
        QTRY_VERIFY_WITH_TIMEOUT(rig.readerStatuses.contains(MediaManager::Loaded), patienceMs);
        QCOMPARE(queuedAtLoaded.load(), MediaManager::PrefillPackets);
        source->abort();
        QMetaObject::invokeMethod(&rig.reader, "unload", Qt::BlockingQueuedConnection);
    }

    void chosenStreams_data()
    {
        QTest::addColumn<QString>("name");
        for (const TestClip& clip : TestClips::playable())
            QTest::newRow(qPrintable(clip.name)) << clip.name;
    }

    void chosenStreams()
    {
        QFETCH(QString, name);
        const TestClip clip = TestClips::clip(name);
        EngineRig rig;
        QVERIFY(rig.open(clip.path(), false));
        MediaSource* source = rig.source();
        source->synchronise();
        QCOMPARE(source->videoStreamIndex >= 0, clip.hasVideo);
        QCOMPARE(source->audioStreamIndex >= 0, clip.hasAudio);
        QCOMPARE(source->videoStreamCount, clip.hasVideo ? 1 : 0);
        if (clip.hasVideo) {
            QCOMPARE(source->videoWidth, clip.width);
            QCOMPARE(source->videoHeight, clip.height);
            QVERIFY(qAbs(source->frameRate - clip.frameRate()) < 1e-6);
            QVERIFY(source->videoCodecContext);
            QCOMPARE(source->videoCodecContext->pkt_timebase.den, source->videoStream->time_base.den);
        }
        if (clip.hasAudio) {
            QCOMPARE(source->audioChannels, clip.audioChannels);
            QCOMPARE(source->audioSampleRate, clip.sampleRate);
            QVERIFY(source->audioCodecContext);
        }
        QVERIFY(source->timeOffset >= 0.0);
        // An estimate from the container: Matroska counts its duration from 0
        // even when the clip starts later. A raw elementary stream states none.
        if (!clip.name.endsWith(QLatin1String(".m2v")))
            QVERIFY2(qAbs(source->endTime - clip.duration) < 0.5,
                     qPrintable(QString::number(source->endTime)));
        else
            QCOMPARE(source->endTime, 0.0);
        QVERIFY(rig.close());
        QCOMPARE(rig.readerStatus(), MediaManager::Unloaded);
    }

    void twoAudioStreamsOpenTheFirst()
    {
        EngineRig rig;
        QVERIFY(rig.open(TestClips::path("two_audio.mkv"), false));
        MediaSource* source = rig.source();
        QCOMPARE(source->audioStreamCount, 2);
        int firstAudio = -1;
        for (unsigned i = 0; i < source->formatContext->nb_streams && firstAudio < 0; ++i) {
            if (source->formatContext->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
                firstAudio = int(i);
        }
        QCOMPARE(source->audioStreamIndex, firstAudio);
        QCOMPARE(source->audioChannels, 2);
    }

    void startTimeBecomesTimeZero()
    {
        EngineRig rig;
        QVERIFY(rig.open(TestClips::path("mpeg2_ps.mpg"), false));
        QVERIFY(qAbs(rig.source()->timeOffset - 0.54) < 0.001);
        QVERIFY(rig.open(TestClips::path("start_offset.mkv"), false));
        QVERIFY(qAbs(rig.source()->timeOffset - 0.5) < 0.001);
    }

    void damagedFilesFailToLoad_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString& name : TestClips::unopenable())
            QTest::newRow(qPrintable(name)) << name;
        QTest::newRow("missing file") << QStringLiteral("no-such-clip.mp4");
    }

    void damagedFilesFailToLoad()
    {
        QFETCH(QString, name);
        EngineRig rig;
        QVERIFY(!rig.open(TestClips::path(name)));
        const QList<MediaManager::Status> expected{MediaManager::Loading, MediaManager::Unloaded,
                                                   MediaManager::LoadFailed};
        QCOMPARE(rig.readerStatuses, expected);
        QCOMPARE(rig.readerErrors, QList<MediaManager::Error>{MediaManager::OpenFailed});
        QCOMPARE(rig.source()->audioPackets.count() + rig.source()->videoPackets.count(), 0);
        // A later seek on the failed media goes nowhere and does not hang.
        rig.source()->requestSeek(1.0);
        QMetaObject::invokeMethod(&rig.reader, "seek", Qt::BlockingQueuedConnection);
        QVERIFY(rig.close());
        QCOMPARE(rig.readerStatus(), MediaManager::Unloaded);
        // The same reader opens a good file afterwards.
        QVERIFY(rig.open(TestClips::path("video_only.mp4")));
    }

    void clipCutShortPlaysWhatItHas()
    {
        EngineRig rig;
        QVERIFY(rig.open(TestClips::path("cut_short.mkv")));
        QTRY_VERIFY_WITH_TIMEOUT(rig.readerStatus() == MediaManager::EndOfFile || !rig.readerErrors.isEmpty(),
                                 patienceMs);
        QTRY_VERIFY_WITH_TIMEOUT(rig.videoStatuses.contains(VideoManager::EndOfStream), patienceMs);
        QVERIFY(rig.source()->videoCache.usedSlots() > 10);
        QCOMPARE(rig.pictureIndexAt(0.0001), 0);
        QVERIFY(rig.seekAndWaitForPicture(0.5001));
        QCOMPARE(rig.pictureIndexAt(0.5001), 12);
        QVERIFY(rig.close());
    }

    void seekFlushesQueuesAndCaches()
    {
        EngineRig rig;
        QVERIFY(rig.open(TestClips::path("h264_1080p25.mp4"), false));
        MediaSource* source = rig.source();
        std::atomic<int> queuedAtSeeked{-1};
        connect(
            &rig.reader, &MediaManager::statusChanged, &rig.reader,
            [&](MediaManager::Status s) {
                if (s == MediaManager::Seeked)
                    queuedAtSeeked = source->audioPackets.count() + source->videoPackets.count();
            },
            Qt::DirectConnection);
        FramePtr picture(av_frame_alloc());
        picture->format = AV_PIX_FMT_RGB32;
        picture->width = 16;
        picture->height = 16;
        QCOMPARE(av_frame_get_buffer(picture.get(), 0), 0);
        auto frame = std::make_unique<VideoFrame>(std::move(picture), 0.0);
        QVERIFY(source->videoCache.insert(frame, 0.04));
        source->audioCache.insert(std::make_unique<AudioBuffer>(1024, 2, 0.0), 48000, 0.0);
        QVERIFY(popAll(source->videoPackets).size() > 0);
        QVERIFY(popAll(source->audioPackets).size() > 0);

        QVERIFY(rig.seek(7.3));
        const double clock = source->playbackTime(false);
        QVERIFY2(clock >= 7.3 && clock < 7.5, qPrintable(QString::number(clock)));
        QCOMPARE(source->videoCache.usedSlots(), 0);
        QCOMPARE(source->audioCache.bufferCount(), 0);
        QVERIFY(source->videoCache.discarding());
        QVERIFY(source->audioCache.discarding());
        QVERIFY(!source->seekRequested);
        // Both flush markers and the packets read to find where the seek
        // landed: the report does not wait for the queues to fill.
        QVERIFY2(queuedAtSeeked > 2 && queuedAtSeeked < 2 + MediaManager::PrefillPackets,
                 qPrintable(QString::number(queuedAtSeeked)));
        const QString video = popAll(source->videoPackets);
        const QString audio = popAll(source->audioPackets);
        QVERIFY2(video.startsWith("Fd") && video.count('F') == 1, qPrintable(video.left(20)));
        QVERIFY2(audio.startsWith("Fd") && audio.count('F') == 1, qPrintable(audio.left(20)));
        const QList<MediaManager::Status> tail{MediaManager::Seeked, MediaManager::Reading};
        QTRY_COMPARE_WITH_TIMEOUT(rig.readerStatuses.mid(rig.readerStatuses.size() - 2), tail, patienceMs);
    }

    // Paused, a jump has the reader keep just ahead of the decoder until its
    // picture is on screen; playing, or once it is shown, it reads ahead.
    void aJumpReadsAheadOnceItsPictureIsShown()
    {
        EngineRig rig;
        QVERIFY(rig.open(TestClips::path("h264_1080p25.mp4"), false));
        MediaSource* source = rig.source();
        for (const bool playing : {false, true}) {
            source->playing = playing;
            popAll(source->videoPackets);
            QElapsedTimer sinceSeek;
            sinceSeek.start();
            QVERIFY(rig.seek(playing ? 2.0 : 7.3));
            if (!playing) {
                QTRY_VERIFY_WITH_TIMEOUT(source->videoPackets.count() >= ReadPacer::PacedPackets, patienceMs);
                // Time for a reader that does not hold back to read on; a
                // machine so busy that the pacing's own bound ran out first
                // proves nothing either way.
                QTest::qWait(100);
                const int queued = source->videoPackets.count();
                if (sinceSeek.elapsed() < ReadPacer::MaxPacing.count())
                    QCOMPARE(queued, ReadPacer::PacedPackets);
                source->picturesShown.fetch_add(1);
            }
            QTRY_VERIFY_WITH_TIMEOUT(source->videoPackets.count() > 4 * ReadPacer::PacedPackets, patienceMs);
        }
    }

    void seekToTheStartFromAnywhere_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("target");
        QTest::newRow("mp4 to 0") << QStringLiteral("h264_1080p25.mp4") << 0.0;
        QTest::newRow("mp4 negative") << QStringLiteral("h264_1080p25.mp4") << -3.0;
        QTest::newRow("mpg to 0") << QStringLiteral("mpeg2_ps.mpg") << 0.0;
        QTest::newRow("edit list to 0") << QStringLiteral("edit_list.mp4") << 0.0;
        QTest::newRow("edit list negative") << QStringLiteral("edit_list.mp4") << -0.5;
        QTest::newRow("start offset, before the first key frame")
            << QStringLiteral("start_offset.mkv") << 0.2;
    }

    void seekToTheStartFromAnywhere()
    {
        QFETCH(QString, name);
        QFETCH(double, target);
        const TestClip clip = TestClips::clip(name);
        EngineRig rig;
        QVERIFY(rig.open(clip.path()));
        // From the start itself, and from a clock past it.
        for (double from : {0.0, clip.duration * 0.6}) {
            if (from > 0)
                QVERIFY(rig.seekAndWaitForPicture(from));
            QVERIFY(rig.seekAndWaitForPicture(target));
            const double clock = rig.source()->playbackTime(false);
            QVERIFY2(clock >= std::max(0.0, target) && clock < std::max(0.0, target) + 0.1,
                     qPrintable(QString::number(clock)));
            const int expected = clip.firstIndex + int(std::max(0.0, target) * clip.frameRate() + 1e-9);
            QCOMPARE(rig.pictureIndexAt(std::max(0.0, target)), expected);
            QVERIFY(rig.readerErrors.isEmpty());
        }
    }

    void endOfStreamWaitsForRoom()
    {
        // Nobody decodes the video: the queue fills, and the end-of-stream
        // marker goes in as soon as the consumer makes room.
        EngineRig rig;
        QVERIFY(rig.open(TestClips::path("h264_1080p25.mp4"), false));
        MediaSource* source = rig.source();
        QueueDrainer audio(source->audioPackets);
        int popped = 0;
        for (; popped < 100; ++popped) {
            QVERIFY(popOne(source->videoPackets));
        }
        QTRY_COMPARE_WITH_TIMEOUT(source->videoPackets.count(), PacketQueue::Capacity, patienceMs);
        QTest::qWait(100);
        QVERIFY(!rig.readerStatuses.contains(MediaManager::EndOfFile));
        QCOMPARE(source->videoPackets.count(), PacketQueue::Capacity);
        QString rest;
        QVERIFY(QTest::qWaitFor([&] { return (rest += popAll(source->videoPackets)).endsWith('E'); },
                                patienceMs));
        QTRY_VERIFY_WITH_TIMEOUT(rig.readerStatuses.contains(MediaManager::EndOfFile), patienceMs);
        QCOMPARE(rest.count('E'), 1);
        QVERIFY(rest.endsWith('E'));
        QCOMPARE(popped + rest.count('d'), 300);
    }

    void seekOvertakesAWaitingEndOfStream()
    {
        EngineRig rig;
        QVERIFY(rig.open(TestClips::path("h264_1080p25.mp4"), false));
        MediaSource* source = rig.source();
        QueueDrainer audio(source->audioPackets);
        for (int popped = 0; popped < 100; ++popped) {
            QVERIFY(popOne(source->videoPackets));
        }
        QTRY_COMPARE_WITH_TIMEOUT(source->videoPackets.count(), PacketQueue::Capacity, patienceMs);
        QVERIFY(rig.seek(2.0));
        QVERIFY(!rig.readerStatuses.contains(MediaManager::EndOfFile));
        QVERIFY(popAll(source->videoPackets).startsWith("Fd"));
    }

    void endOfStreamGoesIntoBothQueues()
    {
        EngineRig rig;
        QVERIFY(rig.open(TestClips::path("video_only.mp4"), false));
        QTRY_VERIFY_WITH_TIMEOUT(rig.readerStatuses.contains(MediaManager::EndOfFile), patienceMs);
        QCOMPARE(popAll(rig.source()->audioPackets), QStringLiteral("E"));
        const QString video = popAll(rig.source()->videoPackets);
        QCOMPARE(video.size(), 121);
        QVERIFY(video.endsWith('E'));
    }

    void unloadFromAnyState()
    {
        EngineRig rig;
        // Never loaded.
        QMetaObject::invokeMethod(&rig.reader, "unload", Qt::BlockingQueuedConnection);
        QCOMPARE(rig.reader.status(), MediaManager::Unloaded);
        // Reading with full queues and nobody decoding.
        QVERIFY(rig.open(TestClips::path("h264_1080p25.mp4"), false));
        MediaSource* reading = rig.source();
        QTRY_VERIFY_WITH_TIMEOUT(reading->videoPackets.count() == PacketQueue::Capacity ||
                                     reading->audioPackets.count() == PacketQueue::Capacity,
                                 patienceMs);
        QVERIFY(rig.close());
        // Right after the load was asked for.
        auto source = std::make_unique<MediaSource>(TestClips::path("h264_1080p25.mp4"));
        QMetaObject::invokeMethod(&rig.reader, "load", Qt::QueuedConnection,
                                  Q_ARG(MediaSource*, source.get()));
        source->abort();
        QMetaObject::invokeMethod(&rig.reader, "unload", Qt::BlockingQueuedConnection);
        QCOMPARE(rig.reader.status(), MediaManager::Unloaded);
        QCOMPARE(source->formatContext.get(), nullptr);
        source.reset();
        // After the end of the file, decoding, then twice.
        QVERIFY(rig.open(TestClips::path("video_only.mp4")));
        QTRY_VERIFY_WITH_TIMEOUT(rig.readerStatus() == MediaManager::EndOfFile, patienceMs);
        QVERIFY(rig.close());
        QVERIFY(rig.close());
        // After a failed load.
        QVERIFY(!rig.open(TestClips::path("random.mp4")));
        QVERIFY(rig.close());
    }
};

QTEST_GUILESS_MAIN(MediaManagerTest)
#include "tst_mediamanager.moc"
