#include "effect/MemoryManager.h"

#include "render/HostError.h"

#include <cstring>
#include <limits>
#include <new>

AE_MemoryManager::AE_MemoryManager(SPBasicSuite* basic) : basic_(basic) {
    const void* suite = nullptr;
    if (basic_ == nullptr ||
        basic_->AcquireSuite(kPFHandleSuite, kPFHandleSuiteVersion1, &suite) != 0 ||
        suite == nullptr) {
        throw HostError(A_Err_MISSING_SUITE);
    }
    handleSuite_ = static_cast<const PF_HandleSuite1*>(suite);
}

AE_MemoryManager::~AE_MemoryManager() {
    // Blocks still out are not tracked: every user returns its blocks before its command ends.
    if (handleSuite_ != nullptr)
        basic_->ReleaseSuite(kPFHandleSuite, kPFHandleSuiteVersion1);
}

void* AE_MemoryManager::allocate(int32_t size) {
    // The host's handle carries the block plus the 8 bytes that remember the handle; a size
    // whose sum would wrap the 32-bit count is refused rather than handed a tiny block.
    if (size < 0 || size > std::numeric_limits<int32_t>::max() - 8)
        throw std::bad_alloc();
    PF_Handle handle = handleSuite_->host_new_handle(static_cast<A_HandleSize>(size + 8));
    if (handle == nullptr)
        throw std::bad_alloc();
    auto* memory = static_cast<uint8_t*>(handleSuite_->host_lock_handle(handle));
    if (memory == nullptr) {
        handleSuite_->host_dispose_handle(handle);
        throw std::bad_alloc();
    }
    std::memcpy(memory, &handle, sizeof handle);
    return memory + 8;
}

void AE_MemoryManager::release(void* block) {
    if (block == nullptr)
        return;
    PF_Handle handle;
    std::memcpy(&handle, static_cast<uint8_t*>(block) - 8, sizeof handle);
    handleSuite_->host_unlock_handle(handle);
    handleSuite_->host_dispose_handle(handle);
}
