#include "audiomanager.h"

#include "soundlibrarylog.h"
#include "soundoutputformat.h"

#include <algorithm>
#include <cstring>

namespace {

// The decode loop sleeps on the packet queue, or on the cache while it is far
// enough ahead, until a packet arrives, the clock is set or the media is
// unloaded. The time-outs bound how late it notices the clock running (and
// the stretched sound running out) while playing, and a lost wake-up.
constexpr int IdleWaitMs = 50;
constexpr int StretchingWaitMs = 10;
constexpr int PausedWaitMs = 250;
// Faster playing reads the sound faster: the lead grows with the speed, up to this.
constexpr double LeadSpeedLimit = 4.0;
// How long the output stream goes on after the last sound, so that the
// device plays out what it was given before it rests.
constexpr std::chrono::milliseconds OutputRestDelay(300);
// The sound library started ahead of the first clip knows the devices of that
// moment: when the clip comes later than this (not with the launch), the
// library starts anew, to find a device plugged in meanwhile.
constexpr std::chrono::seconds PreparedEngineLife(2);

} // namespace

AudioManager::AudioManager(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<AudioManager::Error>("AudioManager::Error");
    qRegisterMetaType<AudioManager::Status>("AudioManager::Status");
    qRegisterMetaType<MediaSource*>("MediaSource*");
}

AudioManager::~AudioManager()
{
    release();
    stopEngine();
}

void AudioManager::setStatus(Status status)
{
    if (currentStatus == status)
        return;
    currentStatus = status;
    emit statusChanged(status);
}

void AudioManager::raiseError(Error error)
{
    if (currentError != error) {
        currentError = error;
        emit this->error(error);
    }
    currentError = NoError;
}

void AudioManager::reportPortAudioError(Error error, int code)
{
    if (source)
        source->audioError = code;
    raiseError(error);
}

void AudioManager::changeMediaSource(MediaSource* mediaSrc)
{
    release();
    if (engineStarted && std::chrono::steady_clock::now() - enginePrepared > PreparedEngineLife)
        stopEngine();
    if (!mediaSrc)
        return;
    source = mediaSrc;
    source->synchronise();
    if (source->audioStreamCount != 0 && source->audioStream && source->audioCodecContext) {
        if (startEngine() && openStream()) {
            decoder = std::make_unique<AudioDecoder>(source);
            stretcher = std::make_unique<AudioStretcher>(source);
            for (int i = 0; i < PrefillPackets && !source->aborting; ++i) {
                if (decoder->decodeNext(IdleWaitMs) < 0)
                    break;
            }
            setStatus(Loaded);
            beginWritingStream();
            startDecoding();
            return;
        }
    }
    // Nobody decodes the audio of this media: its packets must not pile up
    // in front of the reader.
    source->audioPackets.setDropping(true);
    setStatus(NoAudio);
}

void AudioManager::prepareEngine()
{
    if (engineStarted || source)
        return;
    SoundLibraryLog::silence();
    engineStarted = Pa_Initialize() == paNoError;
    enginePrepared = std::chrono::steady_clock::now();
}

bool AudioManager::startEngine()
{
    if (engineStarted)
        return true;
    SoundLibraryLog::silence();
    const PaError result = Pa_Initialize();
    if (result != paNoError) {
        reportPortAudioError(InitFailed, result);
        return false;
    }
    engineStarted = true;
    return true;
}

bool AudioManager::openStream()
{
    const PaDeviceIndex device = Pa_GetDefaultOutputDevice();
    if (device == paNoDevice) {
        reportPortAudioError(NoDevice, paNoDevice);
        return false;
    }
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    if (!info || info->maxOutputChannels < 1) {
        reportPortAudioError(NoDevice, paNoDevice);
        return false;
    }
    PaError result = paNoError;
    for (const SoundOutputFormat& format : SoundOutputFormat::candidates(
             source->audioSampleRate, source->audioChannels, info->maxOutputChannels)) {
        const PaStreamParameters output = format.parameters(device);
        PaStream* opened = nullptr;
        result = Pa_OpenStream(&opened, nullptr, &output, double(format.sampleRate),
                               paFramesPerBufferUnspecified, paNoFlag, &AudioManager::streamCallback, source);
        if (result == paNoError) {
            source->outputChannels = format.channels;
            source->outputSampleRate = format.sampleRate;
            stream.reset(opened);
            return true;
        }
    }
    reportPortAudioError(OpenStreamFailed, result);
    return false;
}

