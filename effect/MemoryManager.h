// Large per-frame blocks come from the host's handle suite, through one process-wide handler
// that lives from the first live sequence to the last.
#pragma once

#include "host/HostApi.h"
#include "image/MemoryHandler.h"

#include <cstdint>

// Every block is one host handle of size + 8 bytes, kept locked while the block lives; the
// handle sits in the first 8 bytes and the caller gets the address just past it.
class AE_MemoryManager : public fx::MemoryHandler {
public:
    // Acquires "PF Handle Suite" 2; throws HostError(A_Err_MISSING_SUITE) when the host has
    // none (nothing is then held).
    explicit AE_MemoryManager(SPBasicSuite* basic);
    ~AE_MemoryManager() override;
    AE_MemoryManager(const AE_MemoryManager&) = delete;
    AE_MemoryManager& operator=(const AE_MemoryManager&) = delete;

    // Throws std::bad_alloc when the host gives no handle or cannot lock it, and for sizes
    // that would not fit the host's 32-bit size once the 8 bytes are added (or are negative).
    void* allocate(int32_t size) override;
    void release(void* block) override;

private:
    const PF_HandleSuite1* handleSuite_ = nullptr;
    SPBasicSuite* basic_ = nullptr;
};

// Process-wide state shared by every sequence of the effect, read under the lock that sequence
// setup and teardown take: a host may set sequences up and down on several threads. A render
// reads neither; it uses what its render state took at creation. The lock is never held while
// the host is called.
namespace effect_globals {
// The current handler, null while no sequence lives.
AE_MemoryManager* memoryHandler();
// Live render states.
int32_t instanceCount();
// The identifier the host gave at registration; kept once set.
AEGP_PluginID pluginId();
// True when no thread holds that lock at this moment: a host callback asks it from another
// thread to see that the effect calls the host with the lock free.
bool lockIsFree();
} // namespace effect_globals
