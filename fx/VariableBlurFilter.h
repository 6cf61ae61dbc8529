// Separable Gaussian blur with fixed-point kernels, in place: rows first, then columns. On a
// one-channel buffer every pixel gets the filter's radius; on a four-channel buffer (alpha,
// red, green, blue in every depth) each pixel gets the radius scaled by its own alpha, and
// pixels with alpha 0 keep their value. Kernels are built on demand, one per whole half-width,
// and kept until the radius changes. The render state owns one filter per sequence.
#pragma once

#include "image/PixelBuffer.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// A Gaussian with sigma = s / pi sampled at whole-pixel distances shifted outward by
// s - floor(s), each weight scaled by 65535 and rounded half up. Results are divided by the
// actual `sum`, which need not be 65535.
struct FixedKernel {
    // s >= 1; the kernel has 2 * floor(s) + 1 weights.
    explicit FixedKernel(float s);
    int32_t half() const { return static_cast<int32_t>(weights.size() / 2); }

    std::vector<uint32_t> weights;
    uint32_t sum = 0;
    float s = 0.0f;
};

// Indexed by whole half-width k; an empty slot is null.
using FixedKernelTable = std::vector<std::unique_ptr<FixedKernel>>;

class VariableBlurFilter {
public:
    // Radii in pixels along rows (x) and columns (y). An axis whose value changes drops its
    // kernels and gets ceil(value / 2) + 1 empty slots (one slot for a radius that is not
    // positive, which blurs nothing; the table is capped at 2^20 + 1 slots).
    void setRadius(float x, float y);

    // Blurs in place. `bounds` is the whole image (top and left 0): rows and columns are read
    // in full, and line ends repeat beyond the edges. `area` (inside bounds) is the part whose
    // columns are blurred: the horizontal pass rewrites the area's columns in every row of
    // bounds (they are the vertical pass's input), the vertical pass rewrites the area itself.
    // 8/16-bit sums are exact unsigned integers; float sums are single precision and results
    // are stored unclamped. Four-channel alpha (the first channel; 16-bit full is 32768) scales
    // the radius; alpha 0, negative or NaN leaves the pixel as it is, and alpha above 1 never
    // asks for more than the table's last slot. Channel counts other than 1 and 4, and bytes
    // per channel other than 1, 2 and 4, are left alone.
    // Throws std::bad_alloc when the scratch, a table or a kernel cannot be had.
    void apply(PixelBuffer& buffer, const Rect& bounds, const Rect& area);

    // The kernel for half-width k, built from s = k + (ceil(h) - h) if slot k is still empty.
    // The first request decides a slot's kernel until setRadius resets the table. Throws
    // std::out_of_range when k is not a slot of the table.
    static const FixedKernel& kernelFor(FixedKernelTable& table, int32_t k, float h);

    float radiusX() const { return radiusX_; }
    float radiusY() const { return radiusY_; }
    const FixedKernelTable& kernelsX() const { return kernelsX_; }
    const FixedKernelTable& kernelsY() const { return kernelsY_; }

    // The first pixel, in a pass's own order, that asks for an empty slot: its position in
    // that order and its half radius. Working storage of the passes.
    struct Claim {
        int64_t order;
        float h;
    };

private:
    float radiusX_ = 0.0f;
    float radiusY_ = 0.0f;
    FixedKernelTable kernelsX_;
    FixedKernelTable kernelsY_;
    // Raw storage for the line buffers of every thread; kept from call to call.
    std::vector<std::byte> scratch_;
    std::vector<Claim> claims_; // per thread and slot, reused by the per-pixel passes
};
