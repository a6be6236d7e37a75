#pragma once

#include <chrono>
#include <cstdint>

// Holds the sound output's callback to the pace at which its samples are
// heard. A real device asks for samples as it plays them; one that never
// waits (ALSA's null device, a common way to silence a machine) asks for
// them as fast as the callback gives them, and its thread would take a whole
// core. Only an output well ahead of real time is held back: a device fills
// its buffer at the start, and its clock may run a little faster than ours.
//
// Used by the callback's thread alone, restarted before the stream starts.
class OutputPacer
{
public:
    void restart(int sampleRate);
    // After the callback has given `frames`: sleeps while the output is
    // too far ahead of real time.
    void pace(unsigned long frames);

private:
    using Clock = std::chrono::steady_clock;

    Clock::time_point started;
    int64_t framesGiven = 0;
    int rate = 0;
};
