#pragma once

#include <cstddef>

// Memory for many large pictures. Fresh memory costs the kernel a fault for
// every 4 KB page it hands out, and on a virtual machine far more: 512 MB of
// new pictures took 1.4 s of faults on one (0.05 to 0.9 s in 2 MB pages).
// Blocks from here are asked of the kernel in 2 MB pages where it has them.
class LargePages
{
public:
    // The alignment and the multiple of the sizes blocks are best asked in.
    static constexpr size_t PageBytes = size_t(2) << 20;

    // A block of `bytes`, aligned to PageBytes; null when there is no memory.
    static void* allocate(size_t bytes);
    // Gives back a block that allocate() returned, with the same `bytes`.
    static void release(void* block, size_t bytes);
};
