#include "videomanager.h"

#include "backgroundpriority.h"

namespace {

// The decode loop sleeps on the packet queue and the cache until woken (a
// packet, a free place, a seek, an unload); this only bounds a lost wake-up.
constexpr int IdleWaitMs = 50;
// Paused, the only thing that changes with time alone (the decoder's
// progress against the clock) stands still: with every packet decoded, the
// loop then wakes once a second, not twenty times.
constexpr int PausedWaitMs = 1000;

} // namespace

VideoManager::VideoManager(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<VideoManager::Error>("VideoManager::Error");
    qRegisterMetaType<VideoManager::Status>("VideoManager::Status");
    qRegisterMetaType<MediaSource*>("MediaSource*");
}

VideoManager::~VideoManager()
{
    decoder.reset();
    if (source)
        source->videoCache.reset();
}

void VideoManager::setStatus(Status status)
{
    if (currentStatus == status)
        return;
    currentStatus = status;
    emit statusChanged(status);
}

void VideoManager::raiseError(Error error)
{
    if (currentError != error) {
        currentError = error;
        emit this->error(error);
    }
    currentError = NoError;
}

void VideoManager::release()
{
    decoder.reset();
    if (source) {
        source->videoCache.reset();
        // Orders this thread's last use of the media before the reader closes it.
        source->publish();
    }
    source = nullptr;
    setStatus(Unloaded);
    currentError = NoError;
}

void VideoManager::changeMediaSource(MediaSource* mediaSrc)
{
    BackgroundPriority::lowerCurrentThread();
    release();
    if (!mediaSrc)
        return;
    source = mediaSrc;
    source->synchronise();
    // A video stream that no decoder could open counts as none: the media
    // then plays its sound alone.
    if (source->videoStreamCount == 0 || source->videoStreamIndex < 0 || !source->videoCodecContext) {
        source->videoPackets.setDropping(true);
        setStatus(NoVideo);
        return;
    }
    decoder = std::make_unique<VideoDecoder>(source);
    const int initResult = decoder->init();
    if (initResult < 0) {
        decoder.reset();
        refuse(initResult == VideoDecoder::OutOfMemory ? OutOfMemory : InitFailed);
        return;
    }
    int result = 0;
    while (source->videoCache.usedSlots() < PrefillFrames && !source->aborting && result >= 0)
        result = decoder->decodeNext(IdleWaitMs);
    if (result == VideoDecoder::OutOfMemory) {
        refuse(OutOfMemory);
        return;
    }
    setStatus(Ready);
    // A short clip ends within the prefill: its end is reported all the same.
    if (result == VideoDecoder::EndOfStream)
        setStatus(EndOfStream);
    startDecoding();
}

void VideoManager::refuse(Error error)
{
    // Nobody decodes the video: its packets must not hold the reader up.
    source->videoPackets.setDropping(true);
    raiseError(error);
}

void VideoManager::reportProgress()
{
    setStatus(source->videoCache.rangeEnd() >= source->playbackTime(false) ? Ready : Behind);
}

void VideoManager::startDecoding()
{
    if (currentStatus == NoVideo || !decoder || !source)
        return;
    while (!source->aborting) {
        const int result = decoder->decodeNext(source->playing ? IdleWaitMs : PausedWaitMs);
        if (result == VideoDecoder::OutOfMemory) {
            // Back to the event loop: stopDecoding lets go of the media.
            refuse(OutOfMemory);
            return;
        }
        if (result == VideoDecoder::EndOfStream && currentStatus != EndOfStream)
            setStatus(EndOfStream);
        if (result == VideoDecoder::Overshot)
            emit seekOvershot(decoder->overshotTarget());
        reportProgress();
    }
}

void VideoManager::stopDecoding()
{
    release();
}
