#pragma once

#include "mediasource.h"
#include "readpacer.h"
#include "skippedsound.h"

#include <QObject>
#include <atomic>
#include <vector>

// The reader: opens the file of a MediaSource, opens one audio and one video
// decoder, and reads compressed packets into the source's two queues until
// the end of the file, a seek request or an unload. Lives on a thread of its
// own; every slot is invoked through a queued connection.
//
// load and seek end in read(), which runs until the controller sets
// `seekRequested` or `aborting` (MediaSource::requestSeek / abort), so the
// flag must be set before the signal whose slot is to run next is emitted.
class MediaManager : public QObject
{
    Q_OBJECT

public:
    enum Status
    {
        Unloaded = 1,
        Loading = 2,
        Loaded = 3,
        Reading = 4,
        EndOfFile = 5,
        Seeked = 6,
        LoadFailed = 7,
    };
    Q_ENUM(Status)

    enum Error
    {
        NoError = 0,
        OpenFailed = 1,
        ReadFailed = 2,
        SeekFailed = 3,
    };
    Q_ENUM(Error)

    // Packets queued before `Loaded` is reported.
    static constexpr int PrefillPackets = 100;

    explicit MediaManager(QObject* parent = nullptr);
    ~MediaManager() override;

    // Readable from any thread.
    Status status() const { return currentStatus.load(); }
    MediaSource* mediaSource() const { return source; }

signals:
    void error(MediaManager::Error error);
    void statusChanged(MediaManager::Status status);

public slots:
    void load(MediaSource* mediaSrc);
    void unload();
    void read();
    void seek();

private:
    bool openFile();
    bool openStream(int index);
    bool chooseTimeZero();
    int readPackets(int limit);
    bool pushPatiently(PacketQueue& queue, AVPacket* packet);
    bool picturesWaiting() const;
    int readSkippedSound();
    bool pushEndOfStreamPatiently(PacketQueue& queue);
    void pushEndOfStreamMarkers();
    void dispatch(AVPacket* read);
    bool stopRequested() const;
    void closeFile();
    void setStatus(Status status);
    void raiseError(Error error);

    MediaSource* source = nullptr;
    bool fileOpen = false;
    PacketPtr packet;
    SkippedSound skippedSound;
    // The pictures a seek took out of the cache, given back to their pool
    // once the decoder has flushed its codec (or this thread would wait
    // anyway): alongside the flush, which gives back its own, each waited
    // for the other's turn with the pool, and this thread was woken on the
    // decoder's core.
    VideoFrameCache::Frames retiredPictures;
    ReadPacer pacer;
    Error currentError = NoError;
    std::atomic<Status> currentStatus{Unloaded};
};
