#include "largepages.h"

#include <new>

void* LargePages::allocate(size_t bytes)
{
    return ::operator new(bytes, std::align_val_t(PageBytes), std::nothrow);
}

void LargePages::release(void* block, size_t)
{
    ::operator delete(block, std::align_val_t(PageBytes));
}
