#include "effect/HostBinding.h"

#include "effect/MemoryManager.h"
#include "effect/ProductInfo.h"
#include "render/HostError.h"

#include <mutex>

namespace {

// Guarded: a host rendering sequences on several threads may set one up while it sets down
// another.
std::mutex g_instanceMutex;
int32_t g_instanceCount = 0;
AE_MemoryManager* g_memoryHandler = nullptr;
AEGP_PluginID g_pluginId = 0;

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
} // namespace effect_globals

InstanceToken::InstanceToken(SPBasicSuite* basic) {
    std::lock_guard<std::mutex> lock(g_instanceMutex);
    ++g_instanceCount;
    if (g_instanceCount != 1) {
        memoryHandler_ = g_memoryHandler;
        pluginId_ = g_pluginId;
        return;
    }
    try {
        g_memoryHandler = new AE_MemoryManager(basic);
        SuiteHolder<AEGP_UtilitySuite4> utility(basic);
        // Mask streams are asked for under this identifier: without a registration there is
        // none to ask with, so the setup fails with the host's own error.
        AEGP_PluginID id = 0;
        const A_Err err = utility->AEGP_RegisterWithAEGP(nullptr, product::kAegpName, &id);
        if (err != A_Err_NONE)
            throw HostError(err);
        g_pluginId = id;
        memoryHandler_ = g_memoryHandler;
        pluginId_ = g_pluginId;
    } catch (...) {
        // Undo this token's share so the next sequence starts from a consistent state.
        delete g_memoryHandler;
        g_memoryHandler = nullptr;
        --g_instanceCount;
        throw;
    }
}

InstanceToken::~InstanceToken() {
    std::lock_guard<std::mutex> lock(g_instanceMutex);
    if (--g_instanceCount == 0) {
        delete g_memoryHandler;
        g_memoryHandler = nullptr;
    }
}

std::unique_ptr<RenderState> makeRenderState(SPBasicSuite* basic) {
    return std::make_unique<RenderState>(basic,
                                         [](SPBasicSuite* b) -> std::unique_ptr<StateBinding> {
                                             return std::make_unique<InstanceToken>(b);
                                         });
}
