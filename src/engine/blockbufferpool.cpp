#include "blockbufferpool.h"

#include "largepages.h"

#include <algorithm>
#include <vector>

namespace {

// Blocks of about this size: a few pictures each, and few blocks in all.
constexpr size_t TargetBlockBytes = size_t(32) << 20;
// Buffers start on a cache line, as FFmpeg's own allocations do.
constexpr size_t BufferAlignment = 64;

// The pool's own state; FFmpeg calls the pool's functions with its lock
// held, so one buffer is cut at a time.
struct Blocks
{
    explicit Blocks(size_t bytes)
        : bufferBytes(FFALIGN(bytes, BufferAlignment)),
          blockBytes(FFALIGN(std::max(bufferBytes, TargetBlockBytes / bufferBytes * bufferBytes),
                             LargePages::PageBytes))
    {
    }

    ~Blocks()
    {
        for (void* block : blocks)
            LargePages::release(block, blockBytes);
    }

    uint8_t* cut()
    {
        if (blocks.empty() || usedInLast + bufferBytes > blockBytes) {
            void* block = LargePages::allocate(blockBytes);
            if (!block)
                return nullptr;
            blocks.push_back(block);
            usedInLast = 0;
        }
        uint8_t* buffer = static_cast<uint8_t*>(blocks.back()) + usedInLast;
        usedInLast += bufferBytes;
        return buffer;
    }

    const size_t bufferBytes;
    const size_t blockBytes;
    std::vector<void*> blocks;
    size_t usedInLast = 0;
};

// A buffer's memory is its block's: nothing to free on its own.
void keepInBlock(void*, uint8_t*) {}

AVBufferRef* cutBuffer(void* opaque, size_t size)
{
    uint8_t* buffer = static_cast<Blocks*>(opaque)->cut();
    return buffer ? av_buffer_create(buffer, size, &keepInBlock, nullptr, 0) : nullptr;
}

void freeBlocks(void* opaque)
{
    delete static_cast<Blocks*>(opaque);
}

} // namespace

BufferPoolPtr BlockBufferPool::create(size_t bufferBytes)
{
    if (bufferBytes == 0)
        return nullptr;
    auto* blocks = new Blocks(bufferBytes);
    BufferPoolPtr pool(av_buffer_pool_init2(bufferBytes, blocks, &cutBuffer, &freeBlocks));
    if (!pool)
        delete blocks;
    return pool;
}
