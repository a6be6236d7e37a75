#include "audiostretcher.h"

#include "mediasource.h"

#include <cstring>

namespace {

// Sound stretched per step, in seconds of input.
constexpr double StepSeconds = 0.02;
// A clock this far (in seconds of output) beyond what has been stretched has
// jumped, or the stretch fell behind: it starts again at the clock.
constexpr double ClockSlackSeconds = 0.2;
// A gap this long in the decoded sound (a damaged stream, a seek) starts a
// new stretch after it, so that what follows keeps its time.
constexpr double GapSeconds = 0.005;

} // namespace

AudioStretcher::AudioStretcher(MediaSource* mediaSource) : source(mediaSource) {}

AudioStretcher::~AudioStretcher() = default;

bool AudioStretcher::service()
{
    const double speed = source->speed;
    if (!TimeStretch::supports(speed)) {
        if (stretch) {
            stretch.reset();
            source->stretchedAudio.clear();
        }
        return false;
    }
    const double clock = source->playbackTime(false);
    if (!coversClock(clock, speed))
        restart(clock, speed);
    const double due = clock + LeadSeconds * speed;
    while (outputTime < due && !source->aborting && stretchMore(clock)) {
    }
    return true;
}

bool AudioStretcher::coversClock(double clock, double speed) const
{
    return stretch && stretch->tempo() == speed && rate == source->outputSampleRate &&
           channels == source->outputChannels && clock >= startTime &&
           clock <= outputTime + ClockSlackSeconds * speed;
}

void AudioStretcher::restart(double time, double speed)
{
    rate = source->outputSampleRate;
    channels = source->outputChannels;
    source->stretchedAudio.clear();
    startTime = time;
    begin(time, speed);
}

void AudioStretcher::begin(double time, double speed)
{
    stretch = std::make_unique<TimeStretch>(rate, channels, speed);
    inputTime = time;
    outputTime = time;
    finished = false;
}

bool AudioStretcher::stretchMore(double clock)
{
    if (!stretch->isValid() || finished)
        return false;
    const int wanted = std::max(1, int(rate * StepSeconds));
    input.resize(size_t(wanted) * channels);
    double at = inputTime;
    const int frames = source->audioCache.copyFrames(at, input.data(), wanted, channels, rate);
    if (frames == 0) {
        // The end of the sound: what the filter holds back comes out too.
        if (source->audioCache.complete()) {
            stretch->finish();
            finished = true;
            store(clock);
        }
        return false;
    }
    if (at > inputTime + GapSeconds)
        begin(at, stretch->tempo());
    stretch->push(input.data(), frames);
    inputTime = at + double(frames) / rate;
    store(clock);
    return true;
}

void AudioStretcher::store(double clock)
{
    output.clear();
    const int made = stretch->pull(output);
    if (made <= 0)
        return;
    auto buffer = std::make_unique<AudioBuffer>(made, channels, outputTime);
    std::memcpy(buffer->samples.get(), output.data(), size_t(made) * channels * sizeof(int16_t));
    const double tempo = stretch->tempo();
    source->stretchedAudio.insert(std::move(buffer), rate / tempo, clock);
    outputTime += made * tempo / rate;
}
