#include "lateframes.h"

void LateFrames::shown(double time, double following)
{
    next = following > time ? following : -1.0;
}

double LateFrames::timeToShow(double clock, double speed, double frameDuration, double tolerance) const
{
    if (next < 0.0 || !(speed > 0.0) || !(frameDuration > 0.0))
        return clock;
    // The clock has not passed beyond the next picture: it is the clock's.
    if (next + frameDuration > clock + tolerance)
        return clock;
    if (speed / frameDuration > MostPicturesPerSecond || (clock - next) / speed > LongestLateSeconds)
        return clock;
    return paintPending ? -1.0 : next;
}
