#include "tests/support/CountingMemoryHandler.h"

#include <cstdlib>
#include <new>

namespace zptest {

void* CountingMemoryHandler::allocate(int32_t size) {
    ++allocations_;
    if (failAt != 0 && allocations_ == failAt)
        throw std::bad_alloc();
    if (size < 0)
        throw std::bad_alloc();
    void* p = std::malloc(static_cast<size_t>(size) + 1);
    if (p == nullptr)
        throw std::bad_alloc();
    ++live_;
    return p;
}

void CountingMemoryHandler::release(void* block) {
    if (block == nullptr)
        return;
    --live_;
    std::free(block);
}

} // namespace zptest
