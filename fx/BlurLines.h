// The line kernels of the blur filter: a fractional-radius box filter kept as a running sum and
// a sampled Gaussian with clamp-to-edge ends. They work on one line of samples in single
// precision; a sample is a float (one channel) or a vector of float lanes filtered
// independently with the same weights (the four channels of a pixel, or the pixels of several
// lines interleaved), so every lane gets exactly the arithmetic a lone float would.
#pragma once

#include "fx/KernelShape.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace fx {

// One pixel of a four-channel line: alpha, red, green, blue.
using Lanes4 = float __attribute__((vector_size(16)));
// Sixteen lanes: four pixels of four different lines, or sixteen one-channel lines.
using Lanes16 = float __attribute__((vector_size(64)));

// Window of the box filter for a per-pass radius r > 0 on a line of n >= 3 samples: offsets
// -(taps - 1) .. taps - 1 weigh 1, offsets -taps and +taps weigh `a` (the fractional part of r).
// 2 * taps + 1 never exceeds n.
struct BoxRadius {
    int32_t taps = 1; // R
    float a = 0.0f;
};
BoxRadius boxRadius(float r, int32_t n);

// The sampled Gaussian for a pass radius r (in pixels): 2 * half + 1 weights with
// half = max(1, r / 2 truncated), sampled at distances shifted outward by s - half, where
// sigma = s / pi. `sum` is the sum of the weights as accumulated while building.
struct GaussianKernel {
    explicit GaussianKernel(float passRadius);
    int32_t half() const { return static_cast<int32_t>(weights.size() / 2); }

    std::vector<float> weights;
    float sum = 0.0f;
    float s = 0.0f;
};

// Box filter of src[0..n) into dst (no aliasing), window from boxRadius: near the ends the taps
// outside the line are left out together with their weights. Needs n >= 2R + 1 and R >= 1.
// The sum runs from sample to sample, so the cost per sample does not depend on R.
template <typename V> void boxLine(const V* src, int32_t n, V* dst, int32_t R, float a) {
    const float b = 1.0f - a;
    V sum = src[0];
    for (int32_t i = 1; i < R; ++i)
        sum = sum + src[i];
    sum = sum + a * src[R];
    dst[0] = sum / (static_cast<float>(R) + a);
    // Leading end: the window's left part is still outside the line.
    for (int32_t x = 1; x < R; ++x) {
        sum = sum + b * src[x + R - 1];
        sum = sum + a * src[x + R];
        dst[x] = sum / (static_cast<float>(x + R) + a);
    }
    const float W = static_cast<float>(2 * R - 1) + 2.0f * a;
    sum = sum + b * src[2 * R - 1];
    sum = sum + a * src[2 * R];
    sum = sum - b * src[0];
    dst[R] = sum / W;
    // Interior: one reciprocal for the whole run. The second term is exactly what the rounded
    // reciprocal misses at W, so a line of full values (1.0) stays exactly 1.0 and an 8-bit 255
    // survives the truncating store.
    const float k = 1.0f / W;
    const float c = 1.0f - k * W;
    for (int32_t x = R + 1; x < n - R; ++x) {
        sum = sum + b * src[x + R - 1];
        sum = sum + a * src[x + R];
        sum = sum - a * src[x - R - 1];
        sum = sum - b * src[x - R];
        dst[x] = sum * k + c;
    }
    // Trailing end: only the first step still takes a sample in.
    for (int32_t x = n - R; x < n; ++x) {
        if (x + R - 1 < n)
            sum = sum + b * src[x + R - 1];
        sum = sum - a * src[x - R - 1];
        sum = sum - b * src[x - R];
        dst[x] = sum / (static_cast<float>(n - x + R - 1) + a);
    }
}

namespace detail {

// Writes through a pointer: wide vectors returned by value would change the calling convention.
template <typename V>
inline void gaussianAtClamped(const V* src, int32_t n, int32_t x, const GaussianKernel& kernel,
                              V* out) {
    const int32_t half = kernel.half();
    const float* w = kernel.weights.data();
    const int32_t taps = 2 * half + 1;
    V acc = w[0] * src[std::clamp(x - half, 0, n - 1)];
    for (int32_t j = 1; j < taps; ++j)
        acc = acc + w[j] * src[std::clamp(x - half + j, 0, n - 1)];
    *out = acc / kernel.sum;
}

} // namespace detail

// dst[x] = (sum over j of weight[j] * src[clamp(x - half + j, 0, n - 1)]) / kernel.sum for
// x = 0 .. n - 1, accumulated in tap order; samples beyond an end repeat the end sample.
// src and dst must not overlap.
template <typename V>
void gaussianLine(const V* src, int32_t n, V* dst, const GaussianKernel& kernel) {
    const int32_t half = kernel.half();
    const int32_t taps = 2 * half + 1;
    const float* w = kernel.weights.data();
    // Outputs whose taps all lie inside the line need no clamping; the rest take the slow road.
    const int32_t innerBegin = std::min(half, n);
    const int32_t innerEnd = std::max(innerBegin, n - half);
    for (int32_t x = 0; x < innerBegin; ++x)
        detail::gaussianAtClamped(src, n, x, kernel, dst + x);
    // Several outputs at once: each keeps its own accumulator (same order of additions), and
    // the independent chains keep the adders busy instead of waiting on one long dependency.
    constexpr int32_t kBlock = sizeof(V) >= 64 ? 2 : 4;
    int32_t x = innerBegin;
    for (; x + kBlock <= innerEnd; x += kBlock) {
        const V* s = src + (x - half);
        V acc[kBlock];
        for (int32_t i = 0; i < kBlock; ++i)
            acc[i] = w[0] * s[i];
        for (int32_t j = 1; j < taps; ++j) {
            const float wj = w[j];
            for (int32_t i = 0; i < kBlock; ++i)
                acc[i] = acc[i] + wj * s[i + j];
        }
        for (int32_t i = 0; i < kBlock; ++i)
            dst[x + i] = acc[i] / kernel.sum;
    }
    for (; x < innerEnd; ++x) {
        const V* s = src + (x - half);
        V acc = w[0] * s[0];
        for (int32_t j = 1; j < taps; ++j)
            acc = acc + w[j] * s[j];
        dst[x] = acc / kernel.sum;
    }
    for (x = innerEnd; x < n; ++x)
        detail::gaussianAtClamped(src, n, x, kernel, dst + x);
}

} // namespace fx
