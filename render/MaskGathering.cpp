#include "render/MaskGathering.h"

#include "render/RenderContext.h"
#include "render/RenderState.h"

#include <algorithm>
#include <cstring>

namespace {

// Scoped host objects of one mask: each is given back however the reading ends.
class MaskHandle {
public:
    explicit MaskHandle(const AEGP_MaskSuite4* s) : suite_(s) {}
    ~MaskHandle() {
        if (h != nullptr)
            suite_->AEGP_DisposeMask(h);
    }
    MaskHandle(const MaskHandle&) = delete;
    MaskHandle& operator=(const MaskHandle&) = delete;
    AEGP_MaskRefH h = nullptr;

private:
    const AEGP_MaskSuite4* suite_;
};

class Stream {
public:
    explicit Stream(const AEGP_StreamSuite2* s) : suite_(s) {}
    ~Stream() {
        if (h != nullptr)
            suite_->AEGP_DisposeStream(h);
    }
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
    AEGP_StreamRefH h = nullptr;

private:
    const AEGP_StreamSuite2* suite_;
};

class StreamValue {
public:
    explicit StreamValue(const AEGP_StreamSuite2* s) : suite_(s) { std::memset(&v, 0, sizeof v); }
    ~StreamValue() {
        if (held)
            suite_->AEGP_DisposeStreamValue(&v);
    }
    StreamValue(const StreamValue&) = delete;
    StreamValue& operator=(const StreamValue&) = delete;
    AEGP_StreamValue v;
    bool held = false;

private:
    const AEGP_StreamSuite2* suite_;
};

// A one-dimensional mask stream's value before expressions; 0 when the host cannot give it.
float maskStreamValue(const AEGP_StreamSuite2* streams, AEGP_PluginID id, AEGP_MaskRefH mask,
                      AEGP_MaskStream which, const A_Time& time) {
    Stream stream(streams);
    if (streams->AEGP_GetNewMaskStream(id, mask, which, &stream.h) != A_Err_NONE ||
        stream.h == nullptr)
        return 0.0f;
    StreamValue value(streams);
    if (streams->AEGP_GetNewStreamValue(id, stream.h, AEGP_LTimeMode_LayerTime, &time, 1,
                                        &value.v) != A_Err_NONE)
        return 0.0f;
    value.held = true;
    return static_cast<float>(value.v.val.one_d);
}

// Reads mask `index`; returns false when a checked host call failed (gathering then stops).
bool readMask(const RenderState& state, MaskList& all, AEGP_LayerH layer, A_long index,
              const A_Time& time) {
    const AEGP_MaskSuite4* masks = state.layerMaskSuite.get();
    const AEGP_StreamSuite2* streams = state.streamSuite.get();
    const AEGP_MaskOutlineSuite1* outlines = state.maskOutlineSuite.get();
    const AEGP_PluginID id = state.pluginId;

    MaskHandle mask(masks);
    if (masks->AEGP_GetLayerMaskByIndex(layer, index, &mask.h) != A_Err_NONE || !mask.h)
        return false;

    // Unchecked queries: a failure leaves the neutral value.
    PF_MaskMode mode = 0;
    masks->AEGP_GetMaskMode(mask.h, &mode);
    AEGP_ColorVal color{0, 0, 0, 0};
    masks->AEGP_GetMaskColor(mask.h, &color);
    char name[AEGP_MAX_MASK_NAME_SIZE] = {};
    masks->AEGP_GetMaskName(mask.h, name);
    name[sizeof name - 1] = '\0'; // a name that fills the buffer stays terminated

    const float opacity = maskStreamValue(streams, id, mask.h, AEGP_MaskStream_OPACITY, time);
    const float expansion = maskStreamValue(streams, id, mask.h, AEGP_MaskStream_EXPANSION, time);

    Stream outlineStream(streams);
    if (streams->AEGP_GetNewMaskStream(id, mask.h, AEGP_MaskStream_OUTLINE, &outlineStream.h) !=
            A_Err_NONE ||
        !outlineStream.h)
        return false;
    StreamValue outline(streams);
    if (streams->AEGP_GetNewStreamValue(id, outlineStream.h, AEGP_LTimeMode_LayerTime, &time, 0,
                                        &outline.v) != A_Err_NONE)
        return false;
    outline.held = true;

    A_long segments = 0;
    if (outlines->AEGP_GetMaskOutlineNumSegments(outline.v.val.mask, &segments) != A_Err_NONE)
        return false;

    // A closed outline answers index `segments` with its first point again, which closes the
    // path; an open one has exactly segments + 1 points. A vertex that can't be read is a
    // checked failure like the others: an outline cut short would draw a different stroke, so
    // no mask is made of it and gathering stops.
    std::vector<MaskVertex> vertices;
    if (segments >= 0)
        vertices.reserve(std::min<size_t>(static_cast<size_t>(segments) + 1, 4096));
    for (A_long i = 0; i <= segments; ++i) {
        AEGP_MaskVertex v{};
        if (outlines->AEGP_GetMaskOutlineVertexInfo(outline.v.val.mask, i, &v) != A_Err_NONE)
            return false;
        vertices.push_back(MaskVertex{v.x, v.y, v.tan_in_x, v.tan_in_y, v.tan_out_x, v.tan_out_y});
    }

    auto* m = new Mask;
    MaskRef ref(m); // owned from here on, also if the append below throws
    m->name = name;
    m->vertices = std::move(vertices);
    m->opacity = opacity;
    m->expansion = expansion;
    m->color_alpha = static_cast<float>(color.alphaF);
    m->color_red = static_cast<float>(color.redF);
    m->color_green = static_cast<float>(color.greenF);
    m->color_blue = static_cast<float>(color.blueF);
    m->mode = mode;
    m->label = 0;
    all.push_back(std::move(ref));
    return true;
}

} // namespace

