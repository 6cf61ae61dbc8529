// The per-sequence state: the host suites that rendering needs (held for the sequence's
// life, not per frame), thirty mask slots with their colour engines, the layer's masks and the
// global effect objects. The host binding makes it at sequence setup (it also brings up the
// process-wide memory handler and registration) and keeps it behind the sequence handle.
#pragma once

#include "host/HostApi.h"
#include "render/LabelPropagator.h"
#include "render/Mask.h"
#include "render/ParamLayout.h"
#include "render/SuiteHolder.h"

#include <array>
#include <cstdint>
#include <memory>

class ColorAdjuster;
class ToneLut;
class VariableBlurFilter;
struct FillLight;
struct Glow;
class InstanceToken;
namespace fx {
class BlurFilter;
class MemoryHandler;
} // namespace fx

struct MaskSlot {
    int32_t pathId = 0; // the mask the slot's selector last named, 0 = none
    std::unique_ptr<ColorAdjuster> adjuster;
    MaskList linked;

    MaskSlot();
    ~MaskSlot();
};

struct RenderState {
    // Throws HostError(A_Err_MISSING_SUITE) when a suite is missing and std::bad_alloc when
    // memory runs out; whatever was taken by then is given back.
    explicit RenderState(SPBasicSuite* basic);
    ~RenderState();
    RenderState(const RenderState&) = delete;
    RenderState& operator=(const RenderState&) = delete;

    SPBasicSuite* basic;
    // The process-wide memory handler and the plug-in identifier the host gave at registration,
    // as they were when this state was made. Neither changes while any state lives.
    fx::MemoryHandler* memoryHandler = nullptr;
    AEGP_PluginID pluginId = 0;
    SuiteHolder<AEGP_PFInterfaceSuite1> pfInterfaceSuite;
    SuiteHolder<AEGP_LayerSuite5> layerSuite;
    SuiteHolder<AEGP_MaskSuite4> layerMaskSuite;
    SuiteHolder<PF_PathQuerySuite1> pathQuerySuite;
    SuiteHolder<PF_PathDataSuite1> pathDataSuite;
    SuiteHolder<AEGP_StreamSuite2> streamSuite;
    SuiteHolder<AEGP_MaskOutlineSuite1> maskOutlineSuite;
    std::array<MaskSlot, params::kMaskSlots> slots; // adjust groups 0..9, colorize 10..29
    MaskList all_masks;

    // The global effect objects, kept between frames so their tables and kernels survive.
    // The fill light and the glow each own a luma-weight table; the glow also its blur.
    std::unique_ptr<VariableBlurFilter> blur_filter;
    std::unique_ptr<FillLight> fill_light;
    std::unique_ptr<Glow> glow;

    // The propagation queue's room, kept from frame to frame (up to kKeptQueueItems items) so
    // that a frame does not grow a queue in fresh memory again.
    LabelQueue propagationQueue;

private:
    std::unique_ptr<ToneLut> fillLightLut_;
    std::unique_ptr<ToneLut> glowLut_;
    std::unique_ptr<fx::BlurFilter> glowFilter_;
    std::unique_ptr<InstanceToken> instance_;
};
