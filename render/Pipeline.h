// One frame, end to end: masks gathered and linked, strokes drawn, labels spread, the input
// copied into the output, zones blended, the global effects run, the input's alpha restored.
#pragma once

#include "host/HostApi.h"
#include "image/PixelBuffer.h"

struct RenderState;
struct RenderContext;
struct LabelMap;

// Watches a frame being made (the command-line tool's views and timings). Every call happens
// on the render thread; what is passed is valid only during the call.
class PipelineObserver {
public:
    virtual ~PipelineObserver() = default;
    // Milliseconds spent in a stage: "masks", "strokes", "intensity", "propagation", "copy",
    // "blend", "effects", "alpha".
    virtual void stageTime(const char* stage, double ms) {
        (void)stage;
        (void)ms;
    }
    // The label raster once every mask is drawn (one byte per pixel, label or 0).
    virtual void strokes(const PixelBuffer& raster) { (void)raster; }
    // The label map once propagation is done.
    virtual void labels(const LabelMap& map) { (void)map; }
    // Whether that map is the sequence's kept one (inputs unchanged since it was made) rather
    // than a new propagation.
    virtual void labelsReused(bool reused) { (void)reused; }
    // Whether the blend started from the one kept with that map (only the zones whose settings
    // changed blended afresh) rather than blending every labelled pixel.
    virtual void blendReused(bool reused) { (void)reused; }
    // With a kept blend, which labels blend afresh: `changed` has 256 entries, not 0 at each
    // label (1..255) whose adjuster's settings changed since that blend (every one for a new
    // blend); entry 0, no label, means nothing.
    virtual void zonesReblended(const uint8_t* changed) { (void)changed; }
    // The output just before the input's alpha is restored: its alpha holds the blended
    // effects weight of every labelled pixel.
    virtual void weights(const PixelBuffer& output) { (void)output; }
};

// Renders into `output`. inputRect and outputRect are the areas (top, left, bottom, right)
// the effect passes and the alpha copy work on; origin is subtracted from mask coordinates.
// Input and output normally have one size; if they differ only their common area is worked
// on. Everything the frame changes is in `context`, which the frame has to itself; of the state
// it writes only the kept results and the glow's mode. Returns PF_Err_NONE,
// PF_Err_INTERNAL_STRUCT_DAMAGED without a render state, or PF_Err_OUT_OF_MEMORY for a frame beyond
// what label positions can address (65535 pixels a side); throws std::bad_alloc when memory runs
// out (every block is given back).
PF_Err runPipeline(RenderState* state, RenderContext& context, PF_InData* in_data,
                   PixelBuffer& input, PixelBuffer& output, const Rect& inputRect,
                   const Rect& outputRect, int32_t originX, int32_t originY);

// Installs an observer for the frames the calling thread renders (null removes it).
void setPipelineObserver(PipelineObserver* observer);
