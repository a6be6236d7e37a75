#include "timerresolution.h"

TimerResolution::TimerResolution() = default;
TimerResolution::~TimerResolution() = default;
