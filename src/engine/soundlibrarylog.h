#pragma once

// The sound libraries below PortAudio (ALSA and the JACK client) print every
// device they probe and fail to open on the standard error stream: on a
// machine without a sound card, a hundred lines each time a clip opens, in
// which the program's own one-line report is lost. This turns that chatter
// off; the program still reports every failure that matters itself.
class SoundLibraryLog
{
public:
    // Safe to call any number of times, from any thread.
    static void silence();
};
