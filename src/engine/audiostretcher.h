#pragma once

#include "timestretch.h"

#include <cstdint>
#include <memory>
#include <vector>

class MediaSource;

// Keeps the source's stretched audio cache filled a little ahead of the clock
// with the sound of its audio cache time-stretched to the playback speed,
// whenever that speed is one TimeStretch supports. Playing or paused: so that
// the sound is there the moment playing starts. Runs on the audio decoder's
// thread, between packets.
//
// Stretched sound is stored by the media time it plays, so the callback reads
// it at the clock like the decoded sound, at `speed` media seconds per
// second. A change of speed, a jump of the clock or a gap in the decoded
// sound starts a new stretch there.
class AudioStretcher
{
public:
    // How far ahead of the clock the stretched sound reaches, in seconds of
    // output: more than the sound card's buffers and the decoder thread's sleeps.
    static constexpr double LeadSeconds = 0.3;

    explicit AudioStretcher(MediaSource* source);
    ~AudioStretcher();
    AudioStretcher(const AudioStretcher&) = delete;
    AudioStretcher& operator=(const AudioStretcher&) = delete;

    // Stretches what is due. True while the speed asks for stretched sound.
    bool service();

private:
    bool coversClock(double clock, double speed) const;
    void restart(double time, double speed);
    void begin(double time, double speed);
    bool stretchMore(double clock);
    void store(double clock);

    MediaSource* source;
    std::unique_ptr<TimeStretch> stretch;
    int rate = 0;
    int channels = 0;
    double startTime = 0.0;  // media time the stretched sound starts at
    double inputTime = 0.0;  // media time of the next frame to stretch
    double outputTime = 0.0; // media time of the next stretched frame
    bool finished = false;
    std::vector<int16_t> input;
    std::vector<int16_t> output;
};
