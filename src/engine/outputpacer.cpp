#include "outputpacer.h"

#include <algorithm>
#include <thread>

namespace {

// A device may take sound this much faster than real time: no real clock is
// that far off, and a device that never waits costs no more than a tenth
// more callbacks.
constexpr double FastestDevice = 1.1;
// What a device may take at once beyond that: its whole buffer, at the start.
constexpr double BufferSeconds = 0.5;
// The longest hold in one callback, so that stopping the stream (which waits
// for the callback) is never held up for long.
constexpr double LongestHoldSeconds = 0.05;

} // namespace

void OutputPacer::restart(int sampleRate)
{
    started = Clock::now();
    framesGiven = 0;
    rate = sampleRate;
}

void OutputPacer::pace(unsigned long frames)
{
    if (rate <= 0)
        return;
    framesGiven += int64_t(frames);
    const double given = double(framesGiven) / rate;
    const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
    const double ahead = given - (elapsed * FastestDevice + BufferSeconds);
    if (ahead > 0.0)
        std::this_thread::sleep_for(
            std::chrono::duration<double>(std::min(ahead / FastestDevice, LongestHoldSeconds)));
}
