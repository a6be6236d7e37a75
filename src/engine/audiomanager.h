#pragma once

#include "audiodecoder.h"
#include "audiostretcher.h"
#include "mediasource.h"
#include "paholders.h"

#include <QObject>
#include <atomic>
#include <chrono>
#include <memory>

// Decodes the audio of a MediaSource into its audio cache on a thread of its
// own and plays it through a PortAudio output stream on the default device,
// opened at a format the device takes (SoundOutputFormat); the decoder
// converts the sound to that format.
//
// The decoder keeps a bounded span of sound around the clock: it runs at
// most LeadSeconds (times the speed, when faster) ahead of it and the cache
// lets go of what lies far enough behind, whatever the length of the clip.
//
// The stream callback does not play a stream of its own: it reads the cache
// at the playback clock, so sound follows the controller's clock. At another
// speed it plays the time-stretched sound (AudioStretcher) at the clock the
// same way; at speeds too far from 1 to stretch it is silent. Paused, it
// plays the short scrub bursts the controller arms (MediaSource::armScrubBurst).
// While there is nothing to hear (paused, no burst) the stream is stopped, and
// it is started again as soon as there is.
// Without an output device the manager reports `NoDevice`, then `NoAudio`,
// and the media plays silently.
class AudioManager : public QObject
{
    Q_OBJECT

public:
    enum Status
    {
        Unloaded = 0,
        NoAudio = 1,
        Loaded = 2,
        Stopped = 3,
        Started = 4,
    };
    Q_ENUM(Status)

    enum Error
    {
        NoError = 0,
        InitFailed = 1,
        NoDevice = 2,
        OpenStreamFailed = 3,
        StartStreamFailed = 4,
        StopStreamFailed = 5,
        CloseStreamFailed = 6,
        TerminateFailed = 7,
        UnsupportedFormat = 8,
    };
    Q_ENUM(Error)

    static constexpr int PrefillPackets = 10;
    // How far the decoder runs ahead of the clock at normal speed (seconds of
    // media time).
    static constexpr double LeadSeconds = 5.0;

    explicit AudioManager(QObject* parent = nullptr);
    ~AudioManager() override;

    // Readable from any thread.
    Status status() const { return currentStatus.load(); }
    // Whether the output stream runs: it rests (closed) while nothing is to be heard.
    bool outputActive() const { return outputRunning.load(); }
    // How often the output stream has been started so far.
    int outputStarts() const { return outputStartCount.load(); }

    // The body of the stream callback: writes `frames` interleaved frames of
    // the source's output channel count. Runs on PortAudio's thread; tests
    // call it directly where the pacing of a real device matters.
    static void renderOutput(MediaSource* source, int16_t* output, unsigned long frames);

signals:
    void error(AudioManager::Error error);
    void statusChanged(AudioManager::Status status);

public slots:
    // Starts the sound library before any clip needs it: it probes every
    // device, which would otherwise hold back the first clip's first picture.
    // A failure is reported when a clip needs the sound (changeMediaSource).
    void prepareEngine();
    void changeMediaSource(MediaSource* mediaSrc);
    void beginWritingStream();
    void endWritingStream();
    void startDecoding();
    void stopDecoding();

private:
    static int streamCallback(const void* input, void* output, unsigned long frames,
                              const PaStreamCallbackTimeInfo* timeInfo, PaStreamCallbackFlags flags,
                              void* userData);
    static void renderScrubBurst(MediaSource* source, int16_t* output, unsigned long frames, int channels);
    static bool burstSoundDecoded(MediaSource* source, double time, int frames);
    bool startEngine();
    void stopEngine();
    bool startOutput();
    void keepOutputAsNeeded();
    void restOutput();
    void resumeOutput();
    bool farEnoughAhead() const;
    int idleWaitMs(bool stretching) const;
    bool openStream();
    void closeStream();
    void release();
    void reportPortAudioError(Error error, int code);
    void setStatus(Status status);
    void raiseError(Error error);

    MediaSource* source = nullptr;
    std::unique_ptr<AudioDecoder> decoder;
    std::unique_ptr<AudioStretcher> stretcher;
    bool engineStarted = false;
    std::chrono::steady_clock::time_point enginePrepared; // by prepareEngine()
    PaStreamPtr stream;
    std::atomic<bool> outputRunning{false};
    std::atomic<int> outputStartCount{0};
    bool outputFailed = false;
    // Closed while nothing is to be heard; opened again on demand.
    bool outputResting = false;
    std::chrono::steady_clock::time_point lastHeard;
    Error currentError = NoError;
    std::atomic<Status> currentStatus{Unloaded};
};
