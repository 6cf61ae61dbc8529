#include "effect/HostBinding.h"

#include "effect/MemoryManager.h"
#include "effect/ProductInfo.h"
#include "render/HostError.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

// A host rendering sequences on several threads may set one up while it sets down another, so
// the count and the shared handler are guarded. The host contract forbids holding a lock of
// ours while calling the host (its suites may wait on threads that wait on us), so bringing
// the handler up or down is done outside the lock: the phase says which thread owns that
// work, and a thread that finds it under way waits on the condition variable (holding
// nothing) until the phase settles.
enum class Phase { Down, Starting, Up, Stopping };

std::mutex g_instanceMutex;
std::condition_variable g_phaseSettled;
Phase g_phase = Phase::Down;
int32_t g_instanceCount = 0;
AE_MemoryManager* g_memoryHandler = nullptr;
AEGP_PluginID g_pluginId = 0;

// Makes the handler and registers with the host; no lock held.
std::unique_ptr<AE_MemoryManager> bringUp(SPBasicSuite* basic, AEGP_PluginID& id) {
    auto handler = std::make_unique<AE_MemoryManager>(basic);
    SuiteHolder<AEGP_UtilitySuite4> utility(basic);
    // Mask streams are asked for under this identifier: without a registration there is
    // none to ask with, so the setup fails with the host's own error.
    const A_Err err = utility->AEGP_RegisterWithAEGP(nullptr, product::kAegpName, &id);
    if (err != A_Err_NONE)
        throw HostError(err);
    return handler;
}

} // namespace

namespace effect_globals {
AE_MemoryManager* memoryHandler() {
    std::lock_guard<std::mutex> lock(g_instanceMutex);
    return g_memoryHandler;
}
int32_t instanceCount() {
    std::lock_guard<std::mutex> lock(g_instanceMutex);
    return g_instanceCount;
}
AEGP_PluginID pluginId() {
    std::lock_guard<std::mutex> lock(g_instanceMutex);
    return g_pluginId;
}
bool lockIsFree() {
    std::unique_lock<std::mutex> lock(g_instanceMutex, std::try_to_lock);
    return lock.owns_lock();
}
} // namespace effect_globals

InstanceToken::InstanceToken(SPBasicSuite* basic) {
    std::unique_lock<std::mutex> lock(g_instanceMutex);
    g_phaseSettled.wait(lock, [] { return g_phase == Phase::Down || g_phase == Phase::Up; });
    if (g_phase == Phase::Up) {
        ++g_instanceCount;
        memoryHandler_ = g_memoryHandler;
        pluginId_ = g_pluginId;
        return;
    }
    // This token brings the handler up; others arriving meanwhile wait for the outcome.
    g_phase = Phase::Starting;
    lock.unlock();
    std::unique_ptr<AE_MemoryManager> handler;
    AEGP_PluginID id = 0;
    try {
        handler = bringUp(basic, id);
    } catch (...) {
        // Nothing was counted: the next setup starts over from a consistent state.
        lock.lock();
        g_phase = Phase::Down;
        g_phaseSettled.notify_all();
        throw;
    }
    lock.lock();
    g_memoryHandler = handler.release();
    g_pluginId = id;
    g_instanceCount = 1;
    g_phase = Phase::Up;
    memoryHandler_ = g_memoryHandler;
    pluginId_ = g_pluginId;
    g_phaseSettled.notify_all();
}

InstanceToken::~InstanceToken() {
    std::unique_lock<std::mutex> lock(g_instanceMutex);
    if (--g_instanceCount > 0)
        return;
    // The last share: the handler gives its suite back to the host outside the lock, and a
    // setup arriving meanwhile waits until it has, then brings up a new one.
    std::unique_ptr<AE_MemoryManager> handler(g_memoryHandler);
    g_memoryHandler = nullptr;
    g_phase = Phase::Stopping;
    lock.unlock();
    handler.reset();
    lock.lock();
    g_phase = Phase::Down;
    g_phaseSettled.notify_all();
}

std::unique_ptr<RenderState> makeRenderState(SPBasicSuite* basic) {
    return std::make_unique<RenderState>(basic,
                                         [](SPBasicSuite* b) -> std::unique_ptr<StateBinding> {
                                             return std::make_unique<InstanceToken>(b);
                                         });
}
