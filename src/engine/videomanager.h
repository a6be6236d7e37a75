#pragma once

#include "mediasource.h"
#include "videodecoder.h"

#include <QObject>
#include <atomic>
#include <memory>

// Decodes the video of a MediaSource into its frame cache on a thread of its
// own. changeMediaSource prefills 10 frames, reports `Ready` and stays in the
// decode loop (startDecoding) until the source's `aborting` is set; the queued
// stopDecoding that follows lets go of the media.
class VideoManager : public QObject
{
    Q_OBJECT

public:
    enum Status
    {
        Unloaded = 0,
        NoVideo = 1,
        Behind = 2,
        Ready = 3,
        EndOfStream = 4,
    };
    Q_ENUM(Status)

    enum Error
    {
        NoError = 0,
        InitFailed = 1,
        // Not even two pictures of the clip can be held in memory.
        OutOfMemory = 2,
    };
    Q_ENUM(Error)

    static constexpr int PrefillFrames = 10;

    explicit VideoManager(QObject* parent = nullptr);
    ~VideoManager() override;

    // Readable from any thread.
    Status status() const { return currentStatus.load(); }

signals:
    void error(VideoManager::Error error);
    void statusChanged(VideoManager::Status status);
    // The first picture after the seek to `target` lies after it: the reader
    // must go further back (VideoDecoder::Overshot).
    void seekOvershot(double target);

public slots:
    void changeMediaSource(MediaSource* mediaSrc);
    void startDecoding();
    void stopDecoding();

private:
    void release();
    void refuse(Error error);
    void reportProgress();
    void setStatus(Status status);
    void raiseError(Error error);

    MediaSource* source = nullptr;
    std::unique_ptr<VideoDecoder> decoder;
    Error currentError = NoError;
    std::atomic<Status> currentStatus{Unloaded};
};
