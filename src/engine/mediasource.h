#pragma once

#include "audiocache.h"
#include "avholders.h"
#include "mediadescription.h"
#include "outputpacer.h"
#include "packetqueue.h"
#include "picturebufferpool.h"
#include "videoframecache.h"

#include <QMetaType>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

// The record of one opened media file, shared by the controller (GUI thread),
// the reader, the two decoders and the sound card callback.
//
// Threads meet here through:
// - request flags and values (std::atomic): written by one thread, polled by
//   the others. A thread that sets `seekRequested` or `aborting` should do it
//   through requestSeek() / abort(), which also wake every thread waiting on
//   a queue or a cache, so that the request is seen at once;
// - the packet queues and caches, each guarded by a mutex of its own;
// - the playback clock, guarded by a small mutex of its own that is never
//   held together with another engine lock.
//
// The stream fields (`audioStreamIndex`, `frameRate`, ...) are written by the
// reader before it reports `Loaded` and are read-only afterwards. Media time
// 0 is the time of the first picture (of the first audio sample without
// video): `timeOffset` seconds of container time.
class MediaSource
{
public:
    static constexpr int ScrubBufferSamples = 100000;
    static constexpr double NoStopTime = 999999.0;

    explicit MediaSource(const QString& filename);
    ~MediaSource();
    MediaSource(const MediaSource&) = delete;
    MediaSource& operator=(const MediaSource&) = delete;

    // The clock. playbackTime(true) advances it first when playing.
    double playbackTime(bool advance);
    void advanceClock();
    // Sets the clock to max(t, 0) and returns the new reading.
    double setPlaybackTime(double t);

    double cachedRangeStart() const { return videoCache.rangeStart(); }
    double cachedRangeEnd() const { return videoCache.rangeEnd(); }
    QString filename() const { return path; }

    // Sets the seek fields then `seekRequested`, and wakes the reader.
    // `history`: how many pictures before the target are kept; `margin`:
    // seconds before the target the reader lands at least (0: on the key
    // frame at or before the target); `fillEnd`, when not negative: a
    // backward fill (SeekMark::fillEnd).
    void requestSeek(double target, SeekHistory history = SeekHistory::Few, double margin = 0.0,
                     double fillEnd = -1.0);
    // Sets `aborting` (every engine loop then ends) and wakes every waiter.
    void abort();
    // Wakes every thread waiting on a queue or cache, after a flag changed.
    void wakeWaiters();

    // Arms an audio scrub burst of `frames` sample frames at the clock.
    void armScrubBurst(int frames, bool forward);
    // Starts or stops the clock (`playing`); the sound output, which rests
    // while nothing is to be heard, is woken to play along.
    void setPlaying(bool play);

    FormatContextPtr formatContext;

    std::atomic<bool> playing{false};
    std::atomic<bool> scrubPending{false};
    std::atomic<bool> scrubForward{true};
    std::atomic<int> scrubFrames{0};
    std::atomic<bool> resetAudioPosition{false};
    std::unique_ptr<int16_t[]> scrubBuffer;
    std::atomic<int> scrubPosition{0};
    std::atomic<bool> scrubBufferStale{true};
    std::atomic<double> volume{1.0};
    std::atomic<bool> seekRequested{false};
    std::atomic<double> seekTarget{0.0};
    std::atomic<SeekHistory> seekHistory{SeekHistory::Few};
    std::atomic<double> seekMargin{0.0};
    std::atomic<double> seekFillEnd{-1.0};
    // Set by the video decoder once every picture of the backward fill asked
    // for has been decoded: the reader then stops until the next request.
    std::atomic<bool> fillDone{false};
    std::atomic<double> stopTime{NoStopTime};
    std::atomic<bool> aborting{false};

    int audioStreamCount = 0;
    int audioStreamIndex = -1;
    AVStream* audioStream = nullptr;
    CodecContextPtr audioCodecContext; // opened by the reader, for the audio decoder
    PacketQueue audioPackets;
    AudioCache audioCache;
    // The sound of `audioCache` time-stretched to the playback speed, when it
    // is not 1 (AudioStretcher): media time still, at `speed` media seconds
    // per second of output.
    AudioCache stretchedAudio;
    int audioChannels = 0;
    int audioPlanar = 0;
    int audioBytesPerSample = 0;
    int audioSampleRate = 0;
    std::atomic<int> outputChannels{2};
    // The rate the output stream was opened at (0 before): the audio caches
    // hold their sound at this rate.
    std::atomic<int> outputSampleRate{0};
    OutputPacer outputPacer; // the output callback's own
    std::atomic<int> audioError{0};

    int videoStreamCount = 0;
    int videoStreamIndex = -1;
    AVStream* videoStream = nullptr;
    // What the video decoder decodes into; it outlives the codec context.
    PictureBufferPool videoPictureBuffers;
    CodecContextPtr videoCodecContext; // opened by the reader, for the video decoder
    PacketQueue videoPackets;
    VideoFrameCache videoCache;
    int videoWidth = -1;
    int videoHeight = -1;
    int videoDecoderThreads = 1; // as the opened decoder chose them
    double frameRate = -1.0;
    double videoDelay = 0.0;
    MediaDescription description;
    // Container time (seconds) of media time 0: subtracted from every picture
    // and audio time, added back to every seek target.
    double timeOffset = 0.0;
    // The end of the media in media time, from the container (0 = unknown).
    double endTime = 0.0;
    // The media time just after the last picture that decodes, once the video
    // decoder has met the end of the stream (0 until then). Written by the
    // video decoder, read by the controller.
    std::atomic<double> videoEnd{0.0};

    std::atomic<double> speed{1.0};
    // Packets the video decoder has taken: its progress, however slow.
    std::atomic<uint64_t> videoPacketsDecoded{0};
    // Pictures the controller has put on screen: after a seek the video
    // decoder lets the first of them have the cores before it decodes on.
    std::atomic<uint64_t> picturesShown{0};
    // Called by the video decoder (on its thread) with the picture a seek is
    // for, once it has stored it, and waited for: the controller converts
    // the picture for the screen there. Set before the decoder starts.
    std::function<void(const VideoFrame&)> seekTargetStored;

    // Publishing of the stream fields from the reader to the other threads:
    // the reader calls publish() before it reports `Loaded`, every other
    // thread calls synchronise() before it reads them. (Queued signals do
    // order the accesses too, but through locks a race detector cannot see.)
    void publish() { published.fetch_add(1, std::memory_order_release); }
    void synchronise() const { (void)published.load(std::memory_order_acquire); }

private:
    static int64_t now();

    const QString path;
    mutable std::mutex clockMutex;
    double clockTime = 0.0;
    int64_t clockNow = 0;
    int64_t clockPrevious = 0;
    std::atomic<int> published{0};
};

Q_DECLARE_METATYPE(MediaSource*)
