#include "clockticks.h"

#include <algorithm>
#include <cmath>

int ClockTicks::msUntilNext(double now, double speed, double tolerance, double stopTime,
                            double duration) const
{
    if (upcoming < 0.0 || !(speed > 0.0))
        return 1;
    double due = std::min(upcoming - tolerance, stopTime);
    if (duration > 0.0)
        due = std::min(due, duration);
    // Rounded up: a look a fraction of a millisecond early would find the
    // picture not yet due and cost another.
    const double ms = std::ceil((due - now) / speed * 1000.0) - LeadMs;
    return int(std::clamp(ms, 1.0, double(LongestMs)));
}
