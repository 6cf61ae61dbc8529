// What one frame changes while it renders: thirty mask slots with their colour engines, the
// layer's masks, the global effect objects with their tables and kernels, and the propagation
// queue's room. A frame has its context to itself (RenderContextPool leases one per frame), so
// frames of one sequence may render on several threads at once.
//
// What a context keeps from an earlier frame never changes a frame's bytes: the tone tables and
// blur kernels are rebuilt whenever the settings they derive from change (they are functions of
// those settings alone), the queue's room is only room, and the glow blur's mode is taken from
// the sequence at the start of every frame (RenderState::glowGaussian).
#pragma once

#include "render/LabelPropagator.h"
#include "render/Mask.h"
#include "render/ParamLayout.h"

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
} // namespace fx

struct MaskSlot {
    int32_t pathId = 0; // the mask the slot's selector last named, 0 = none
    std::unique_ptr<ColorAdjuster> adjuster;
    MaskList linked;

    MaskSlot();
    ~MaskSlot();
};

struct RenderContext {
    // Throws std::bad_alloc; whatever was made by then is given back.
    RenderContext();
    ~RenderContext();
    RenderContext(const RenderContext&) = delete;
    RenderContext& operator=(const RenderContext&) = delete;

    std::array<MaskSlot, params::kMaskSlots> slots; // adjust groups 0..9, colorize 10..29
    MaskList all_masks;

    // The global effect objects. The fill light and the glow each own a luma-weight table; the
    // glow also its blur.
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
};
