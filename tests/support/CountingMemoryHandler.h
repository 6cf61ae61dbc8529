// A heap-backed memory handler for image-code tests: counts live blocks and can be told to
// refuse the N-th allocation.
#pragma once

#include "image/MemoryHandler.h"

#include <cstdint>

namespace zptest {

class CountingMemoryHandler : public fx::MemoryHandler {
public:
    void* allocate(int32_t size) override;
    void release(void* block) override;

    int64_t live() const { return live_; }
    int64_t allocations() const { return allocations_; }
    // 1-based index of the allocation to refuse with std::bad_alloc; 0 refuses none.
    int64_t failAt = 0;

private:
    int64_t live_ = 0;
    int64_t allocations_ = 0;
};

} // namespace zptest
