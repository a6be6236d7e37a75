#pragma once

// Asks the system for its finest timer resolution while an object of this
// class lives, so that the playback controller's 1 ms timer ticks close to its
// interval. On Linux this lowers the process's timer slack; where the system
// offers nothing of the kind it does nothing.
class TimerResolution
{
public:
    TimerResolution();
    ~TimerResolution();
    TimerResolution(const TimerResolution&) = delete;
    TimerResolution& operator=(const TimerResolution&) = delete;

    // True when a finer resolution is in effect.
    bool isRaised() const { return raised; }

private:
    bool raised = false;
    unsigned long previous = 0;
};