void AudioManager::beginWritingStream()
{
    if (!stream) {
        reportPortAudioError(StartStreamFailed, paBadStreamPtr);
        return;
    }
    if (!startOutput())
        return;
    setStatus(Started);
}

bool AudioManager::startOutput()
{
    source->outputPacer.restart(source->outputSampleRate);
    const PaError result = Pa_StartStream(stream.get());
    if (result != paNoError) {
        reportPortAudioError(StartStreamFailed, result);
        outputFailed = true;
        return false;
    }
    outputRunning = true;
    ++outputStartCount;
    lastHeard = std::chrono::steady_clock::now();
    return true;
}

// The output stream runs only while there is something to hear: playing, or
// a scrub burst armed. Once that has been over for a moment it is closed, so
// that a paused player costs no CPU (nor does the sound server), and it is
// opened and started again as soon as something is to be heard (the
// controller wakes this thread when it plays or arms a burst).
void AudioManager::keepOutputAsNeeded()
{
    if ((!stream && !outputResting) || outputFailed)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (source->playing || (source->scrubPending && source->scrubFrames > 0)) {
        lastHeard = now;
        if (!outputRunning)
            resumeOutput();
    } else if (outputRunning && now - lastHeard > OutputRestDelay) {
        restOutput();
    }
}

// A stopped stream still holds a stream open in the sound server, which goes
// on rendering for it (a pulseaudio null sink spends about 1.5 % of a core);
// a closed one costs nothing, and opening it again takes a few milliseconds.
// Aborted rather than drained: the device's latency is far below the rest
// delay, so nothing audible is left, while a drain through ALSA's pulse
// plugin holds this thread (and the next scrub burst) for over a second.
void AudioManager::restOutput()
{
    const PaError result = Pa_AbortStream(stream.get());
    if (result != paNoError) {
        reportPortAudioError(StopStreamFailed, result);
        outputFailed = true;
        outputRunning = false;
        return;
    }
    closeStream();
    outputResting = true;
}

void AudioManager::resumeOutput()
{
    if (outputResting) {
        outputResting = false;
        if (!openStream()) {
            outputFailed = true;
            return;
        }
    }
    startOutput();
}

void AudioManager::closeStream()
{
    if (!stream)
        return;
    const PaError result = Pa_CloseStream(stream.release());
    outputRunning = false;
    outputFailed = false;
    outputResting = false;
    if (result != paNoError)
        reportPortAudioError(CloseStreamFailed, result);
}

void AudioManager::endWritingStream()
{
    closeStream();
    setStatus(Stopped);
}

void AudioManager::startDecoding()
{
    if (!decoder || !source)
        return;
    if (currentStatus != Loaded && currentStatus != Stopped && currentStatus != Started)
        return;
    while (!source->aborting) {
        keepOutputAsNeeded();
        const int waitMs = idleWaitMs(stretcher->service());
        if (farEnoughAhead())
            source->audioCache.waitForChange(waitMs);
        else
            decoder->decodeNext(waitMs);
    }
}

bool AudioManager::farEnoughAhead() const
{
    // Without this bound, nothing would stop the decoder short of the end of a
    // sound track longer than the pictures, or of a recording without any.
    // When it stops, the full packet queue holds the reader back.
    const double lead = LeadSeconds * std::clamp(source->speed.load(), 1.0, LeadSpeedLimit);
    return source->audioCache.bufferCount() > 0 &&
           source->audioCache.endTime() > source->playbackTime(false) + lead;
}

int AudioManager::idleWaitMs(bool stretching) const
{
    if (!source->playing)
        return PausedWaitMs;
    return stretching ? StretchingWaitMs : IdleWaitMs;
}

