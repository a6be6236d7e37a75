#include "timerresolution.h"

#include <sys/prctl.h>

// The kernel may delay a timer wake-up by the "timer slack" (50 us by
// default) to batch wake-ups; 1 ns asks for wake-ups as close to the
// deadline as the hardware allows.
TimerResolution::TimerResolution()
{
    const int current = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
    if (current < 0)
        return;
    previous = static_cast<unsigned long>(current);
    raised = prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0) == 0;
}

TimerResolution::~TimerResolution()
{
    if (raised)
        prctl(PR_SET_TIMERSLACK, previous, 0, 0, 0);
}
