#include "render/KeptResultsFrame.h"

#include "render/KeptBlend.h"
#include "render/KeptStore.h"

KeptResultsFrame::KeptResultsFrame(MapCache& maps, KeptStore& blends)
    : maps_(maps), blends_(blends) {}

KeptResultsFrame::~KeptResultsFrame() {
    // The blend first: it is named by the inputs the checked-out map holds.
    if (lending_)
        blends_.returnBlend(map_->inputs(), std::move(blend_));
    maps_.checkin(receipt_);
}

const LabelCell* KeptResultsFrame::map(const PropagationInputs& inputs, const ComputeMap& compute) {
    if (receipt_ != nullptr || !inputs.complete())
        return nullptr;
    const MapCache::Checkout c = maps_.checkout(inputs, compute);
    if (c.map == nullptr || !c.map->madeFrom(inputs)) {
        // Another map under the same key: it is not this frame's, and this frame's is not kept.
        maps_.checkin(c.receipt);
        return nullptr;
    }
    map_ = c.map;
    receipt_ = c.receipt;
    return map_->cells();
}

KeptBlend* KeptResultsFrame::blend(const PixelBuffer& output, bool& reused) {
    reused = false;
    if (map_ == nullptr || lending_)
        return nullptr;
    bool busy = false;
    blend_ = blends_.lendBlend(map_->inputs(), busy);
    if (busy)
        return nullptr; // another frame reuses it: this one blends plainly
    lending_ = true;
    if (blend_ != nullptr && blend_->sameOutput(output)) {
        reused = true;
        return blend_.get();
    }
    const int64_t needed = map_->bytes() + map_->inputs().rasterBytes() +
                           map_->inputs().intensityBytes() +
                           KeptBlend::bytesFor(output.width, output.height, output.bytesPerPixel);
    if (needed > blends_.budget())
        return nullptr;
    blend_ = KeptBlend::make(output, std::move(blend_));
    return blend_.get();
}
