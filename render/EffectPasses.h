// The frame-wide passes that follow the zone blend when an adjust group asks for effects:
// the global blur, the fill light and the diffusion/glow, each scaled per pixel by the
// effects weight the blend left in the output's alpha.
#pragma once

#include "host/HostApi.h"
#include "image/PixelBuffer.h"

struct RenderState;
struct RenderContext;

// Reads the "Blur", "Fill Light" and "Diffusion/Glow" groups at the frame's time and runs the
// three passes on `output` (the blur over the whole output, the others over `outputRect`).
// scaleX/scaleY are the host's downsampling factors; blur radii follow the layer's full
// height (in_data->height) scaled by them. The passes' objects are the context's; the glow's
// blur mode is the sequence's (state.glowGaussian). Throws std::bad_alloc when memory runs out.
void runEffectPasses(const RenderState& state, RenderContext& context, PF_InData* in_data,
                     PixelBuffer& output, const Rect& outputRect, double scaleX, double scaleY);