void gatherMasks(const RenderState& state, RenderContext& context, PF_InData* in_data) {
    context.all_masks.clear();
    PF_ProgPtr ref = in_data->effect_ref;

    // The effect's paths are checked out and in again at the frame's time, unchanged; this
    // keeps the host's view of the mask selectors current. Every checkout is checked in,
    // whatever it answered: the host decides what a failed one needs.
    const PF_PathQuerySuite1* paths = state.pathQuerySuite.get();
    A_long numPaths = 0;
    if (paths->PF_NumPaths(ref, &numPaths) == PF_Err_NONE) {
        for (A_long i = 0; i < numPaths; ++i) {
            PF_PathID id = 0;
            paths->PF_PathInfo(ref, i, &id);
            PF_PathOutlinePtr outline = nullptr;
            paths->PF_CheckoutPath(ref, id, in_data->current_time, in_data->time_step,
                                   in_data->time_scale, &outline);
            paths->PF_CheckinPath(ref, id, 0, outline);
        }
    }

    const A_Time time{in_data->current_time, in_data->time_scale};
    AEGP_LayerH layer = nullptr;
    if (state.pfInterfaceSuite->AEGP_GetEffectLayer(ref, &layer) != A_Err_NONE)
        return;

    A_long count = 0;
    state.layerMaskSuite->AEGP_GetLayerNumMasks(layer, &count);
    for (A_long i = 0; i < count; ++i) {
        if (!readMask(state, context.all_masks, layer, i, time))
            break;
    }
}

void linkMasks(const RenderState& state, const RenderContext& context, PF_PathID pathId,
               MaskList& out, PF_InData* in_data, uint32_t mode) {
    out.clear();
    if (pathId == 0)
        return;
    char name[PF_MAX_PATH_NAME_LEN + 1] = {};
    if (state.pathDataSuite->PF_PathGetName(in_data->effect_ref, pathId, name) != PF_Err_NONE)
        return;
    name[PF_MAX_PATH_NAME_LEN] = '\0';
    const std::string chosen = name;

    for (const MaskRef& a : context.all_masks) {
        if (a->name != chosen)
            continue;
        for (const MaskRef& b : context.all_masks) {
            bool linked = false;
            if (mode == kLinkByColor) {
                linked = b->color_red == a->color_red && b->color_green == a->color_green &&
                         b->color_blue == a->color_blue && b->color_alpha == a->color_alpha;
            } else if (mode == kLinkByName) {
                linked = b->name.size() >= a->name.size() &&
                         std::memcmp(b->name.data(), a->name.data(), a->name.size()) == 0;
            }
            if (linked)
                out.push_back(b);
        }
    }
}
