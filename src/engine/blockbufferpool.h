#pragma once

#include "avholders.h"

#include <cstddef>

// An FFmpeg buffer pool whose buffers, all of one size, are cut out of large
// blocks (LargePages) instead of each being allocated on its own: a buffer
// given back is kept for the next picture as in any pool, and a new one
// touches memory that comes in large pages. The blocks are given back once
// the pool and every buffer it gave are gone.
class BlockBufferPool
{
public:
    // A pool of buffers of `bufferBytes`; null when out of memory.
    static BufferPoolPtr create(size_t bufferBytes);
};
