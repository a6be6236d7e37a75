#pragma once

#include <cstddef>

// Large-page blocks for the images that pictures are converted into for the
// viewer, kept mapped when an image lets go of one, for the next image of the
// same size. Those images come and go with the frames shown, and memory
// written for the first time costs more than converting into it: on a
// virtual machine whose host backs memory only when it is first touched, a
// conversion into a fresh 1080p image took 30 to 45 ms instead of 1 to 3.
// One pool serves the process and keeps at most MaxKeptBytes unused, the
// blocks given back longest ago going first.
class ImageMemoryPool
{
public:
    static constexpr size_t MaxKeptBytes = size_t(64) << 20;

    // A block of `bytes` (a multiple of LargePages::PageBytes): a kept one,
    // else a new one; null when there is no memory.
    static void* take(size_t bytes);
    // Keeps a block that take() returned, with the same `bytes`.
    static void give(void* block, size_t bytes);
    // Makes sure that `count` blocks of `bytes` are kept, written through
    // once, so that the next images of that size start on memory in place.
    static void reserve(size_t bytes, int count);
};
