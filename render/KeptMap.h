// A label map kept for reuse, with a deep copy of the inputs it was made from. It owns all its
// memory (plain heap, never the host's handles): a cache may delete it on any thread, at any
// time, also after every sequence and the host-backed memory handler are gone.
#pragma once

#include "image/LabelMap.h"
#include "render/PropagationInputs.h"

#include <cstdint>
#include <memory>

class KeptMap {
public:
    // Room for the map of `inputs`, its cells not yet made. Null when memory cannot be had.
    static std::unique_ptr<KeptMap> make(const PropagationInputs& inputs);
    // Bytes kept for the map of such inputs: both planes and 16 bytes a cell.
    static int64_t bytesFor(const PropagationInputs& inputs);

    bool madeFrom(const PropagationInputs& inputs) const { return inputs_->equals(inputs); }
    const PropagationInputs& inputs() const { return inputs_->inputs(); }
    LabelCell* cells() { return cells_.get(); }
    const LabelCell* cells() const { return cells_.get(); }
    int64_t bytes() const { return bytesFor(inputs()); }

private:
    KeptMap() = default;
    std::unique_ptr<InputsCopy> inputs_;
    std::unique_ptr<LabelCell[]> cells_;
};
