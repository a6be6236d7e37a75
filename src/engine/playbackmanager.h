#pragma once

#include "audiomanager.h"
#include "clockticks.h"
#include "colourdescription.h"
#include "framepreparer.h"
#include "lateframes.h"
#include "mediadescription.h"
#include "mediamanager.h"
#include "mediasource.h"
#include "playbackpreroll.h"
#include "reverseplayer.h"
#include "softwareviewer.h"
#include "videomanager.h"
#include "workerprobe.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <memory>

// The one object through which the player window drives the media engine.
//
// Lives in the GUI thread. Owns the reader, the video decoder and the audio
// decoder with one thread each, creates and deletes the MediaSource of the
// opened file, derives its State and Status from what the three managers
// report, looks at the clock while playing whenever the next frame is due
// (ClockTicks) and puts the frame for the clock into the viewer, which
// mirrors and rotates it as asked. Played backwards (playBackward), the clock
// stands and a ReversePlayer says which frame is due; the state is Playing
// all the same.
//
// It talks to the workers only through queued signals, the flags and values
// of the MediaSource, its clock, and the video frame cache under its mutex.
class PlaybackManager : public QObject
{
    Q_OBJECT

public:
    enum State
    {
        Stopped = 0,
        Playing = 1,
        Paused = 2,
    };
    Q_ENUM(State)

    enum Status
    {
        Unknown = 0,
        NoMedia = 1,
        Loading = 2,
        Loaded = 3,
        Unloading = 4,
        Ready = 5,
        Seeking = 6,
        EndOfMedia = 7,
        InvalidMedia = 8,
    };
    Q_ENUM(Status)

    enum Error
    {
        NoError = 0,
        ResourceError = 1,
        MediaError = 2,
        UnknownError = 6,
    };
    Q_ENUM(Error)

    // The duration stops this short of the end of the last frame (of the
    // sound without video), so that the clock's last frame is the last one.
    static constexpr double EndMargin = 0.0001;
    // Volumes are percentages; above 100 the sound is amplified.
    static constexpr int MaximumVolume = 150;

    explicit PlaybackManager(QObject* parent = nullptr);
    ~PlaybackManager() override;

    static QStringList supportedSuffixes();
    // Why setMedia would refuse the file, or an empty string when it would
    // take it.
    static QString refusalOf(const QString& filename);

    // Moves the clock to `time`: inside the cached frames at once, otherwise
    // through a seek of the reader. Pauses first when playing.
    void seek(double time, double audioScrubDuration, bool clearCache);
    void setCacheSize(int64_t cacheSize, float trailingCachePct);
    int64_t cacheSize() const { return cacheBytes; }
    float trailingCachePct() const { return trailingPct; }
    void setVolume(int volume);
    int volume() const { return volumePercent; }
    // The factor the samples are multiplied by at a volume (0 to 150).
    static double volumeGain(int volume);
    void setSpeedMultiplier(double multiplier);
    double speedMultiplier() const;
    void setFlip(bool horizontal, bool vertical);
    bool flipHorizontal() const { return mirrorHorizontal; }
    bool flipVertical() const { return mirrorVertical; }
    void setRotation(int degrees);
    int rotation() const { return rotationDegrees; }
    void setViewer(SoftwareViewer* viewer);
    SoftwareViewer* viewer() const { return videoViewer; }

    State state() const { return currentState; }
    Status status() const { return currentStatus; }

