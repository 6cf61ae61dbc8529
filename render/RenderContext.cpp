#include "render/RenderContext.h"

#include "color/ColorAdjuster.h"
#include "color/FillLight.h"
#include "color/Glow.h"
#include "color/ToneLut.h"
#include "fx/BlurFilter.h"
#include "fx/VariableBlurFilter.h"

MaskSlot::MaskSlot() = default;
MaskSlot::~MaskSlot() = default;

// The global effect objects come before the adjusters.
RenderContext::RenderContext() {
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

RenderContext::~RenderContext() {
    // The global effect objects go first: the glow with its table and blur, the fill light
    // with its table, the blur filter; then the adjusters and the masks.
    glowLut_.reset();
    glowFilter_.reset();
    glow.reset();
    fillLightLut_.reset();
    fill_light.reset();
    blur_filter.reset();
    for (MaskSlot& slot : slots)
        slot.adjuster.reset();
    all_masks.clear();
    for (auto it = slots.rbegin(); it != slots.rend(); ++it)
        it->linked.clear();
}
