#pragma once

// Which picture to show while playing, once the GUI thread was held up.
//
// A busy machine now and then holds the GUI thread up for a few frame times;
// the picture for the clock then lies frames past the one on screen. Jumping
// to it passes over the frames between, and a reviewer watching at normal
// speed never sees them (a single-frame flash among them is simply lost).
// While the picture on screen is at most LongestLateSeconds behind the
// clock, the frames passed over are shown in turn instead, each once the one
// before it is painted, until the picture is back with the clock. Later than
// that, or at more pictures a second than a screen shows, the picture jumps
// to the clock as before. The sound follows the clock throughout.
class LateFrames
{
public:
    static constexpr double LongestLateSeconds = 0.1;
    static constexpr double MostPicturesPerSecond = 61.0;

    // The picture at `time` (media seconds) is on screen; the one after it
    // in the cache starts at `following`, or is not known yet (negative).
    void shown(double time, double following);
    // Its image went to a viewer that has still to paint it.
    void awaitPaint() { paintPending = true; }
    void painted() { paintPending = false; }
    // The clock was set (a seek, a loop, a start): the pictures between are
    // not passed over, and nothing is to be caught up.
    void forget() { next = -1.0; }

    // What to show for the clock reading `clock` at `speed` media seconds a
    // second, for pictures `frameDuration` apart and found `tolerance` early:
    // the clock's picture (`clock`), the one after that on screen (its time),
    // or nothing yet (negative: the one on screen has still to be painted).
    double timeToShow(double clock, double speed, double frameDuration, double tolerance) const;

private:
    double next = -1.0;
    bool paintPending = false;
};
