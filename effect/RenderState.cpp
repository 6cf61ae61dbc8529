// A render state is made here rather than beside its declaration in render/: making the first
// one brings up the host's memory handler and the registration, which belong to the host
// binding.
#include "render/RenderState.h"

#include "color/ColorAdjuster.h"
#include "color/FillLight.h"
#include "color/Glow.h"
#include "color/ToneLut.h"
#include "effect/MemoryManager.h"
#include "effect/ProductInfo.h"
#include "fx/BlurFilter.h"
#include "fx/VariableBlurFilter.h"
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
    if (g_instanceCount != 1)
        return;
    try {
        g_memoryHandler = new AE_MemoryManager(basic);
        SuiteHolder<AEGP_UtilitySuite4> utility(basic, kAEGPUtilitySuite,
                                                kAEGPUtilitySuiteVersion4);
        // Mask streams are asked for under this identifier: without a registration there is
        // none to ask with, so the setup fails with the host's own error.
        AEGP_PluginID id = 0;
        const A_Err err = utility->AEGP_RegisterWithAEGP(nullptr, product::kAegpName, &id);
        if (err != A_Err_NONE)
            throw HostError(err);
        g_pluginId = id;
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

MaskSlot::MaskSlot() = default;
MaskSlot::~MaskSlot() = default;

// Members acquire the seven suites in declaration order; a missing one unwinds the ones
// before it, latest first.
RenderState::RenderState(SPBasicSuite* basic_suite)
    : basic(basic_suite),
      pfInterfaceSuite(basic, kAEGPPFInterfaceSuite, kAEGPPFInterfaceSuiteVersion1),
      layerSuite(basic, kAEGPLayerSuite, kAEGPLayerSuiteVersion5),
      layerMaskSuite(basic, kAEGPMaskSuite, kAEGPMaskSuiteVersion4),
      pathQuerySuite(basic, kPFPathQuerySuite, kPFPathQuerySuiteVersion1),
      pathDataSuite(basic, kPFPathDataSuite, kPFPathDataSuiteVersion1),
      streamSuite(basic, kAEGPStreamSuite, kAEGPStreamSuiteVersion2),
      maskOutlineSuite(basic, kAEGPMaskOutlineSuite, kAEGPMaskOutlineSuiteVersion1) {
    instance_ = std::make_unique<InstanceToken>(basic);
    memoryHandler = effect_globals::memoryHandler();
    pluginId = effect_globals::pluginId();
    // The global effect objects come after the memory handler and the registration, before
    // the adjusters.
    blur_filter = std::make_unique<VariableBlurFilter>();
    fill_light = std::make_unique<FillLight>();
    fillLightLut_ = std::make_unique<ToneLut>();
    fill_light->lut = fillLightLut_.get();
    glow = std::make_unique<Glow>();
    glowLut_ = std::make_unique<ToneLut>();
    glowFilter_ = std::make_unique<fx::BlurFilter>();
    glow->lut = glowLut_.get();
    glow->filter = glowFilter_.get();
    for (MaskSlot& slot : slots) {
        slot.pathId = 0;
        slot.adjuster = std::make_unique<ColorAdjuster>();
    }
}

RenderState::~RenderState() {
    // The global effect objects go first: the glow with its table and blur, the fill light
    // with its table, the blur filter.
    glowLut_.reset();
    glowFilter_.reset();
    glow.reset();
    fillLightLut_.reset();
    fill_light.reset();
    blur_filter.reset();
    for (MaskSlot& slot : slots)
        slot.adjuster.reset();
    instance_.reset();
    all_masks.clear();
    for (auto it = slots.rbegin(); it != slots.rend(); ++it)
        it->linked.clear();
    // The suites are released by their holders, in reverse order of acquisition.
}
