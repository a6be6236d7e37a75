#pragma once

#include "avholders.h"
#include "packetqueue.h"

#include <deque>

class MediaSource;

// Seeks the file of a MediaSource for its seek request (target, margin), so
// that decoding from where the file lands reaches the picture of the target.
//
// The file is sought to the key frame at or before the target, with no margin
// where the demuxer's index reaches the target. Indexes that go by decoding
// time (MP4, MOV) can give a key frame shown after the target when pictures
// are reordered, and a demuxer without an index searches the file and may
// land anywhere: so the packets up to the first key picture are read, and
// while that picture is shown after the target the file is sought again a
// margin before the target, twice as far each time. The packets read on the
// way are handed over, to be queued before any other. A seek to the start of
// a file whose demuxer searches timestamps goes to its first byte.
class FileSeeker
{
public:
    // How far before the target the file is sought at least where the
    // demuxer's index does not reach it.
    static constexpr double Margin = 1.0;

    explicit FileSeeker(MediaSource* source);

    // Returns the library's result; `mark` says where the seek went.
    int seek(SeekMark* mark, std::deque<PacketPtr>* landed);
    // Goes to the start of the clip; the library's result.
    int seekToStart();

private:
    int seekNear(double target, double margin, SeekMark* mark);
    bool indexReaches(double target) const;
    bool searchesTimestamps() const;
    // The first key picture read from where the file landed; null when the
    // file ended first (`endOfFile` set) or none lay within the probe's reach.
    const AVPacket* readToKeyPicture(std::deque<PacketPtr>* landed, bool* endOfFile);
    double mediaTime(int64_t timestamp) const;
    // How far after the target a picture still counts as the target's.
    double tolerance() const;

    MediaSource* source;
    AVFormatContext* context;
    int64_t start;
};
