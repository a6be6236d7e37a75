#include "playbackpreroll.h"

#include <algorithm>

double PlaybackPreroll::leadWanted(double frameDuration, double speed, int framesAhead)
{
    constexpr double LeadSeconds = 0.1;
    constexpr int MinimumFrames = 3;
    const double wanted = std::max(LeadSeconds * std::max(speed, 0.0), MinimumFrames * frameDuration);
    // The cache holds the frame on screen and at most `framesAhead` - 1 after it.
    return std::min(wanted, std::max(framesAhead - 1, 0) * frameDuration);
}
