#pragma once

#include <chrono>
#include <cstdint>

class MediaSource;

// How far the reader reads ahead of the video decoder.
//
// After a jump made while paused, the decoder needs only the packets up to
// the picture it jumps to. Filling the queue at once would take a core from
// the codec's threads, and then from the conversion of that picture, while
// the user waits for it; so, until that picture is on screen (or playback
// starts), the reader keeps just a few packets ahead of the decoder. A
// picture that never comes to the screen holds it back for a second at most.
class ReadPacer
{
public:
    static constexpr int PacedPackets = 8;
    static constexpr std::chrono::milliseconds MaxPacing{1000};

    // A jump is on its way: paces the reading when the media is paused.
    void startAfterSeek(const MediaSource& source);
    // Ends the pacing early (a fill, a new file).
    void stop() { pacing = false; }
    // How many packets the video queue may hold now.
    int videoCapacity(const MediaSource& source);
    // Whether the last videoCapacity() still paced the reading.
    bool active() const { return pacing; }

private:
    bool pacing = false;
    uint64_t shownAtSeek = 0;
    std::chrono::steady_clock::time_point pacedSince;
};