    // The media values below are those of the loaded file once the reader has
    // opened it; before that (and without media) they are the defaults.
    double playbackTime() const;
    double mediaDuration() const { return duration; }
    double frameRate() const;
    double frameDuration() const;
    int videoWidth() const;
    int videoHeight() const;
    bool hasVideo() const;
    bool hasAudio() const;
    QString mediaFilename() const;
    double cachedRangeStart() const;
    double cachedRangeEnd() const;
    int cachedFrameCount() const;
    int videoCacheBytes() const;
    int audioCacheSamples() const;
    // The facts of the clip's streams; the colour description is that of the
    // picture shown, once there is one.
    MediaDescription mediaDescription() const;
    // Media time 0 in the container's time, seconds: where the first
    // picture lies.
    double startTime() const;
    // Frame index (0-based, from the frame's own time) last given to the
    // viewer, -1 when none.
    int lastFrameIndex() const { return lastFrameShown; }
    // Whether the sound output runs (it rests while nothing is to be heard).
    bool playingBackward() const { return reverse.active(); }
    bool soundOutputActive() const { return audioManager.outputActive(); }
    int soundOutputStarts() const { return audioManager.outputStarts(); }

signals:
    void error(PlaybackManager::Error err, const QString& errorStr);
    // Something the user should know that is no failure of theirs to fix now.
    void warning(const QString& text);
    void stateChanged(PlaybackManager::State state);
    void statusChanged(PlaybackManager::Status status);
    void mediaSourceChanged(MediaSource* mediaSrc);
    void mediaSourceLoaded(MediaSource* mediaSrc);
    void unloadAudioVideo();
    void unloadMedia();
    void seekRequested();
    void playbackTimeChanged(double playbackTime);
    // The media's duration changed: the decoder met the end of the video
    // before or after the frame count the container promised.
    void durationChanged(double duration);

public slots:
    bool setMedia(const QString& filename, int64_t cacheSize, float trailingCachePct);
    void play(double duration);
    void play() { play(-1.0); }
    // Plays the video backwards from the frame on screen at the speed
    // multiplier, silently; pause() or play() end it.
    void playBackward();
    void pause();
    void stop();

private slots:
    void setPlaybackTime(double playbackTime);
    void updatePlaybackTime();
    void updateVideoFrame(bool refresh);
    void updateVideoFrame() { updateVideoFrame(false); }
    void clearVideoFrame();
    void countPictureShown();
    void onMediaStatusUpdate(MediaManager::Status status);
    void onAudioStatusUpdate(AudioManager::Status status);
    void onVideoStatusUpdate(VideoManager::Status status);
    void onMediaError(MediaManager::Error mediaError);
    void onAudioError(AudioManager::Error audioError);
    void onVideoError(VideoManager::Error videoError);
    void onSeekOvershot(double target);
    void showPreviousFrame();

private:
    void setState(State state);
    void setStatus(Status status);
    void raiseError(Error error, const QString& text);
    void freezeClock();
    void loadFile(const QString& filename);
    void onManagerStatus();
    void checkLoading();
    void checkReadiness();
    void finishUnload();
    void finishSeek();
    bool decodersReady(bool acceptEndOfStream) const;
    bool audioSettled() const;
    bool audioSilent() const;
    void refreshAtClock();
    void armAudioBurst();
    // A seek the reader is asked for, or is to be asked for once the one in
    // flight is done.
    struct ReaderSeek
    {
        double time = -1.0; // negative: none
        SeekHistory history = SeekHistory::Few;
        double margin = 0.0;
        double fillEnd = -1.0; // a backward fill when not negative
    };
    void requestReaderSeek(ReaderSeek seek);
    void stopBackward();
    void resumeReaderAtClock();
    bool isStepBack(double time, double from) const;
    void startFramePreparer();
    void computeDuration();
    void setFrameCount(int64_t count);
    double lastTime() const;
    void correctFrameCount();
    bool frameAvailableAt(double time) const;
    bool frameCachedAt(double time) const;
    bool framePassedOverAt(double time) const;
    bool soundCachedAt(double time) const;
    double lookupTolerance() const;
    int frameIndexAt(double time) const;
    enum class Presented
    {
        Shown,
        Waiting
    };
    Presented presentFrame(double time, bool refresh, bool exactOnly);
    // Every change of the clock made by the controller: a status listener that
    // seeks from inside updatePlaybackTime() makes the outer call stale.
    void setClock(double time);
    void awaitFrame();
    void pollForFrame();
    void onSeekTargetStored();
    // Starting to play: the clock runs at once, or once the decoder is a
    // little ahead (PlaybackPreroll).
    bool prerollNeeded() const;
    void continuePreroll();
    void stopPreroll();
    void runClock();
    // The clock timer's slot: shows and announces the clock's time, and sets
    // the next look while the clock still runs.
    void clockTick();
    void stopClockTimer();
    // While the clock runs: the next look comes within a millisecond, not
    // when set for a clock or speed that has since changed.
    void lookAtClockSoon();
    // The clock's time, or that of a frame it passed over while the GUI
    // thread was held up (see LateFrames), or none yet (negative).
    double lateFrameTime(double clock) const;
    void showNearestFrame(double time);
    void onDecoderReleased();
    void onReaderReleased();

