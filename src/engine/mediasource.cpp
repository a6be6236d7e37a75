#include "mediasource.h"

extern "C" {
#include <libavutil/time.h>
}

#include <algorithm>

MediaSource::MediaSource(const QString& filename)
    : scrubBuffer(new int16_t[ScrubBufferSamples]()), path(filename)
{
    audioPackets.setInterruptFlags(&aborting, &seekRequested);
    videoPackets.setInterruptFlags(&aborting, &seekRequested);
    videoCache.setAbortFlag(&aborting);
    publish();
}

MediaSource::~MediaSource()
{
    synchronise();
    audioPackets.clear();
    audioCache.clear();
    videoPackets.clear();
    videoCache.reset();
    // The codec contexts go before the demuxer whose streams they decode.
    audioCodecContext.reset();
    videoCodecContext.reset();
    formatContext.reset();
}

int64_t MediaSource::now()
{
    // A monotonic clock: the wall clock can jump while a clip plays.
    return av_gettime_relative();
}

double MediaSource::playbackTime(bool advance)
{
    if (advance && playing)
        advanceClock();
    std::lock_guard<std::mutex> lock(clockMutex);
    return clockTime;
}

void MediaSource::advanceClock()
{
    const double rate = speed.load();
    std::lock_guard<std::mutex> lock(clockMutex);
    clockPrevious = clockNow;
    clockNow = now();
    clockTime += double(clockNow - clockPrevious) / 1e6 * rate;
}

double MediaSource::setPlaybackTime(double t)
{
    t = std::max(t, 0.0);
    double rate = speed.load();
    if (rate <= 0.0)
        rate = 1.0;
    // One reading of the wall clock: the clock then reads exactly t. (Reading
    // it twice would add whatever time passed in between, for good when
    // paused: a thread preempted there would shift the shown frame.)
    {
        std::lock_guard<std::mutex> lock(clockMutex);
        clockNow = now();
        clockPrevious = clockNow - int64_t(t * 1e6 / rate);
        clockTime = t;
    }
    // The audio decoder keeps its distance from the clock: let it look again.
    audioCache.wake();
    return t;
}

void MediaSource::requestSeek(double target, SeekHistory history, double margin, double fillEnd)
{
    seekTarget = target;
    seekHistory = history;
    seekMargin = margin;
    seekFillEnd = fillEnd;
    fillDone = false;
    seekRequested = true;
    wakeWaiters();
}

void MediaSource::abort()
{
    aborting = true;
    wakeWaiters();
}

void MediaSource::wakeWaiters()
{
    audioPackets.wake();
    videoPackets.wake();
    videoCache.wake();
    audioCache.wake();
}

void MediaSource::armScrubBurst(int frames, bool forward)
{
    resetAudioPosition = true;
    scrubForward = forward;
    scrubFrames = frames;
    scrubPending = true;
    audioPackets.wake();
    audioCache.wake();
}

void MediaSource::setPlaying(bool play)
{
    playing = play;
    if (play) {
        audioPackets.wake();
        audioCache.wake();
    }
}
