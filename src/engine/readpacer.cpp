#include "readpacer.h"

#include "mediasource.h"
#include "packetqueue.h"

void ReadPacer::startAfterSeek(const MediaSource& source)
{
    pacing = !source.playing;
    shownAtSeek = source.picturesShown.load();
    pacedSince = std::chrono::steady_clock::now();
}

int ReadPacer::videoCapacity(const MediaSource& source)
{
    if (pacing && (source.playing || source.picturesShown.load() != shownAtSeek ||
                   std::chrono::steady_clock::now() - pacedSince > MaxPacing))
        pacing = false;
    return pacing ? PacedPackets : PacketQueue::Capacity;
}
