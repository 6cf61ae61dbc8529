// Where kept label maps live while frames share them: the library's own store, or the host's
// compute cache when the host offers one. Frames use it only through KeptResultsFrame, which
// checks every receipt in on every path.
#pragma once

#include "render/KeptMap.h"

#include <functional>

// Fills the cells of a map made from the inputs being checked out; throws when it cannot.
using ComputeMap = std::function<void(LabelCell* cells)>;

class MapCache {
public:
    struct Checkout {
        // The cached map for the inputs' key, or null when nothing could be cached (the frame
        // then propagates for itself). Valid until the receipt is checked in. Its inputs may
        // differ from those asked for (a hash collision): the caller compares them.
        const KeptMap* map = nullptr;
        // Given to checkin() exactly once when not null.
        void* receipt = nullptr;
    };

    virtual ~MapCache() = default;
    // The map for `inputs`: made by `compute` on this thread when nobody has it, waited for when
    // another thread is making it. Exceptions of `compute` reach the caller, nothing checked out.
    virtual Checkout checkout(const PropagationInputs& inputs, const ComputeMap& compute) = 0;
    virtual void checkin(void* receipt) noexcept = 0;
};
