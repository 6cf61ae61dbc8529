#include "render/Pipeline.h"

#include "color/ColorAdjuster.h"
#include "color/ZoneBlend.h"
#include "image/LabelMap.h"
#include "image/MemoryHandler.h"
#include "image/PixelTraits.h"
#include "render/EffectPasses.h"
#include "render/HostMapCache.h"
#include "render/KeptBlend.h"
#include "render/KeptResultsFrame.h"
#include "render/KeptStore.h"
#include "render/LabelPropagator.h"
#include "render/MaskGathering.h"
#include "render/ParamLayout.h"
#include "render/ParamReaders.h"
#include "render/RenderContext.h"
#include "render/RenderState.h"
#include "render/Strokes.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

namespace {

// Per thread: hosts that render on several threads at once each watch their own frames.
thread_local PipelineObserver* g_observer = nullptr;

class StageClock {
public:
    void lap(const char* stage) {
        const auto now = std::chrono::steady_clock::now();
        if (g_observer != nullptr) {
            g_observer->stageTime(stage,
                                  std::chrono::duration<double, std::milli>(now - last_).count());
        }
        last_ = now;
    }

private:
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

// A scale factor of the host's downsampling, in single precision as the host reports it; a
// zero denominator would make every coordinate infinite, so it counts as no downsampling.
float scaleOf(const PF_RationalScale& s) {
    if (s.den == 0)
        return 1.0f;
    return static_cast<float>(s.num) / static_cast<float>(s.den);
}

// Labels and draws every mask of `list` that can be seen (opacity not 0).
void drawLinked(const MaskList& list, uint16_t label, PixelBuffer& raster, double sx, double sy,
                int32_t ox, int32_t oy) {
    for (const MaskRef& m : list) {
        if (m->opacity == 0.0f)
            continue;
        m->label = label;
        drawMaskOutline(raster, *m, sx, sy, ox, oy);
    }
}

void copyPixels(const PixelBuffer& in, PixelBuffer& out) {
    if (in.row0 == out.row0 && in.rowStep == out.rowStep)
        return; // one image, nothing to copy
    if (in.row0 == nullptr || out.row0 == nullptr)
        return;
    const int32_t w = std::min(in.width, out.width);
    const int32_t h = std::min(in.height, out.height);
    if (in.width == out.width && in.height == out.height && in.rowStep == out.rowStep &&
        out.rowBytes == out.bytesPerPixel * out.width && in.bytesPerPixel == out.bytesPerPixel) {
        std::memcpy(out.data, in.data, static_cast<size_t>(out.rowBytes) * out.height);
        return;
    }
    const size_t bytes = static_cast<size_t>(w) * static_cast<size_t>(out.bytesPerPixel);
    for (int32_t y = 0; y < h; ++y)
        std::memcpy(out.row(y), in.row(y), bytes);
}

// The input rectangle's alpha goes back to the output at the same offset from the output
// rectangle's corner; only positions inside both buffers are touched. Output pixels that area
// does not reach (an extent or output origin that leaves part of the frame out) would keep the
// blended effects weight, which means nothing to the host as alpha: they take back the alpha
// the copy gave them, the input's at the same position.
void restoreAlpha(const PixelBuffer& in, PixelBuffer& out, const Rect& inRect,
                  const Rect& outRect) {
    if (in.row0 == nullptr || out.row0 == nullptr)
        return;
    const int32_t dy = outRect.top - inRect.top;
    const int32_t dx = outRect.left - inRect.left;
    const int32_t top = std::max<int32_t>({inRect.top, 0, -dy});
    const int32_t bottom = std::min<int32_t>({inRect.bottom, in.height, out.height - dy});
    const int32_t left = std::max<int32_t>({inRect.left, 0, -dx});
    const int32_t right = std::min<int32_t>({inRect.right, in.width, out.width - dx});
    if (in.bytesPerChannel != out.bytesPerChannel || in.channels != 4 || out.channels != 4)
        return;
    const int32_t h = std::min(in.height, out.height);
    const int32_t w = std::min(in.width, out.width);
    // Alpha values are copied as bits (an unsigned type of the channel's size), so no float
    // value, not even a signalling NaN, is ever read as a number.
    const auto copy = [&]<typename U>() {
#pragma omp parallel for schedule(static)
        for (int32_t y = top; y < bottom; ++y) {
            const U* src = in.rowAs<const U>(y);
            U* dst = out.rowAs<U>(y + dy);
            for (int32_t x = left; x < right; ++x)
                dst[4 * static_cast<ptrdiff_t>(x + dx)] = src[4 * static_cast<ptrdiff_t>(x)];
        }
        // Rows the restore reached need only the columns on either side of it (none when it
        // covered the whole width, the usual case).
        const int32_t skipFrom = std::clamp<int32_t>(left + dx, 0, w);
        const int32_t skipTo = std::clamp<int32_t>(right + dx, skipFrom, w);
#pragma omp parallel for schedule(static)
        for (int32_t y = 0; y < h; ++y) {
            const U* src = in.rowAs<const U>(y);
            U* dst = out.rowAs<U>(y);
            const bool rowRestored = y >= top + dy && y < bottom + dy;
            const auto copyColumns = [&](int32_t from, int32_t to) {
                for (int32_t x = from; x < to; ++x)
                    dst[4 * static_cast<ptrdiff_t>(x)] = src[4 * static_cast<ptrdiff_t>(x)];
            };
            if (rowRestored && left < right) {
                copyColumns(0, skipFrom);
                copyColumns(skipTo, w);
            } else {
                copyColumns(0, w);
            }
        }
    };
    switch (out.bytesPerChannel) {
    case 1:
        copy.template operator()<uint8_t>();
        break;
    case 2:
        copy.template operator()<uint16_t>();
        break;
    case 4:
        copy.template operator()<uint32_t>();
        break;
    default:
        break;
    }
}

// 4M items (40 MB): a busy 4K frame's peak.
constexpr std::size_t kKeptQueueItems = std::size_t{1} << 22;

// A block of count T from the memory handler, given back on every path unless handed on.
template <typename T> class HandlerBlock {
public:
    explicit HandlerBlock(fx::MemoryHandler& handler) : handler_(handler) {}
    ~HandlerBlock() { handler_.release(data_); }
    HandlerBlock(const HandlerBlock&) = delete;
    HandlerBlock& operator=(const HandlerBlock&) = delete;

    // Throws std::bad_alloc when the block cannot be had (also past the handler's 32-bit sizes).
    void allocate(int64_t count) {
        const int64_t bytes = count * static_cast<int64_t>(sizeof(T));
        if (count <= 0)
            return;
        if (bytes > std::numeric_limits<int32_t>::max() - 8)
            throw std::bad_alloc();
        data_ = static_cast<T*>(handler_.allocate(static_cast<int32_t>(bytes)));
    }
    // The same, but a block that cannot be had leaves this empty.
    void tryAllocate(int64_t count) {
        try {
            allocate(count);
        } catch (const std::bad_alloc&) {
            data_ = nullptr;
        }
    }
    T* get() const { return data_; }
    // Hands the block on: it is no longer given back here.
    T* handOn() {
        T* d = data_;
        data_ = nullptr;
        return d;
    }

private:
    fx::MemoryHandler& handler_;
    T* data_ = nullptr;
};

} // namespace

void setPipelineObserver(PipelineObserver* observer) {
    g_observer = observer;
}

PF_Err runPipeline(RenderState* state, RenderContext& context, PF_InData* in_data,
                   PixelBuffer& input, PixelBuffer& output, const Rect& inputRect,
                   const Rect& outputRect, int32_t originX, int32_t originY) {
    // A flattened sequence has no state to render with; the host must resetup it first.
    if (state == nullptr)
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    fx::MemoryHandler* handler = state->memoryHandler;
    if (handler == nullptr)
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    // Label positions travel as 16-bit values.
    constexpr int32_t kMaxSide = 65535;
    if (input.width > kMaxSide || input.height > kMaxSide || output.width > kMaxSide ||
        output.height > kMaxSide)
        return PF_Err_OUT_OF_MEMORY;

    StageClock clock;
    ParamReader params(in_data);
    const auto linkMode = static_cast<uint32_t>(params.popup(params::kLinkMasks) - 1);
    gatherMasks(*state, context, in_data);
    clock.lap("masks");

    PixelBuffer raster = makeRaster8(input.width, input.height, *handler);
    ScopedPixels rasterGuard(raster, handler);
    const double sx = scaleOf(in_data->downsample_x);
    const double sy = scaleOf(in_data->downsample_y);

    // Entry i belongs to label i + 1; label 1 (masks no group uses) changes nothing.
    std::vector<ColorAdjuster*> adjusters{nullptr};
    uint16_t nextLabel = 2;
    bool effectsNeeded = false;

    for (int k = 0; k < params::kAdjustGroups; ++k) {
        MaskSlot& slot = context.slots[static_cast<size_t>(k)];
        slot.pathId = params.path(params::adjustMask(k));
        if (slot.pathId == 0)
            continue;
        linkMasks(*state, context, slot.pathId, slot.linked, in_data, linkMode);
        if (slot.linked.empty())
            continue;
        drawLinked(slot.linked, nextLabel, raster, sx, sy, originX, originY);
        readAdjustGroup(in_data, k, *slot.adjuster);
        adjusters.push_back(slot.adjuster.get());
        if (slot.adjuster->settings().effects != 0.0f)
            effectsNeeded = true;
        ++nextLabel;
    }

    for (int j = 0; j < params::kColorizeSlots; ++j) {
        MaskSlot& slot = context.slots[static_cast<size_t>(params::colorizeSlotIndex(j))];
        slot.pathId = params.path(params::colorizeMask(j));
        if (slot.pathId == 0)
            continue;
        // A slot naming an adjust group's mask tints through that group's label.
        auto shared =
            std::find_if(context.slots.begin(), context.slots.begin() + params::kAdjustGroups,
                         [&](const MaskSlot& s) { return s.pathId == slot.pathId; });
        if (shared != context.slots.begin() + params::kAdjustGroups) {
            readColorizeSlot(in_data, j, *shared->adjuster);
            continue;
        }
        linkMasks(*state, context, slot.pathId, slot.linked, in_data, linkMode);
        if (slot.linked.empty())
            continue;
        drawLinked(slot.linked, nextLabel, raster, sx, sy, originX, originY);
        readColorizeSlot(in_data, j, *slot.adjuster);
        adjusters.push_back(slot.adjuster.get());
        ++nextLabel;
    }

    for (const MaskRef& m : context.all_masks) {
        if (m->label != 0 || m->opacity == 0.0f)
            continue;
        m->label = 1;
        drawMaskOutline(raster, *m, sx, sy, originX, originY);
    }
    if (g_observer != nullptr)
        g_observer->strokes(raster);
    clock.lap("strokes");

    // The propagation's inputs: the raster just drawn and the intensity of every cell. A map
    // made from byte-identical inputs, by an earlier frame or by another thread now, is reused
    // as it is; a map made here is kept for the frames to come. The host's compute cache keeps
    // maps when it offers one, else the library's store.
    LabelMap map;
    map.width = map.boundsWidth = output.width;
    map.height = map.boundsHeight = output.height;
    map.falloffExponent = 4.0;
    const int64_t cellCount = int64_t{map.width} * map.height;
    const std::unique_ptr<HostMapCache> hostMaps = HostMapCache::forFrame(in_data->pica_basicP);
    KeptStore& store = KeptStore::library();
    KeptResultsFrame keptResults(hostMaps != nullptr ? static_cast<MapCache&>(*hostMaps) : store,
                                 store);
    HandlerBlock<uint8_t> intensity(*handler);
    intensity.tryAllocate(cellCount); // without it the frame only forgoes reuse
    fillIntensityPlane(intensity.get(), map.width, map.height, input, input.bounds);
    const PropagationInputs inputs{map.width,     map.height,  raster.width,
                                   raster.height, raster.data, intensity.get()};
    LabelQueue& queue = context.propagationQueue;
    // Cells from the intensity plane (or, without one, from the input), then the seeds: the same
    // for a map made for keeping and for one made for this frame alone.
    const auto prepareCells = [&](LabelMap& m) {
        if (intensity.get() != nullptr) {
            initCellsFromPlane(m, intensity.get());
        } else {
            std::memset(static_cast<void*>(m.cells), 0,
                        static_cast<size_t>(cellCount) * sizeof(LabelCell));
            fillLabelIntensity(m, input, input.bounds);
        }
        seedLabels(m, raster, raster.bounds);
    };
    bool propagated = false;
    const LabelCell* kept = keptResults.map(inputs, [&](LabelCell* cells) {
        LabelMap made = map;
        made.cells = cells;
        prepareCells(made);
        propagateLabels(made, queue);
        propagated = true;
    });

    // "intensity" times the map's preparation (intensity, cells, seeds, or the comparison with
    // the kept inputs); "propagation" the spreading alone, next to nothing when reused. A map
    // made for keeping is timed as "intensity" whole.
    HandlerBlock<LabelCell> cells(*handler);
    if (kept != nullptr) {
        // Read only from here on (blend, effects, observers).
        map.cells = const_cast<LabelCell*>(kept);
    } else {
        cells.allocate(cellCount);
        map.cells = cells.get();
        if (map.cells != nullptr)
            prepareCells(map);
    }
    clock.lap("intensity");
    if (kept == nullptr && map.cells != nullptr) {
        propagateLabels(map, queue);
        propagated = true;
    }
    // A queue grown far beyond what frames usually need is not held on to.
    if (queue.capacity() > kKeptQueueItems)
        queue.release();
    if (g_observer != nullptr) {
        g_observer->labels(map);
        g_observer->labelsReused(!propagated);
    }
    clock.lap("propagation");

    copyPixels(input, output);
    clock.lap("copy");
    // The blend kept with the map serves every pixel whose zones' settings are unchanged, when
    // the pixels it was made from are these. Otherwise a new one is made alongside the blend,
    // for the frames to come, in the memory of one that no longer serves.
    bool blendReused = false;
    if (map.cells != nullptr) {
        KeptBlend* keptBlend = kept != nullptr ? keptResults.blend(output, blendReused) : nullptr;
        if (keptBlend != nullptr) {
            std::array<uint8_t, KeptBlend::kLabels> changed;
            const BlendReuse reuse = keptBlend->reuse(adjusters, changed);
            if (g_observer != nullptr)
                g_observer->zonesReblended(changed.data());
            blendZones(output, adjusters, map, 4.0f, &reuse);
            keptBlend->record(adjusters);
        } else {
            blendZones(output, adjusters, map, 4.0f);
        }
    }
    if (g_observer != nullptr)
        g_observer->blendReused(blendReused);
    clock.lap("blend");

    if (effectsNeeded)
        runEffectPasses(*state, context, in_data, output, outputRect, sx, sy);
    clock.lap("effects");

    if (g_observer != nullptr)
        g_observer->weights(output);
    restoreAlpha(input, output, inputRect, outputRect);
    clock.lap("alpha");

    return PF_Err_NONE;
}