void AudioManager::stopEngine()
{
    if (!engineStarted)
        return;
    const PaError result = Pa_Terminate();
    if (result != paNoError)
        reportPortAudioError(TerminateFailed, result);
    engineStarted = false;
}

void AudioManager::release()
{
    // The stream goes first, so that the callback no longer runs when the
    // decoder and the cache are released.
    closeStream();
    // A clip's end also ends the library's view of the devices, so that the
    // next clip finds one plugged in meanwhile; one started ahead of any clip
    // is kept for the first.
    if (source)
        stopEngine();
    stretcher.reset();
    decoder.reset();
    if (source) {
        source->audioCache.clear();
        source->stretchedAudio.clear();
        // Orders this thread's last use of the media before the reader closes it.
        source->publish();
    }
    source = nullptr;
    setStatus(Unloaded);
    currentError = NoError;
}

void AudioManager::stopDecoding()
{
    release();
}

int AudioManager::streamCallback(const void* /*input*/, void* output, unsigned long frames,
                                 const PaStreamCallbackTimeInfo* /*timeInfo*/,
                                 PaStreamCallbackFlags /*flags*/, void* userData)
{
    auto* source = static_cast<MediaSource*>(userData);
    renderOutput(source, static_cast<int16_t*>(output), frames);
    source->outputPacer.pace(frames);
    return paContinue;
}

void AudioManager::renderOutput(MediaSource* source, int16_t* output, unsigned long frames)
{
    const int channels = std::max(1, source->outputChannels.load());
    const double rate = source->outputSampleRate;
    if (source->resetAudioPosition.exchange(false)) {
        source->audioCache.resetReadPosition();
        source->stretchedAudio.resetReadPosition();
    }
    if (source->playing) {
        const double speed = source->speed;
        if (speed == 1.0) {
            const double t = source->playbackTime(true);
            source->audioCache.readFrames(output, int(frames), channels, rate, t, source->volume);
            return;
        }
        if (TimeStretch::supports(speed)) {
            // Stretched sound plays `speed` seconds of media per second.
            const double t = source->playbackTime(true);
            source->stretchedAudio.readFrames(output, int(frames), channels, rate / speed, t, source->volume);
            return;
        }
    }
    std::memset(output, 0, size_t(frames) * channels * sizeof(int16_t));
    if (source->scrubPending && source->scrubFrames > 0)
        renderScrubBurst(source, output, frames, channels);
}

bool AudioManager::burstSoundDecoded(MediaSource* source, double time, int frames)
{
    // After a seek, or a step past what has been decoded, the burst waits
    // (silently) for its sound rather than playing silence in its place.
    const AudioCache& cache = source->audioCache;
    return cache.complete() || cache.endTime() >= time + double(frames) / source->outputSampleRate;
}

void AudioManager::renderScrubBurst(MediaSource* source, int16_t* output, unsigned long frames, int channels)
{
    if (source->scrubBufferStale) {
        // A burst longer than the scrub buffer is shortened to fit.
        const int burst = std::min(source->scrubFrames.load(), MediaSource::ScrubBufferSamples / channels);
        const double t = source->playbackTime(true);
        if (!burstSoundDecoded(source, t, burst))
            return;
        source->scrubFrames = burst;
        int16_t* buffer = source->scrubBuffer.get();
        source->audioCache.readFrames(buffer, burst, channels, source->outputSampleRate, t, source->volume);
        source->scrubBufferStale = false;
        source->scrubPosition = 0;
    }
    const int burst = source->scrubFrames;
    const int position = source->scrubPosition;
    const bool forward = source->scrubForward;
    const int16_t* buffer = source->scrubBuffer.get();
    for (unsigned long j = 0; j < frames; ++j) {
        const long k = forward ? long(position) + long(j) : long(burst) - 1 - long(position) - long(j);
        if (k < 0 || k >= burst)
            continue;
        std::memcpy(output + j * channels, buffer + size_t(k) * channels, size_t(channels) * sizeof(int16_t));
    }
    source->scrubPosition = position + int(frames);
    if (source->scrubPosition >= burst) {
        source->scrubPending = false;
        source->scrubFrames = 0;
        source->scrubBufferStale = true;
    }
}