    Error currentError = NoError;
    State currentState = Stopped;
    Status currentStatus = NoMedia;
    // Orders a worker's last use of the media (and of its manager) before
    // their deletion on this thread.
    std::atomic<int> releaseFence{0};
    // Declared before the managers, so that it outlives them: their
    // destructors still let go of what they hold of it.
    std::unique_ptr<MediaSource> mediaSource;
    QThread mediaThread;
    QThread audioThread;
    QThread videoThread;
    MediaManager mediaManager;
    AudioManager audioManager;
    VideoManager videoManager;
    // One per worker thread: they confirm that a manager has let go.
    WorkerProbe mediaProbe;
    WorkerProbe audioProbe;
    WorkerProbe videoProbe;
    MediaManager::Status mediaStatus;
    AudioManager::Status audioStatus;
    VideoManager::Status videoStatus;
    // Single-shot: each look at the playing clock sets the next.
    QTimer timer;
    ClockTicks clockTicks;
    LateFrames lateFrames;
    bool clockRunning = false;
    // While paused after a seek or a load, until the frame for the clock has
    // been decoded and shown.
    QTimer framePoll;
    // When the wait for the frame of the current clock target gives up and
    // shows the nearest one (microseconds, av_gettime_relative); 0 = no wait yet.
    int64_t framePollDeadline = 0;
    PlaybackPreroll preroll;
    QTimer prerollPoll;
    uint64_t framePollProgress = 0;
    uint64_t clockChanges = 0;
    QPointer<SoftwareViewer> videoViewer;
    int64_t cacheBytes = 0;
    float trailingPct = 0.7f;
    int lastFrameShown = -1;
    ReaderSeek pendingSeek;
    ReaderSeek lastSeek;
    ReversePlayer reverse;
    QTimer reverseTimer;
    // A backward fill is with the reader until it reports the seek done: no
    // other seek is sent meanwhile.
    bool fillInFlight = false;
    // Backward fills sent the reader away from the clock: the next seek goes
    // to the reader, even to a cached frame.
    bool readerOffClock = false;
    // Turns the cached pictures into images for the viewer.
    std::unique_ptr<FramePreparer> framePreparer;
    // The same, for the video decoder's thread: set while the media's
    // decoders may call on it.
    std::atomic<FramePreparer*> targetPreparer{nullptr};
    QString pendingFilename;
    double audioScrubDuration = 0.0;
    int volumePercent = 100;
    bool mirrorHorizontal = false;
    bool mirrorVertical = false;
    int rotationDegrees = 0;
    ColourDescription shownColour;

    // Where the current media stands with the workers.
    bool mediaInfoKnown = false;     // the reader opened the file; stream fields readable
    bool decodersHaveMedia = false;  // mediaSourceLoaded was emitted
    bool audioStartFailed = false;   // the output stream could not be started
    bool audioOutputMissing = false; // no sound output could be opened at all
    // A machine without a sound device is said so once, not for every clip.
    bool noDeviceWarned = false;
    int decodersReleasing = 0;    // decoders yet to confirm that they let go
    bool readerReleasing = false; // the reader is yet to confirm that it let go
    double duration = 0.0;
    // Frames of the video, 0 when the duration is not a frame count (sound only).
    int64_t frameCount = 0;
    bool clampingToEnd = false;
};
