// One frame's hold on the kept results: the label map it reuses or makes (checked out of the
// host's compute cache or the library's store) and the zone blend lent to it. Both stay valid
// while this lives; its destruction checks the map's receipt in and gives the blend back, on
// every path, exceptions included. Lookups and keeps are its operations, so nothing kept can be
// read outside a frame's hold.
#pragma once

#include "render/KeptMap.h"
#include "render/MapCache.h"

#include <memory>

class KeptBlend;
class KeptStore;
struct PixelBuffer;

class KeptResultsFrame {
public:
    // Maps come from `maps`, blends from `blends` (the library's store, also when the host
    // keeps the maps).
    KeptResultsFrame(MapCache& maps, KeptStore& blends);
    ~KeptResultsFrame();
    KeptResultsFrame(const KeptResultsFrame&) = delete;
    KeptResultsFrame& operator=(const KeptResultsFrame&) = delete;

    // The cells of the map made from `inputs`, kept for other frames: found kept, waited for
    // while another thread makes them, or made now by `compute` on this thread. Null when they
    // cannot be kept (no memory or room, or a kept map under the same key made from other
    // inputs): the frame then propagates for itself. Call once a frame.
    const LabelCell* map(const PropagationInputs& inputs, const ComputeMap& compute);

    // The blend over this frame's map for `output` (its pixels before blending): the kept one
    // when it was made from these pixels (`reused`), else one to make now, in the memory of the
    // kept one when there is one, when the map and it fit `budget`. Null when there is no kept
    // map, another frame holds the blend, or memory cannot be had. Call after map().
    KeptBlend* blend(const PixelBuffer& output, bool& reused);

private:
    MapCache& maps_;
    KeptStore& blends_;
    const KeptMap* map_ = nullptr;
    void* receipt_ = nullptr;
    bool lending_ = false;
    std::unique_ptr<KeptBlend> blend_;
};
