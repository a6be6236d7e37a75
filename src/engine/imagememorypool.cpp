#include "imagememorypool.h"

#include "largepages.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>
#include <utility>

namespace {

struct Kept
{
    std::mutex mutex;
    // Oldest first.
    std::deque<std::pair<void*, size_t>> blocks;
    size_t bytes = 0;
};

// Never destroyed: images may give their memory back while the process ends.
Kept& keptBlocks()
{
    static Kept* const pool = new Kept;
    return *pool;
}

int keptOfSize(Kept& pool, size_t bytes)
{
    int count = 0;
    for (const auto& block : pool.blocks)
        count += block.second == bytes ? 1 : 0;
    return count;
}

} // namespace

void* ImageMemoryPool::take(size_t bytes)
{
    Kept& pool = keptBlocks();
    {
        std::lock_guard<std::mutex> lock(pool.mutex);
        for (auto it = pool.blocks.rbegin(); it != pool.blocks.rend(); ++it) {
            if (it->second == bytes) {
                void* block = it->first;
                pool.blocks.erase(std::next(it).base());
                pool.bytes -= bytes;
                return block;
            }
        }
    }
    return LargePages::allocate(bytes);
}

void ImageMemoryPool::give(void* block, size_t bytes)
{
    if (!block)
        return;
    Kept& pool = keptBlocks();
    std::deque<std::pair<void*, size_t>> released;
    {
        std::lock_guard<std::mutex> lock(pool.mutex);
        pool.blocks.emplace_back(block, bytes);
        pool.bytes += bytes;
        while (pool.bytes > MaxKeptBytes) {
            released.push_back(pool.blocks.front());
            pool.bytes -= pool.blocks.front().second;
            pool.blocks.pop_front();
        }
    }
    for (const auto& [unused, size] : released)
        LargePages::release(unused, size);
}

void ImageMemoryPool::reserve(size_t bytes, int count)
{
    if (bytes == 0)
        return;
    // More than the pool keeps would only push out the first ones again.
    const int wanted = std::min(count, int(MaxKeptBytes / bytes));
    Kept& pool = keptBlocks();
    int missing = 0;
    {
        std::lock_guard<std::mutex> lock(pool.mutex);
        missing = wanted - keptOfSize(pool, bytes);
    }
    for (; missing > 0; --missing) {
        void* block = LargePages::allocate(bytes);
        if (!block)
            return;
        std::memset(block, 0, bytes);
        give(block, bytes);
    }
}
