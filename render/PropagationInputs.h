// The inputs of one label propagation, the 128-bit key derived from them, and the deep copy a
// kept map holds of them. The map is a pure function of these inputs (the stroke raster, the
// intensity of every cell, the sizes), so two frames with byte-identical inputs (a colour-only
// change on a still frame, or two frames of a held plate) may share one map. A key only finds a
// candidate: a kept map is used only when its copy equals the inputs byte for byte, so a hash
// collision can never change a frame.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

// 1 GiB: what kept maps and blends of the whole library may hold. A frame keeps 16 bytes a
// pixel for its map and 44 (8-bit), 52 (16-bit) or 68 (float) for its blend: 124 MB for a
// 1080p 8-bit frame, 498 MB at 4K.
constexpr int64_t kKeptBudgetBytes = int64_t{1} << 30;

// Both planes are packed rows: the raster rasterWidth x rasterHeight bytes (labels, 0 = none),
// the intensity mapWidth x mapHeight bytes.
struct PropagationInputs {
    int32_t mapWidth = 0;
    int32_t mapHeight = 0;
    int32_t rasterWidth = 0;
    int32_t rasterHeight = 0;
    const uint8_t* raster = nullptr;
    const uint8_t* intensity = nullptr;

    int64_t rasterBytes() const;
    int64_t intensityBytes() const;
    // Whether both planes are there to be read.
    bool complete() const { return raster != nullptr && intensity != nullptr; }
};

struct PropagationKey {
    std::array<uint32_t, 4> words{};
    bool operator==(const PropagationKey&) const = default;
};

// Derives a key from every byte the propagation reads (sizes, planes, an algorithm version).
using PropagationHasher = PropagationKey (*)(const PropagationInputs&);
// The library's own 128-bit hash.
PropagationKey ownPropagationKey(const PropagationInputs& inputs);
// Tests inject a weak hasher (one that returns a constant) to prove collisions harmless; null
// restores the normal one. The override wins over the host's hash suite too.
void setPropagationHasherForTesting(PropagationHasher hasher);
PropagationHasher propagationHasherOverride();

// Changes whenever the propagation would make other cells from the same inputs: a kept map
// from an older library must never be taken for this one's.
constexpr uint32_t kPropagationAlgorithmVersion = 1;

// A deep copy of the inputs, on the heap: kept values outlive any sequence and any host
// allocator (the host may delete them at any time, also after the last sequence is gone).
class InputsCopy {
public:
    // Null when memory cannot be had.
    static std::unique_ptr<InputsCopy> make(const PropagationInputs& inputs);
    // Sizes and both planes, byte for byte.
    bool equals(const PropagationInputs& inputs) const;
    const PropagationInputs& inputs() const { return inputs_; }
    int64_t bytes() const { return inputs_.rasterBytes() + inputs_.intensityBytes(); }

private:
    InputsCopy() = default;
    PropagationInputs inputs_;
    std::unique_ptr<uint8_t[]> raster_;
    std::unique_ptr<uint8_t[]> intensity_;
};
