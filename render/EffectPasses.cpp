#include "render/EffectPasses.h"

#include "color/FillLight.h"
#include "color/Glow.h"
#include "color/ToneLut.h"
#include "fx/BlurFilter.h"
#include "fx/VariableBlurFilter.h"
#include "render/ParamLayout.h"
#include "render/ParamReaders.h"
#include "render/RenderContext.h"
#include "render/RenderState.h"

void runEffectPasses(const RenderState& state, RenderContext& context, PF_InData* in_data,
                     PixelBuffer& output, const Rect& outputRect, double scaleX, double scaleY) {
    ParamReader params(in_data);
    const auto layerHeight = static_cast<float>(in_data->height);

    // Slider values are narrowed to float before the single-precision divisions.
    const float blurAmount = params.slider(params::kBlurAmount) / 100.0f;
    if (blurAmount != 0.0f) {
        const float radius = layerHeight * blurAmount;
        context.blur_filter->setRadius(static_cast<float>(radius * scaleX),
                                       static_cast<float>(radius * scaleY));
        context.blur_filter->apply(output, output.bounds, output.bounds);
    }

    FillLight& fill = *context.fill_light;
    const float brightness = params.slider(params::kFillBrightness) / 100.0f;
    const float fillPosition = params.slider(params::kFillPosition) / 100.0f;
    const float fillRange = params.slider(params::kFillRange) / 50.0f;
    if (brightness != 0.0f)
        fill.lut->setBump(fillPosition, fillRange);
    fill.strength = brightness;
    fill.position = fillPosition;
    fill.range = fillRange;
    applyFillLight(fill, output, outputRect);

    Glow& glow = *context.glow;
    const float glowRadius = params.slider(params::kGlowBlur) / 333.0f * layerHeight;
    const float amount = params.slider(params::kGlowAmount) / 100.0f;
    const int32_t blend = params.popup(params::kGlowBlend) - 1;
    const PF_Pixel color = params.color(params::kGlowColor);
    const float glowPosition = params.slider(params::kGlowPosition) / 100.0f;
    const float glowRange = params.slider(params::kGlowRange) / 50.0f;
    if (amount != 0.0f)
        glow.lut->setBump(glowPosition, glowRange);
    glow.amount = amount;
    glow.blurX = static_cast<float>(glowRadius * scaleX);
    glow.blurY = static_cast<float>(glowRadius * scaleY);
    glow.colorAlpha = static_cast<float>(color.alpha) / 255.0f;
    glow.colorRed = static_cast<float>(color.red) / 255.0f;
    glow.colorGreen = static_cast<float>(color.green) / 255.0f;
    glow.colorBlue = static_cast<float>(color.blue) / 255.0f;
    glow.blendMode = blend;
    glow.position = glowPosition;
    glow.range = glowRange;
    // The blur takes on the sequence's mode before it sets its radii (Gaussian mode triples
    // them), and hands a switch to Gaussian mode back to the sequence.
    if (state.glowGaussian.load(std::memory_order_acquire))
        glow.filter->mode = 1;
    applyGlow(glow, output, outputRect, *state.memoryHandler);
    if (glow.filter->mode != 0)
        state.glowGaussian.store(true, std::memory_order_release);
}
