// The allocator of large per-frame pixel blocks (working frames, label rasters, label maps).
// Image code sees only this interface; the effect backs it with the host's handle suite.
#pragma once

#include <cstdint>

namespace fx {

class MemoryHandler {
public:
    // Returns a block of at least `size` bytes; never null. Throws std::bad_alloc when the
    // block cannot be had (including sizes that do not fit the host's bookkeeping).
    virtual void* allocate(int32_t size) = 0;
    // Gives a block back; null is allowed and does nothing.
    virtual void release(void* block) = 0;
    virtual ~MemoryHandler() = default;
};

// Owns one block for a scope, so every path out of a pass gives it back.
class MemoryBlock {
public:
    MemoryBlock(MemoryHandler& handler, int32_t size)
        : handler_(&handler), data_(handler.allocate(size)) {}
    ~MemoryBlock() { handler_->release(data_); }
    MemoryBlock(const MemoryBlock&) = delete;
    MemoryBlock& operator=(const MemoryBlock&) = delete;
    void* get() const { return data_; }

private:
    MemoryHandler* handler_;
    void* data_;
};

} // namespace fx
