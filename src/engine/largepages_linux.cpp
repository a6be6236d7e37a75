#include "largepages.h"

#include <cstdint>
#include <sys/mman.h>

void* LargePages::allocate(size_t bytes)
{
    // Mapped with a page to spare, then trimmed to an aligned block: the
    // kernel only backs aligned 2 MB ranges with large pages.
    const size_t mapped = bytes + PageBytes;
    void* memory = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<uintptr_t>(memory);
    const uintptr_t aligned = (start + PageBytes - 1) & ~uintptr_t(PageBytes - 1);
    if (aligned > start)
        munmap(memory, aligned - start);
    const uintptr_t end = start + mapped;
    if (end > aligned + bytes)
        munmap(reinterpret_cast<void*>(aligned + bytes), end - (aligned + bytes));
    void* block = reinterpret_cast<void*>(aligned);
    // Only advice: where the kernel has no large pages, small ones serve.
    madvise(block, bytes, MADV_HUGEPAGE);
    return block;
}

void LargePages::release(void* block, size_t bytes)
{
    if (block)
        munmap(block, bytes);
}
