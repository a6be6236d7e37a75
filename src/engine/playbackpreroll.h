#pragma once

#include <cstdint>

// Holds the clock at the start of playback until the decoder is a little
// ahead of the playhead, so that the first frames after a load or a seek are
// shown on time instead of each as soon as it is decoded, late. The wait is
// short and bounded: on a machine that cannot decode ahead, playback starts
// after it all the same.
class PlaybackPreroll
{
public:
    // How far past the playhead (media time) the cache is to reach before the
    // clock runs: a tenth of a second of playback at `speed`, at least three
    // frames, and never more than the cache keeps ahead (`framesAhead`).
    static double leadWanted(double frameDuration, double speed, int framesAhead);

    void begin(int64_t nowUs) { deadlineUs = nowUs + LimitUs; }
    void end() { deadlineUs = 0; }
    bool waiting() const { return deadlineUs != 0; }
    bool expired(int64_t nowUs) const { return waiting() && nowUs >= deadlineUs; }

private:
    static constexpr int64_t LimitUs = 400000;
    int64_t deadlineUs = 0;
};
