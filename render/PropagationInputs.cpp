#include "render/PropagationInputs.h"

#include <atomic>
#include <cstring>
#include <new>

namespace {

int64_t planeBytes(int32_t width, int32_t height) {
    return width > 0 && height > 0 ? int64_t{width} * height : 0;
}

std::atomic<PropagationHasher> g_hasherOverride{nullptr};

// Two independent 64-bit FNV-1a streams over the same bytes, seeded apart.
struct Hash128 {
    uint64_t a = 0xcbf29ce484222325ull;
    uint64_t b = 0x84222325cbf29ce4ull ^ 0x9e3779b97f4a7c15ull;
    void mix(const void* data, size_t n) {
        const auto* p = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < n; ++i) {
            a = (a ^ p[i]) * 0x100000001b3ull;
            b = (b ^ p[i]) * 0x100000001b3ull;
            b ^= b >> 29;
        }
    }
};

} // namespace

int64_t PropagationInputs::rasterBytes() const {
    return planeBytes(rasterWidth, rasterHeight);
}

int64_t PropagationInputs::intensityBytes() const {
    return planeBytes(mapWidth, mapHeight);
}

PropagationKey ownPropagationKey(const PropagationInputs& in) {
    Hash128 h;
    const int32_t head[5] = {static_cast<int32_t>(kPropagationAlgorithmVersion), in.mapWidth,
                             in.mapHeight, in.rasterWidth, in.rasterHeight};
    h.mix(head, sizeof head);
    if (in.raster != nullptr)
        h.mix(in.raster, static_cast<size_t>(in.rasterBytes()));
    if (in.intensity != nullptr)
        h.mix(in.intensity, static_cast<size_t>(in.intensityBytes()));
    PropagationKey k;
    k.words = {static_cast<uint32_t>(h.a), static_cast<uint32_t>(h.a >> 32),
               static_cast<uint32_t>(h.b), static_cast<uint32_t>(h.b >> 32)};
    return k;
}

void setPropagationHasherForTesting(PropagationHasher hasher) {
    g_hasherOverride.store(hasher);
}

PropagationHasher propagationHasherOverride() {
    return g_hasherOverride.load();
}

std::unique_ptr<InputsCopy> InputsCopy::make(const PropagationInputs& in) {
    if (!in.complete())
        return nullptr;
    std::unique_ptr<InputsCopy> c(new (std::nothrow) InputsCopy);
    if (c == nullptr)
        return nullptr;
    const auto raster = static_cast<size_t>(in.rasterBytes());
    const auto intensity = static_cast<size_t>(in.intensityBytes());
    c->raster_.reset(new (std::nothrow) uint8_t[raster == 0 ? 1 : raster]);
    c->intensity_.reset(new (std::nothrow) uint8_t[intensity == 0 ? 1 : intensity]);
    if (c->raster_ == nullptr || c->intensity_ == nullptr)
        return nullptr;
    std::memcpy(c->raster_.get(), in.raster, raster);
    std::memcpy(c->intensity_.get(), in.intensity, intensity);
    c->inputs_ = in;
    c->inputs_.raster = c->raster_.get();
    c->inputs_.intensity = c->intensity_.get();
    return c;
}

bool InputsCopy::equals(const PropagationInputs& in) const {
    const PropagationInputs& k = inputs_;
    if (!in.complete() || in.mapWidth != k.mapWidth || in.mapHeight != k.mapHeight ||
        in.rasterWidth != k.rasterWidth || in.rasterHeight != k.rasterHeight)
        return false;
    return std::memcmp(in.raster, k.raster, static_cast<size_t>(k.rasterBytes())) == 0 &&
           std::memcmp(in.intensity, k.intensity, static_cast<size_t>(k.intensityBytes())) == 0;
}
