#include "effect/RenderEntry.h"

#include "render/Pipeline.h"
#include "render/RenderState.h"

#include <algorithm>
#include <cstdint>

namespace {

// Wraps a host world without copying. No memory handler is given: a world the host hands over
// is never replaced by a block of ours.
PixelBuffer wrapWorld(const PF_LayerDef& world, int32_t bytesPerChannel) {
    return wrapPixels(world.data, world.rowbytes, world.width, world.height, bytesPerChannel,
                      nullptr);
}

int32_t plainDepth(const PF_LayerDef& world) {
    return (world.world_flags & PF_WorldFlag_DEEP) ? 2 : 1;
}

// Pixels are read and written as channel values, so every row must start on a channel
// boundary. Hosts always hand out such worlds; one that doesn't is refused rather than
// accessed through misaligned pointers.
bool channelAligned(const PF_LayerDef& world, int32_t bytesPerChannel) {
    const auto address = reinterpret_cast<uintptr_t>(world.data);
    return address % static_cast<uintptr_t>(bytesPerChannel) == 0 &&
           world.rowbytes % bytesPerChannel == 0;
}

// Releases the two wrapped buffers, output first, on every way out. They were wrapped without a
// handler and own no block, so they are released without one: the process-wide handler, which
// other threads' sequence commands make and destroy, is not read here.
struct WrappedPair {
    PixelBuffer input;
    PixelBuffer output;
    ~WrappedPair() {
        releasePixels(output, nullptr);
        releasePixels(input, nullptr);
    }
};

} // namespace

void unionRect(const PF_LRect& src, PF_LRect& dst) {
    const bool dstEmpty = dst.left >= dst.right || dst.top >= dst.bottom;
    const bool srcEmpty = src.left >= src.right || src.top >= src.bottom;
    if (dstEmpty) {
        dst = src;
    } else if (!srcEmpty) {
        if (src.left < dst.left)
            dst.left = src.left;
        if (src.top < dst.top)
            dst.top = src.top;
        if (src.right > dst.right)
            dst.right = src.right;
        if (src.bottom > dst.bottom)
            dst.bottom = src.bottom;
    }
}

void smartRenderRects(int32_t ox, int32_t oy, const PixelBuffer& input, const PixelBuffer& output,
                      Rect& inputRect, Rect& outputRect) {
    const int64_t W = output.width;
    const int64_t H = output.height;
    // Output position = input position + (oy, ox) for the rows and columns.
    const int64_t dy = 2 * int64_t{oy};
    const int64_t dx = 2 * int64_t{ox};
    int64_t top = std::max<int64_t>({-int64_t{oy}, 0, -dy});
    int64_t left = std::max<int64_t>({-int64_t{ox}, 0, -dx});
    int64_t bottom = std::min<int64_t>({H - oy, input.height, H - dy});
    int64_t right = std::min<int64_t>({W - ox, input.width, W - dx});
    if (bottom <= top || right <= left) {
        // Nothing of the two areas overlaps both worlds.
        inputRect = outputRect = Rect{0, 0, 0, 0};
        return;
    }
    inputRect = Rect{static_cast<int32_t>(top), static_cast<int32_t>(left),
                     static_cast<int32_t>(bottom), static_cast<int32_t>(right)};
    outputRect = Rect{static_cast<int32_t>(top + dy), static_cast<int32_t>(left + dx),
                      static_cast<int32_t>(bottom + dy), static_cast<int32_t>(right + dx)};
}

PF_Err renderCommand(RenderState* state, PF_InData* in_data, PF_ParamDef* params[],
                     PF_LayerDef* output) {
    if (params == nullptr || params[0] == nullptr || output == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    const PF_LayerDef& inWorld = params[0]->u.ld;
    // The pipeline copies and blends pixel for pixel at one depth: worlds of two depths would
    // be read past the input's rows or left holding the effects weight in the output's alpha.
    if (plainDepth(inWorld) != plainDepth(*output))
        return PF_Err_BAD_CALLBACK_PARAM;
    if (!channelAligned(inWorld, plainDepth(inWorld)) ||
        !channelAligned(*output, plainDepth(*output)))
        return PF_Err_BAD_CALLBACK_PARAM;
    WrappedPair w{wrapWorld(inWorld, plainDepth(inWorld)), wrapWorld(*output, plainDepth(*output))};
    const PF_Rect& e = in_data->extent_hint;
    const Rect area{e.top, e.left, e.bottom, e.right};
    if (state == nullptr)
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    ContextLease context = state->contexts.lease();
    return runPipeline(state, *context, in_data, w.input, w.output, area, area, 0, 0);
}

PF_Err smartPreRender(PF_InData* in_data, PF_PreRenderExtra* extra) {
    PF_RenderRequest request = extra->input->output_request;
    request.preserve_rgb_of_zero_alpha = 1;
    // Cleared first, so a failed checkout merges nothing but empty rectangles.
    PF_CheckoutResult result{};
    const PF_Err err =
        extra->cb->checkout_layer(in_data->effect_ref, 0, 0, &request, in_data->current_time,
                                  in_data->time_step, in_data->time_scale, &result);
    unionRect(result.result_rect, extra->output->result_rect);
    unionRect(result.max_result_rect, extra->output->max_result_rect);
    return err;
}

PF_Err smartRender(RenderState* state, PF_InData* in_data, PF_SmartRenderExtra* extra) {
    PF_EffectWorld* inWorld = nullptr;
    PF_EffectWorld* outWorld = nullptr;
    const PF_Err inErr = extra->cb->checkout_layer_pixels(in_data->effect_ref, 0, &inWorld);
    const PF_Err err = extra->cb->checkout_output(in_data->effect_ref, &outWorld);
    if (outWorld == nullptr)
        return err;
    // Without an input there is nothing to make the frame from; saying so beats handing the
    // host an output that was never written.
    if (inWorld == nullptr)
        return inErr != PF_Err_NONE ? inErr : static_cast<PF_Err>(PF_Err_BAD_CALLBACK_PARAM);
    const int32_t c = extra->input->bitdepth / 8;
    if (c != 1 && c != 2 && c != 4)
        return PF_Err_BAD_CALLBACK_PARAM;
    if (!channelAligned(*inWorld, c) || !channelAligned(*outWorld, c))
        return PF_Err_BAD_CALLBACK_PARAM;

    WrappedPair w{wrapWorld(*inWorld, c), wrapWorld(*outWorld, c)};
    Rect inputRect;
    Rect outputRect;
    smartRenderRects(in_data->output_origin_x, in_data->output_origin_y, w.input, w.output,
                     inputRect, outputRect);
    if (state == nullptr)
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    ContextLease context = state->contexts.lease();
    return runPipeline(state, *context, in_data, w.input, w.output, inputRect, outputRect,
                       inWorld->origin_x, inWorld->origin_y);
}
