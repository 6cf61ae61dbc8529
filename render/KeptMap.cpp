#include "render/KeptMap.h"

#include <new>

std::unique_ptr<KeptMap> KeptMap::make(const PropagationInputs& inputs) {
    std::unique_ptr<KeptMap> m(new (std::nothrow) KeptMap);
    if (m == nullptr)
        return nullptr;
    m->inputs_ = InputsCopy::make(inputs);
    if (m->inputs_ == nullptr)
        return nullptr;
    const auto cells = static_cast<size_t>(inputs.intensityBytes());
    m->cells_.reset(new (std::nothrow) LabelCell[cells == 0 ? 1 : cells]);
    if (m->cells_ == nullptr)
        return nullptr;
    return m;
}

int64_t KeptMap::bytesFor(const PropagationInputs& inputs) {
    return inputs.rasterBytes() + inputs.intensityBytes() +
           inputs.intensityBytes() * static_cast<int64_t>(sizeof(LabelCell));
}
