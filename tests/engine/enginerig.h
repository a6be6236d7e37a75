#pragma once

#include "audiomanager.h"
#include "mediamanager.h"
#include "mediasource.h"
#include "patience.h"
#include "videomanager.h"

#include <QList>
#include <QObject>
#include <QThread>
#include <atomic>
#include <memory>

// Runs the reader and the two decoders on threads of their own, the way the
// playback controller does, and records every status and error they report
// (on the test's thread, through queued connections).
class EngineRig : public QObject
{
    Q_OBJECT

public:
    EngineRig();
    ~EngineRig() override;

    // Creates the source and asks the reader to load it; with `decode` the
    // decoders are started as soon as the reader reports Loaded (the video
    // cache configured first, as the controller does). Returns when the reader
    // has loaded or failed and, with `decode`, both decoders are ready or
    // have reported that they have nothing to do.
    bool open(const QString& path, bool decode = true, qint64 cacheSize = 0, float trailingPct = 0.7f);
    // A seek the way the controller asks for one, keeping `history` before
    // the target; returns when the reader reports Seeked (or SeekFailed).
    bool seek(double target, SeekHistory history = SeekHistory::Few);
    // Seeks and waits until the picture for `target` has been decoded.
    bool seekAndWaitForPicture(double target, SeekHistory history = SeekHistory::Few);
    // The frame-index code of the cached picture for `time`, -1 if none.
    int pictureIndexAt(double time);
    // The frame-index code of a cached picture, read from it as it is shown.
    static int pictureIndex(const VideoFrame& frame);
    // Unloads the way the controller does: abort, decoders stop, reader unloads.
    bool close();

    MediaSource* source() const { return media.get(); }

    MediaManager reader;
    VideoManager video;
    AudioManager audio;

    QList<MediaManager::Status> readerStatuses;
    QList<MediaManager::Error> readerErrors;
    QList<VideoManager::Status> videoStatuses;
    QList<VideoManager::Error> videoErrors;
    QList<AudioManager::Status> audioStatuses;
    QList<AudioManager::Error> audioErrors;
    // Targets of seeks whose first picture came after them, each sought again.
    QList<double> overshoots;

    MediaManager::Status readerStatus() const;
    VideoManager::Status videoStatus() const;
    AudioManager::Status audioStatus() const;

private:
    bool waitFor(const std::function<bool()>& condition, int timeoutMs = patienceMs);
    void askReaderToSeek();

    QThread readerThread;
    QThread videoThread;
    QThread audioThread;
    std::unique_ptr<MediaSource> media;
    std::atomic<int> threadsFinished{0};
    // Each seek asked of the reader is reported once, Seeked or SeekFailed.
    int seeksAsked = 0;
    int seeksReported = 0;
    int seekFailedCount = 0;
};
