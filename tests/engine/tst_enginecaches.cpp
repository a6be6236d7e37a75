// The media source's queues, caches and clock, through their public interface.
#include "audiocache.h"
#include "imagememorypool.h"
#include "largepages.h"
#include "mediasource.h"
#include "packetqueue.h"
#include "patience.h"
#include "videoframecache.h"

#include <QtTest>
#include <atomic>
#include <cstring>
#include <thread>
#include <unistd.h>

namespace {

std::unique_ptr<VideoFrame> makeFrame(double time, int width = 8, int height = 2)
{
    FramePtr picture(av_frame_alloc());
    picture->format = AV_PIX_FMT_RGB32;
    picture->width = width;
    picture->height = height;
    av_frame_get_buffer(picture.get(), 0);
    return std::make_unique<VideoFrame>(std::move(picture), time);
}

// Fills the cache with frames at 0, d, 2d, ... and returns how many it took.
int fill(VideoFrameCache& cache, int count, double duration, int first = 0)
{
    int inserted = 0;
    for (int i = first; i < first + count; ++i) {
        auto frame = makeFrame(i * duration);
        if (!cache.insert(frame, duration))
            break;
        ++inserted;
    }
    return inserted;
}

QList<double> cachedTimes(VideoFrameCache& cache)
{
    std::lock_guard<std::mutex> lock(cache.mutex);
    QList<double> times;
    for (int i = 0; VideoFrame* f = cache.frame(i); ++i)
        times << f->time;
    return times;
}

PacketPtr dataPacket(int size, uint8_t fill)
{
    PacketPtr packet(av_packet_alloc());
    av_new_packet(packet.get(), size);
    std::memset(packet->data, fill, size_t(size));
    return packet;
}

// A frame's worth of bytes for a cache of `capacity` frames at the minimum size.
int frameBytesFor(int capacity)
{
    return int(int64_t(VideoFrameCache::MinimumCacheBytes * 0.99) / capacity);
}

// Waits until the thread whose kernel id lands in `thread` is asleep, which a
// thread that has started its timed wait on a queue or a cache is: the
// kernel's state for it, so a request made next meets the waiter in its wait
// rather than before it, however slowly the thread got there.
bool waitUntilAsleep(const std::atomic<pid_t>& thread)
{
    return QTest::qWaitFor(
        [&] {
            if (thread == 0)
                return false;
            QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(thread.load()));
            if (!stat.open(QIODevice::ReadOnly))
                return false;
            // "tid (name) state ...": the name may hold spaces and brackets.
            const QByteArray line = stat.readAll();
            const int nameEnd = line.lastIndexOf(')');
            return nameEnd > 0 && line.mid(nameEnd + 2, 1) == "S";
        },
        patienceMs);
}

// A time-out for a waiter that only a wake may end: longer than the test
// waits for it to end.
constexpr int outlastsTheTest = 2 * patienceMs;

} // namespace

class EngineCachesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cacheSizeHasAMinimum_data()
    {
        QTest::addColumn<qint64>("cacheSize");
        QTest::addColumn<int>("frameBytes");
        QTest::addColumn<float>("trailingPct");
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("trailing");
        const int hd = 1920 * 1080 * 3;
        QTest::newRow("0 bytes is the minimum") << qint64(0) << hd << 0.7f << 40 << 28;
        QTest::newRow("below the minimum") << qint64(255999999) << hd << 0.7f << 40 << 28;
        QTest::newRow("negative") << qint64(-5) << hd << 0.7f << 40 << 28;
        QTest::newRow("1 GB") << qint64(1000000000) << hd << 0.7f << 159 << 111;
        QTest::newRow("trailing 1.0 leaves 2 ahead") << qint64(0) << hd << 1.0f << 40 << 38;
        QTest::newRow("trailing 0") << qint64(0) << hd << 0.0f << 40 << 0;
        // Pictures larger than the budget: two of them, both ahead.
        QTest::newRow("11000 x 11000") << qint64(0) << 11000 * 11000 * 3 << 0.7f << 2 << 0;
        QTest::newRow("16000 x 16000") << qint64(0) << 16000 * 16000 * 3 << 0.7f << 2 << 0;
        QTest::newRow("one fits the budget") << qint64(0) << 9000 * 9000 * 3 << 0.7f << 2 << 0;
    }

    void cacheSizeHasAMinimum()
    {
        QFETCH(qint64, cacheSize);
        QFETCH(int, frameBytes);
        QFETCH(float, trailingPct);
        QFETCH(int, capacity);
        QFETCH(int, trailing);
        VideoFrameCache cache;
        QCOMPARE(cache.capacity(), 176);
        QCOMPARE(cache.trailing(), 123);
        cache.configure(cacheSize, frameBytes, trailingPct);
        QCOMPARE(cache.capacity(), capacity);
        QCOMPARE(cache.trailing(), trailing);
        QCOMPARE(cache.freeSlots(), capacity);
    }

    void picturesAreKeptInWhicheverFormIsSmaller_data()
    {
        QTest::addColumn<int>("decoded");
        QTest::addColumn<int>("kept");
        QTest::newRow("4:2:0") << int(AV_PIX_FMT_YUV420P) << int(AV_PIX_FMT_YUV420P);
        QTest::newRow("4:4:4") << int(AV_PIX_FMT_YUV444P) << int(AV_PIX_FMT_YUV444P);
        QTest::newRow("4:2:2 10-bit, as large as RGB")
            << int(AV_PIX_FMT_YUV422P10LE) << int(AV_PIX_FMT_YUV422P10LE);
        QTest::newRow("4:4:4 16-bit") << int(AV_PIX_FMT_YUV444P16LE) << int(AV_PIX_FMT_RGB32);
        QTest::newRow("unknown yet") << int(AV_PIX_FMT_NONE) << int(AV_PIX_FMT_RGB32);
    }

    void picturesAreKeptInWhicheverFormIsSmaller()
    {
        QFETCH(int, decoded);
        QFETCH(int, kept);
        QCOMPARE(int(VideoFrame::storedFormat(AVPixelFormat(decoded), 1920, 1080)), kept);
        const int64_t bytes = VideoFrame::storedBytes(AVPixelFormat(decoded), 1920, 1080);
        QVERIFY(bytes <= int64_t(1920) * 1080 * 4 * 101 / 100); // and the decoder's padding
        QVERIFY(bytes >= int64_t(1920) * 1080 * 3 / 2);
    }

    void resetEmptiesTheCache()
    {
        VideoFrameCache cache;
        cache.configure(0, frameBytesFor(10), 0.7f);
        QCOMPARE(fill(cache, 6, 0.04), 6);
        QCOMPARE(cache.usedSlots(), 6);
        QVERIFY(cache.byteTotal() > 0);
        QCOMPARE(cache.rangeStart(), 0.0);
        QCOMPARE(cache.rangeEnd(), 5 * 0.04 + 0.04 - VideoFrameCache::lookupTolerance(0.04));
        cache.reset();
        QCOMPARE(cache.usedSlots(), 0);
        QCOMPARE(cache.freeSlots(), cache.capacity());
        QCOMPARE(cache.byteTotal(), qint64(0));
        QCOMPARE(cache.rangeStart(), 0.0);
        QCOMPARE(cache.rangeEnd(), 0.0);
        std::lock_guard<std::mutex> lock(cache.mutex);
        QCOMPARE(cache.frameAt(0.0), nullptr);
        QCOMPARE(cache.currentIndex(), -1);
    }

    void resetGivesThePicturesBackAtOnce()
    {
        // The pictures go back to the pools they came from, to be filled
        // again, not when later ones arrive; the sanitizer build checks that
        // none leaks.
        VideoFrameCache cache;
        cache.configure(0, frameBytesFor(10), 0.7f);
        auto frame = makeFrame(0.0);
        AVBufferRef* shared = av_buffer_ref(frame->picture->buf[0]);
        QVERIFY(cache.insert(frame, 0.04));
        QCOMPARE(fill(cache, 9, 0.04, 1), 9);
        QCOMPARE(av_buffer_get_ref_count(shared), 2);
        cache.reset();
        QCOMPARE(av_buffer_get_ref_count(shared), 1);
        av_buffer_unref(&shared);
        QCOMPARE(fill(cache, 10, 0.04), 10);
        // Or when whoever took them lets go of them.
        VideoFrameCache::Frames taken;
        cache.reset(&taken);
        QCOMPARE(cache.usedSlots(), 0);
        QCOMPARE(int(taken.size()), 10);
        QCOMPARE(fill(cache, 10, 0.04), 10);
        QCOMPARE(cache.usedSlots(), 10);
    }

    void olderFramesJoinTheTrailingPart()
    {
        // Pictures decoded backwards from the playhead arrive older than
        // everything cached: each takes its place in time, behind the current one.
        VideoFrameCache cache;
        cache.configure(0, frameBytesFor(10), 0.7f);
        const double d = 0.04;
        QCOMPARE(fill(cache, 3, d, 5), 3);
        {
            std::lock_guard<std::mutex> lock(cache.mutex);
            QCOMPARE(cache.frameAt(6 * d + 0.0001)->time, 6 * d);
            QCOMPARE(cache.currentIndex(), 1);
        }
        for (int i = 4; i >= 2; --i) {
            auto older = makeFrame(i * d);
            QVERIFY(cache.insert(older, d));
        }
        QCOMPARE(cachedTimes(cache), (QList<double>{2 * d, 3 * d, 4 * d, 5 * d, 6 * d, 7 * d}));
        QCOMPARE(cache.rangeStart(), 2 * d);
        QCOMPARE(cache.rangeEnd(), 7 * d + d - VideoFrameCache::lookupTolerance(d));
        std::lock_guard<std::mutex> lock(cache.mutex);
        QCOMPARE(cache.currentIndex(), 4);
        QCOMPARE(cache.frameAt(3 * d + 0.0001)->time, 3 * d);
    }

    void fullCacheWaitsWhileNothingIsShown()
    {
        VideoFrameCache cache;
        cache.configure(0, frameBytesFor(10), 0.7f);
        QCOMPARE(fill(cache, 10, 0.04), 10);
        auto extra = makeFrame(0.4);
        QVERIFY(!cache.insert(extra, 0.04));
        QVERIFY(extra); // still the caller's
        const QList<double> times = cachedTimes(cache);
        QCOMPARE(times.size(), 10);
        QCOMPARE(times.first(), 0.0);
        QCOMPARE(times.last(), 9 * 0.04);
    }

    void evictionKeepsTrailingFramesBehind()
    {
        VideoFrameCache cache;
        cache.configure(0, frameBytesFor(10), 0.7f);
        QCOMPARE(cache.trailing(), 7);
        const double d = 0.04;
        QCOMPARE(fill(cache, 10, d), 10);
        // Play through: look up each frame in turn, the decoder keeps inserting.
        int next = 10;
        for (int shown = 0; shown < 40; ++shown) {
            {
                std::lock_guard<std::mutex> lock(cache.mutex);
                VideoFrame* frame = cache.frameAt(shown * d + 0.0001);
                QVERIFY(frame);
                QCOMPARE(frame->time, shown * d);
                QVERIFY(cache.currentIndex() <= cache.trailing() + 1);
            }
            auto frame = makeFrame(next * d);
            if (cache.insert(frame, d))
                ++next;
            std::lock_guard<std::mutex> lock(cache.mutex);
            QVERIFY2(cache.currentIndex() <= cache.trailing(),
                     qPrintable(QString::number(cache.currentIndex())));
            QVERIFY(cache.usedSlots() <= cache.capacity());
        }
        // Contiguous: no frame was dropped on the way.
        const QList<double> times = cachedTimes(cache);
        for (int i = 1; i < times.size(); ++i)
            QVERIFY(qAbs(times[i] - times[i - 1] - d) < 1e-9);
        QVERIFY(times.first() > 0.0);
    }

    void frameAtClampsToTheCachedRange()
    {
        VideoFrameCache cache;
        QCOMPARE(fill(cache, 5, 0.04, 10), 5); // 0.40 .. 0.56
        std::lock_guard<std::mutex> lock(cache.mutex);
        QCOMPARE(cache.frameAt(0.0)->time, 0.40);
        QCOMPARE(cache.currentIndex(), 0);
        QCOMPARE(cache.frameAt(100.0)->time, 0.56);
        QCOMPARE(cache.currentIndex(), 4);
        QCOMPARE(cache.frameAt(0.48 + 0.0001)->time, 0.48);
        QCOMPARE(cache.frameAt(0.5185)->time, 0.48);
    }

    void lookupAllowsForRoundedTimestamps()
    {
        // A picture whose millisecond timestamp was rounded up lies up to half
        // a millisecond after the exact frame time.
        VideoFrameCache cache;
        auto a = makeFrame(3.170);
        auto b = makeFrame(3.2122); // exact time 3.21164
        QVERIFY(cache.insert(a, 1001.0 / 24000));
        QVERIFY(cache.insert(b, 1001.0 / 24000));
        std::lock_guard<std::mutex> lock(cache.mutex);
        QCOMPARE(cache.frameAt(77 * 1001.0 / 24000 + 0.0001)->time, 3.2122);
        QCOMPARE(cache.frameAt(3.2100)->time, 3.170);
    }

    void lookupStaysWithinAFrameAtAThousandFramesASecond()
    {
        // The tolerance is a quarter frame there, not a whole millisecond.
        VideoFrameCache cache;
        QCOMPARE(fill(cache, 10, 0.001), 10);
        std::lock_guard<std::mutex> lock(cache.mutex);
        for (int n = 0; n < 10; ++n)
            QCOMPARE(cache.frameAt(n * 0.001 + 0.0001)->time, n * 0.001);
    }

    void markEndOfStreamExtendsTheRange()
    {
        VideoFrameCache cache;
        cache.markEndOfStream(9.0);
        QCOMPARE(cache.rangeEnd(), 0.0); // nothing cached: nothing to extend
        QCOMPARE(fill(cache, 3, 0.04, 200), 3);
        cache.markEndOfStream(9.0);
        QCOMPARE(cache.rangeEnd(), 9.0);
        QCOMPARE(cache.rangeStart(), 8.0);
    }

    void discardingDropsInsertedFrames()
    {
        VideoFrameCache cache;
        cache.setDiscarding(true);
        auto frame = makeFrame(1.0);
        QVERIFY(cache.insert(frame, 0.04));
        QVERIFY(!frame);
        QCOMPARE(cache.usedSlots(), 0);
        cache.setDiscarding(false);
        QCOMPARE(fill(cache, 1, 0.04), 1);
    }

    void waitingInsertWakesWhenAPlaceIsDue()
    {
        VideoFrameCache cache;
        cache.configure(0, frameBytesFor(4), 0.5f); // capacity 4, trailing 2
        QCOMPARE(fill(cache, 4, 0.04), 4);
        std::atomic<int> result{-1};
        std::atomic<pid_t> decoderThread{0};
        std::thread decoder([&] {
            auto frame = makeFrame(4 * 0.04);
            decoderThread = gettid();
            result = cache.insert(frame, 0.04, outlastsTheTest) ? 1 : 0;
        });
        QVERIFY(waitUntilAsleep(decoderThread));
        QCOMPARE(result.load(), -1);
        {
            std::lock_guard<std::mutex> lock(cache.mutex);
            cache.frameAt(3 * 0.04); // three frames behind: one may go
        }
        QTRY_COMPARE_WITH_TIMEOUT(result.load(), 1, patienceMs);
        decoder.join();
        QCOMPARE(cachedTimes(cache).first(), 0.04);
    }

    void abortAndSeekWakeWaiters()
    {
        MediaSource source(QStringLiteral("none.mp4"));
        source.videoCache.configure(0, frameBytesFor(2), 0.0f);
        QCOMPARE(fill(source.videoCache, 2, 0.04), 2);
        for (int i = 0; i < PacketQueue::Capacity; ++i) {
            PacketPtr p = dataPacket(4, uint8_t(i));
            QVERIFY(source.videoPackets.push(p.get()));
        }
        std::atomic<int> pushed{-1};
        std::atomic<int> inserted{-1};
        std::atomic<pid_t> readerThread{0};
        std::atomic<pid_t> decoderThread{0};
        std::thread reader([&] {
            PacketPtr p = dataPacket(4, 0xee);
            readerThread = gettid();
            pushed = source.videoPackets.push(p.get(), outlastsTheTest) ? 1 : 0;
            QVERIFY(p->data); // a push that gave up leaves the packet to its owner
        });
        const auto startDecoder = [&] {
            inserted = -1;
            decoderThread = 0;
            return std::thread([&] {
                auto frame = makeFrame(1.0);
                decoderThread = gettid();
                inserted = source.videoCache.insert(frame, 0.04, outlastsTheTest) ? 1 : 0;
            });
        };
        std::thread decoder = startDecoder();
        QVERIFY(waitUntilAsleep(readerThread));
        QVERIFY(waitUntilAsleep(decoderThread));
        // The decoder, woken by the request, gets its codec ready while the
        // reader seeks.
        source.requestSeek(1.5);
        QTRY_COMPARE_WITH_TIMEOUT(pushed.load(), 0, patienceMs);
        QCOMPARE(source.seekTarget.load(), 1.5);
        QTRY_COMPARE_WITH_TIMEOUT(inserted.load(), 0, patienceMs);
        decoder.join();
        decoder = startDecoder();
        QVERIFY(waitUntilAsleep(decoderThread));
        source.abort();
        QTRY_COMPARE_WITH_TIMEOUT(inserted.load(), 0, patienceMs);
        reader.join();
        decoder.join();
    }

    void packetQueueKeepsOrderAndMarkers()
    {
        PacketQueue queue;
        PacketPtr out(av_packet_alloc());
        QCOMPARE(queue.pop(out.get()), -1);
        for (int i = 0; i < 3; ++i) {
            PacketPtr p = dataPacket(16, uint8_t(i));
            QVERIFY(queue.push(p.get()));
            QCOMPARE(p->data, nullptr); // the queue owns the data now
        }
        QVERIFY(queue.pushEndOfStream());
        QCOMPARE(queue.count(), 4);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(queue.pop(out.get()), 0);
            QCOMPARE(out->size, 16);
            QCOMPARE(out->data[0], uint8_t(i));
        }
        QCOMPARE(queue.pop(out.get()), 0);
        QVERIFY(PacketQueue::isEndOfStream(out.get()));
        QVERIFY(!PacketQueue::isFlush(out.get()));
        av_packet_unref(out.get());
    }

    void fullPacketQueueRefusesAndFlushLeavesTheMarker()
    {
        PacketQueue queue;
        for (int i = 0; i < PacketQueue::Capacity; ++i) {
            PacketPtr p = dataPacket(8, uint8_t(i));
            QVERIFY(queue.push(p.get()));
        }
        PacketPtr extra = dataPacket(8, 0xab);
        QVERIFY(!queue.push(extra.get()));
        QVERIFY(extra->data);
        QCOMPARE(extra->data[0], uint8_t(0xab));
        QVERIFY(!queue.pushEndOfStream());
        queue.flush();
        QCOMPARE(queue.count(), 1);
        PacketPtr out(av_packet_alloc());
        QCOMPARE(queue.pop(out.get()), 0);
        QVERIFY(PacketQueue::isFlush(out.get()));
        QVERIFY(queue.push(extra.get()));
        queue.clear();
        QCOMPARE(queue.count(), 0);
        QCOMPARE(queue.pop(out.get()), -1);
    }

    void droppingQueueSwallowsEverything()
    {
        PacketQueue queue;
        PacketPtr p = dataPacket(8, 1);
        QVERIFY(queue.push(p.get()));
        queue.setDropping(true);
        QCOMPARE(queue.count(), 0);
        for (int i = 0; i < 2 * PacketQueue::Capacity; ++i) {
            PacketPtr q = dataPacket(8, 2);
            QVERIFY(queue.push(q.get()));
            QCOMPARE(q->data, nullptr);
        }
        QVERIFY(queue.pushEndOfStream());
        QCOMPARE(queue.count(), 0);
    }

    void emptyAudioCacheReadsSilence()
    {
        AudioCache cache;
        int16_t out[2 * 480];
        std::fill(std::begin(out), std::end(out), int16_t(1234));
        QCOMPARE(cache.readFrames(out, 480, 2, 48000, 1.0, 1.0), 480);
        QVERIFY(std::all_of(std::begin(out), std::end(out), [](int16_t s) { return s == 0; }));
    }

    void volumeScalesAndClamps()
    {
        AudioCache cache;
        auto buffer = std::make_unique<AudioBuffer>(4, 1, 0.0);
        const int16_t samples[4] = {30000, -30000, 1000, -1000};
        std::copy(std::begin(samples), std::end(samples), buffer->samples.get());
        cache.insert(std::move(buffer), 1000, 0.0);
        int16_t out[4];
        cache.readFrames(out, 4, 1, 1000, 0.0, 0.5);
        QCOMPARE(out[0], int16_t(15000));
        QCOMPARE(out[1], int16_t(-15000));
        QCOMPARE(out[2], int16_t(500));
        cache.resetReadPosition();
        cache.readFrames(out, 4, 1, 1000, 0.0, 2.0);
        QCOMPARE(out[0], int16_t(32767));
        QCOMPARE(out[1], int16_t(-32768));
        QCOMPARE(out[2], int16_t(2000));
        QCOMPARE(out[3], int16_t(-2000));
    }

    void readingFollowsTheClockAndSkipsDrift()
    {
        // Two mono buffers at 1000 Hz whose samples count the frames.
        AudioCache cache;
        for (int b = 0; b < 2; ++b) {
            auto buffer = std::make_unique<AudioBuffer>(1000, 1, double(b));
            for (int i = 0; i < 1000; ++i)
                buffer->samples[size_t(i)] = int16_t(b * 1000 + i);
            cache.insert(std::move(buffer), 1000, 0.0);
        }
        QCOMPARE(cache.totalSamples(), 2000);
        int16_t out[10];
        // Less than 10 ms behind: played from the buffer's start.
        cache.readFrames(out, 10, 1, 1000, 0.005, 1.0);
        QCOMPARE(out[0], int16_t(0));
        // The read goes on where it stopped.
        cache.readFrames(out, 10, 1, 1000, 0.005, 1.0);
        QCOMPARE(out[0], int16_t(10));
        // More than 10 ms behind: the skip catches up with the clock.
        cache.resetReadPosition();
        cache.readFrames(out, 10, 1, 1000, 0.25, 1.0);
        QCOMPARE(out[0], int16_t(250));
        cache.resetReadPosition();
        cache.readFrames(out, 10, 1, 1000, 1.5, 1.0);
        QCOMPARE(out[0], int16_t(1500));
        // Past the last buffer: the rest is silence.
        cache.resetReadPosition();
        int16_t tail[20];
        cache.readFrames(tail, 20, 1, 1000, 1.99, 1.0);
        QCOMPARE(tail[0], int16_t(1990));
        QCOMPARE(tail[9], int16_t(1999));
        QCOMPARE(tail[10], int16_t(0));
        QCOMPARE(tail[19], int16_t(0));
    }

    void audioCacheKeepsOneSecondBeforeItsKeepAfterTime()
    {
        AudioCache cache;
        for (int i = 0; i < 5; ++i)
            cache.insert(std::make_unique<AudioBuffer>(100, 2, i * 0.5), 200, 0.0);
        QCOMPARE(cache.bufferCount(), 5);
        QVERIFY(!cache.trimmed());
        // Kept after 2.2 s: every buffer that starts before 1.2 s goes.
        cache.insert(std::make_unique<AudioBuffer>(100, 2, 2.5), 200, 2.2);
        QCOMPARE(cache.bufferCount(), 3);
        QCOMPARE(cache.startTime(), 1.5);
        QCOMPARE(cache.endTime(), 3.0);
        QVERIFY(cache.trimmed());
        QCOMPARE(cache.totalSamples(), cache.bufferCount() * 200);
        cache.setDiscarding(true);
        cache.insert(std::make_unique<AudioBuffer>(100, 2, 4.0), 200, 2.2);
        QCOMPARE(cache.bufferCount(), 3);
        cache.setComplete();
        cache.clear();
        QCOMPARE(cache.bufferCount(), 0);
        QCOMPARE(cache.totalSamples(), 0);
        QVERIFY(!cache.trimmed());
        QVERIFY(!cache.complete());
    }

    void clockFollowsPlayingAndSpeed()
    {
        MediaSource source(QStringLiteral("clip.mp4"));
        QCOMPARE(source.filename(), QStringLiteral("clip.mp4"));
        // Paused, the clock reads exactly what it was set to, for good.
        QCOMPARE(source.setPlaybackTime(2.5), 2.5);
        QTest::qWait(5);
        QCOMPARE(source.playbackTime(true), 2.5);
        QCOMPARE(source.setPlaybackTime(-3.0), 0.0);
        source.setPlaybackTime(1.0);
        QTest::qWait(5);
        const double paused = source.playbackTime(true);
        QTest::qWait(5);
        QCOMPARE(source.playbackTime(true), paused);
        source.playing = true;
        source.setPlaybackTime(1.0);
        QTest::qWait(5);
        const double later = source.playbackTime(true);
        QVERIFY(later > 1.0);
        QVERIFY(source.playbackTime(false) == later);
        source.playing = false;
    }

    // Image memory given back is handed to the next image of its size only.
    void imageMemoryIsReusedForItsSize()
    {
        constexpr size_t Block = LargePages::PageBytes * 2;
        void* first = ImageMemoryPool::take(Block);
        QVERIFY(first);
        static_cast<char*>(first)[Block - 1] = 1;
        ImageMemoryPool::give(first, Block);
        void* other = ImageMemoryPool::take(LargePages::PageBytes);
        QVERIFY(other && other != first);
        QCOMPARE(ImageMemoryPool::take(Block), first);
        ImageMemoryPool::give(other, LargePages::PageBytes);
        ImageMemoryPool::give(first, Block);
    }

    void scrubBufferAndFlagsStartAsDocumented()
    {
        MediaSource source(QStringLiteral("clip.mp4"));
        QVERIFY(source.scrubBuffer);
        QVERIFY(source.scrubBufferStale);
        QVERIFY(source.scrubForward);
        QCOMPARE(source.volume.load(), 1.0);
        QCOMPARE(source.speed.load(), 1.0);
        QCOMPARE(source.stopTime.load(), MediaSource::NoStopTime);
        QCOMPARE(source.outputChannels.load(), 2);
        QCOMPARE(source.videoWidth, -1);
        QCOMPARE(source.frameRate, -1.0);
        source.armScrubBurst(1920, false);
        QVERIFY(source.scrubPending);
        QVERIFY(source.resetAudioPosition);
        QVERIFY(!source.scrubForward);
        QCOMPARE(source.scrubFrames.load(), 1920);
    }
};

QTEST_GUILESS_MAIN(EngineCachesTest)
#include "tst_enginecaches.moc"
