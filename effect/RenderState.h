// The per-sequence state: the host suites that rendering needs (held for the sequence's
// life, not per frame), thirty mask slots with their colour engines, the layer's masks and the
// global effect objects. The host's sequence handle holds a SequenceData record pointing here.
#pragma once

#include "effect/ParamLayout.h"
#include "effect/SuiteHolder.h"
#include "host/HostApi.h"
#include "render/KeptPropagation.h"
#include "render/LabelPropagator.h"
#include "render/Mask.h"

#include <array>
#include <cstdint>
#include <memory>

class ColorAdjuster;
class ToneLut;
class VariableBlurFilter;
struct FillLight;
struct Glow;
namespace fx {
class BlurFilter;
}

// The content of the host's sequence handle: 16 bytes, little-endian, stored with projects in
// its flattened form (render state 0).
struct SequenceData {
    uint32_t reserved;    // written 0 at setup
    uint32_t padding;     // never written
    uint64_t renderState; // RenderState*, 0 once flattened
};
static_assert(sizeof(SequenceData) == 16, "the flattened record is 16 bytes");

struct MaskSlot {
    int32_t pathId = 0; // the mask the slot's selector last named, 0 = none
    std::unique_ptr<ColorAdjuster> adjuster;
    MaskList linked;

    MaskSlot();
    ~MaskSlot();
};

// Holds the process-wide instance count, and with the first live state the memory handler and
// the AEGP registration. Giving it back restores the count (and drops the handler with the
// last one), also when a state's creation fails half way.
class InstanceToken {
public:
    explicit InstanceToken(SPBasicSuite* basic);
    ~InstanceToken();
    InstanceToken(const InstanceToken&) = delete;
    InstanceToken& operator=(const InstanceToken&) = delete;
};

struct RenderState {
    // Throws HostError(A_Err_MISSING_SUITE) when a suite is missing and std::bad_alloc when
    // memory runs out; whatever was taken by then is given back.
    explicit RenderState(SPBasicSuite* basic);
    ~RenderState();
    RenderState(const RenderState&) = delete;
    RenderState& operator=(const RenderState&) = delete;

    SPBasicSuite* basic;
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

    // The label map of the last frame with its inputs, reused while they do not change. Given
    // back with the state (flatten, setdown), before the memory handler it came from.
    KeptPropagation keptPropagation;
    // The propagation queue's room, kept from frame to frame (up to kKeptQueueItems items) so
    // that a frame does not grow a queue in fresh memory again.
    LabelQueue propagationQueue;

private:
    std::unique_ptr<ToneLut> fillLightLut_;
    std::unique_ptr<ToneLut> glowLut_;
    std::unique_ptr<fx::BlurFilter> glowFilter_;
    std::unique_ptr<InstanceToken> instance_;
};

// The sequence commands. Each returns the host's error code or throws (HostError,
// std::bad_alloc) with everything it took given back.
PF_Err sequenceSetup(PF_InData* in_data, PF_OutData* out_data);
PF_Err sequenceResetup(PF_InData* in_data, PF_OutData* out_data);
PF_Err sequenceFlatten(PF_InData* in_data, PF_OutData* out_data);
PF_Err sequenceSetdown(PF_InData* in_data, PF_OutData* out_data);

// The render state a sequence handle points at, or null (no handle, or flattened).
RenderState* renderStateOf(PF_Handle sequence_data);
