#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstdint>

// The sound the reader passes over to reach the pictures, and reads again
// once it has read them all.
//
// A sound track that goes on long after the pictures (or lies far ahead of
// them in the file) fills the sound queue while the video decoder still waits
// for its last packets, and above all for the end of the stream, without
// which a decoder with reordering delay keeps its last pictures. The queue
// takes in a bounded amount beyond its capacity; past that the reader drops
// the sound from that packet on (skip), reads to the end of the file for the
// pictures, then seeks back there and reads the sound alone (seekBack).
class SkippedSound
{
public:
    // Forgets any skip: a seek or a new file reads everything again.
    void reset();

    // Drops the sound from `packet` on. False, and nothing changes, when the
    // packet carries no time to come back to.
    bool skip(const AVPacket* packet);
    bool skipping() const { return skippingFrom; }
    // Goes back to the first packet skipped, in the sound's stream; from now
    // on pictures, and the sound before it, are dropped. Returns what the
    // seek returned (negative: it failed and the sound ends there).
    int seekBack(AVFormatContext* context, int soundStream);
    bool readingBack() const { return readingBackFlag; }

    // Whether the reader drops a packet of the sound (`sound`) or of the
    // pictures instead of queueing it.
    bool drops(const AVPacket* packet, bool sound) const;

private:
    static int64_t timeOf(const AVPacket* packet);

    bool skippingFrom = false;
    bool readingBackFlag = false;
    int64_t resumeTime = AV_NOPTS_VALUE; // in the sound stream's time base
};
