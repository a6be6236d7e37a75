#pragma once

// When the playing clock is next to be looked at. Looking every millisecond
// woke the GUI thread up to a thousand times a second to find, at 60 frames
// a second, the same picture sixteen times out of seventeen, and kept a core
// from ever sleeping. The clock is looked at when the next picture is due
// instead, or at the stop time or the end when they come first: the clock is
// the system's (times the speed), so the time to each is known exactly. The
// last milliseconds before are still looked at every millisecond, as before:
// a core asleep until the very moment wakes late on a virtual machine, whose
// host has to run it again first (the window showed fewer frames).
class ClockTicks
{
public:
    // The longest wait between two looks: it bounds how long anything not
    // foreseen here (a change of the clock made elsewhere) goes unnoticed.
    static constexpr int LongestMs = 40;
    // How long before a picture is due the looks every millisecond begin.
    static constexpr int LeadMs = 2;

    // The picture after the one shown starts at `time` (media seconds), or
    // is not known yet (negative): then the clock is looked at every
    // millisecond, as the decoder may store it at any moment.
    void setUpcomingPicture(double time) { upcoming = time; }
    // The clock was set: the picture after it is not known yet.
    void forget() { upcoming = -1.0; }
    // Milliseconds from the clock reading `now` until the next look: LeadMs
    // before the upcoming picture is shown (`tolerance` before its start, as
    // the cache finds pictures) or the clock reaches `stopTime` or
    // `duration` (when known, positive), at `speed` media seconds a second.
    int msUntilNext(double now, double speed, double tolerance, double stopTime, double duration) const;

private:
    double upcoming = -1.0;
};
