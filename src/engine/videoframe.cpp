#include "videoframe.h"

#include <cstdlib>
#include <sys/mman.h>

namespace {

constexpr size_t HugePage = size_t(2) << 20;

// Pictures of several megabytes are aligned on huge pages and marked for
// them: the kernel then maps each 2 MB at once instead of faulting in 512
// small pages, which otherwise costs a fair share of the decoding time.
uint8_t* allocatePixels(size_t bytes)
{
    if (bytes < 2 * HugePage)
        return static_cast<uint8_t*>(av_malloc(bytes));
    void* memory = nullptr;
    if (posix_memalign(&memory, HugePage, bytes) != 0)
        return nullptr;
    madvise(memory, bytes & ~(HugePage - 1), MADV_HUGEPAGE);
    return static_cast<uint8_t*>(memory);
}

} // namespace

VideoFrame::VideoFrame(int frameWidth, int frameHeight, double frameTime)
    : width(frameWidth), height(frameHeight), time(frameTime)
{
    if (width <= 0 || height <= 0)
        return;
    const int64_t bytes = int64_t(bytesPerLine(width)) * height;
    if (bytes > INT32_MAX)
        return;
    // av_free (the holder's deleter) releases both kinds of allocation.
    pixels.reset(allocatePixels(size_t(bytes)));
    if (pixels)
        byteCount = int(bytes);
}
