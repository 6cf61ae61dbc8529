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

namespace detail {

// Wide samples are worked on as four native 4-lane units each: the compiler keeps those in
// registers, where a 16-lane vector would be split up and spilled. Lanes stay independent, so
// every lane still gets exactly the arithmetic of a lone float.
using Unit4 = float __attribute__((vector_size(16), __may_alias__));

template <typename V> struct LineUnits {
    using Unit = V;
    static constexpr int32_t count = 1;
};
template <> struct LineUnits<Lanes16> {
    using Unit = Unit4;
    static constexpr int32_t count = 4;
};

template <typename U> inline U splat(float v) {
    if constexpr (sizeof(U) == sizeof(float)) {
        return v;
    } else {
        return U{v, v, v, v};
    }
}

// Sample p of a line is units [p * Q, p * Q + Q).
template <typename U, int32_t Q>
void boxLineUnits(const U* src, int32_t n, U* dst, int32_t R, float a) {
    const U av = splat<U>(a);
    const U bv = splat<U>(1.0f - a);
    U sum[Q];
    for (int32_t q = 0; q < Q; ++q) {
        sum[q] = src[q];
    }
    for (int32_t i = 1; i < R; ++i) {
        for (int32_t q = 0; q < Q; ++q) {
            sum[q] = sum[q] + src[i * Q + q];
        }
    }
    for (int32_t q = 0; q < Q; ++q) {
        sum[q] = sum[q] + av * src[R * Q + q];
        dst[q] = sum[q] / (static_cast<float>(R) + a);
    }
    // Leading end: the window's left part is still outside the line.
    for (int32_t x = 1; x < R; ++x) {
        const float d = static_cast<float>(x + R) + a;
        for (int32_t q = 0; q < Q; ++q) {
            sum[q] = sum[q] + bv * src[(x + R - 1) * Q + q];
            sum[q] = sum[q] + av * src[(x + R) * Q + q];
            dst[x * Q + q] = sum[q] / d;
        }
    }
    const float W = static_cast<float>(2 * R - 1) + 2.0f * a;
    for (int32_t q = 0; q < Q; ++q) {
        sum[q] = sum[q] + bv * src[(2 * R - 1) * Q + q];
        sum[q] = sum[q] + av * src[2 * R * Q + q];
        sum[q] = sum[q] - bv * src[q];
        dst[R * Q + q] = sum[q] / W;
    }
    // Interior: one reciprocal for the whole run. The second term is exactly what the rounded
    // reciprocal misses at W, so a line of full values (1.0) stays exactly 1.0 and an 8-bit 255
    // survives the truncating store.
    const float k = 1.0f / W;
    const U kv = splat<U>(k);
    const U cv = splat<U>(1.0f - k * W);
    for (int32_t x = R + 1; x < n - R; ++x) {
        for (int32_t q = 0; q < Q; ++q) {
            sum[q] = sum[q] + bv * src[(x + R - 1) * Q + q];
            sum[q] = sum[q] + av * src[(x + R) * Q + q];
            sum[q] = sum[q] - av * src[(x - R - 1) * Q + q];
            sum[q] = sum[q] - bv * src[(x - R) * Q + q];
            dst[x * Q + q] = sum[q] * kv + cv;
        }
    }
    // Trailing end: only the first step still takes a sample in.
    for (int32_t x = n - R; x < n; ++x) {
        const float d = static_cast<float>(n - x + R - 1) + a;
        for (int32_t q = 0; q < Q; ++q) {
            if (x + R - 1 < n) {
                sum[q] = sum[q] + bv * src[(x + R - 1) * Q + q];
            }
            sum[q] = sum[q] - av * src[(x - R - 1) * Q + q];
            sum[q] = sum[q] - bv * src[(x - R) * Q + q];
            dst[x * Q + q] = sum[q] / d;
        }
    }
}

template <typename U, int32_t Q>
void boxLineWholeUnits(const U* src, int32_t n, U* dst, int32_t R) {
    U sum[Q];
    for (int32_t q = 0; q < Q; ++q) {
        sum[q] = src[q];
    }
    for (int32_t i = 1; i < R; ++i) {
        for (int32_t q = 0; q < Q; ++q) {
            sum[q] = sum[q] + src[i * Q + q];
        }
    }
    for (int32_t q = 0; q < Q; ++q) {
        dst[q] = sum[q] / static_cast<float>(R);
    }
    for (int32_t x = 1; x < R; ++x) {
        const float d = static_cast<float>(x + R);
        for (int32_t q = 0; q < Q; ++q) {
            sum[q] = sum[q] + src[(x + R - 1) * Q + q];
            dst[x * Q + q] = sum[q] / d;
        }
    }
    const float W = static_cast<float>(2 * R - 1);
    for (int32_t q = 0; q < Q; ++q) {
        sum[q] = sum[q] + src[(2 * R - 1) * Q + q];
        sum[q] = sum[q] - src[q];
        dst[R * Q + q] = sum[q] / W;
    }
    const float k = 1.0f / W;
    const U kv = splat<U>(k);
    const U cv = splat<U>(1.0f - k * W);
    for (int32_t x = R + 1; x < n - R; ++x) {
        for (int32_t q = 0; q < Q; ++q) {
            sum[q] = sum[q] + src[(x + R - 1) * Q + q];
            sum[q] = sum[q] - src[(x - R) * Q + q];
            dst[x * Q + q] = sum[q] * kv + cv;
        }
    }
    for (int32_t x = n - R; x < n; ++x) {
        const float d = static_cast<float>(n - x + R - 1);
        for (int32_t q = 0; q < Q; ++q) {
            if (x + R - 1 < n) {
                sum[q] = sum[q] + src[(x + R - 1) * Q + q];
            }
            sum[q] = sum[q] - src[(x - R) * Q + q];
            dst[x * Q + q] = sum[q] / d;
        }
    }
}

template <typename U, int32_t Q>
inline void gaussianClampedUnits(const U* src, int32_t n, int32_t x, const GaussianKernel& kernel,
                                 U* dst) {
    const int32_t half = kernel.half();
    const int32_t taps = 2 * half + 1;
    const float* w = kernel.weights.data();
    const U* first = src + std::clamp<int32_t>(x - half, 0, n - 1) * Q;
    U acc[Q];
    for (int32_t q = 0; q < Q; ++q) {
        acc[q] = splat<U>(w[0]) * first[q];
    }
    for (int32_t j = 1; j < taps; ++j) {
        const U wj = splat<U>(w[j]);
        const U* s = src + std::clamp<int32_t>(x - half + j, 0, n - 1) * Q;
        for (int32_t q = 0; q < Q; ++q) {
            acc[q] = acc[q] + wj * s[q];
        }
    }
    for (int32_t q = 0; q < Q; ++q) {
        dst[x * Q + q] = acc[q] / kernel.sum;
    }
}

template <typename U, int32_t Q>
void gaussianLineUnits(const U* src, int32_t n, U* dst, const GaussianKernel& kernel) {
    const int32_t half = kernel.half();
    const int32_t taps = 2 * half + 1;
    const float* w = kernel.weights.data();
    // Outputs whose taps all lie inside the line need no clamping; the rest take the slow road.
    const int32_t innerBegin = std::min(half, n);
    const int32_t innerEnd = std::max(innerBegin, n - half);
    for (int32_t x = 0; x < innerBegin; ++x) {
        gaussianClampedUnits<U, Q>(src, n, x, kernel, dst);
    }
    // Several outputs at once, each with its own accumulators (same order of additions): the
    // independent chains keep the adders busy instead of waiting on one long dependency.
    constexpr int32_t kOutputs = Q >= 4 ? 2 : 8;
    int32_t x = innerBegin;
    for (; x + kOutputs <= innerEnd; x += kOutputs) {
        const U* s = src + (x - half) * Q;
        U acc[kOutputs * Q];
        const U w0 = splat<U>(w[0]);
        for (int32_t i = 0; i < kOutputs * Q; ++i) {
            acc[i] = w0 * s[i];
        }
        for (int32_t j = 1; j < taps; ++j) {
            const U wj = splat<U>(w[j]);
            const U* sj = s + j * Q;
            for (int32_t i = 0; i < kOutputs * Q; ++i) {
                acc[i] = acc[i] + wj * sj[i];
            }
        }
        for (int32_t i = 0; i < kOutputs * Q; ++i) {
            dst[x * Q + i] = acc[i] / kernel.sum;
        }
    }
    for (; x < innerEnd; ++x) {
        gaussianClampedUnits<U, Q>(src, n, x, kernel, dst);
    }
    for (x = innerEnd; x < n; ++x) {
        gaussianClampedUnits<U, Q>(src, n, x, kernel, dst);
    }
}

template <typename V> using UnitOf = typename LineUnits<V>::Unit;

} // namespace detail

// Box filter of src[0..n) into dst (no aliasing), window from boxRadius: near the ends the taps
// outside the line are left out together with their weights. Needs n >= 2R + 1 and R >= 1.
// The sum runs from sample to sample, so the cost per sample does not depend on R: moving to x
// adds (1 - a) src[x + R - 1] + a src[x + R] and removes a src[x - R - 1] + (1 - a) src[x - R].
template <typename V> void boxLine(const V* src, int32_t n, V* dst, int32_t R, float a) {
    using U = detail::UnitOf<V>;
    detail::boxLineUnits<U, detail::LineUnits<V>::count>(reinterpret_cast<const U*>(src), n,
                                                         reinterpret_cast<U*>(dst), R, a);
}

// boxLine for a whole radius (a = 0), with the terms of weight 0 left out. For finite samples
// every output equals boxLine's (== compares equal; only the sign of a zero may differ, and a
// zero stays a zero through later passes and the store), at about half the work per sample.
template <typename V> void boxLineWhole(const V* src, int32_t n, V* dst, int32_t R) {
    using U = detail::UnitOf<V>;
    detail::boxLineWholeUnits<U, detail::LineUnits<V>::count>(reinterpret_cast<const U*>(src), n,
                                                              reinterpret_cast<U*>(dst), R);
}

// dst[x] = (sum over j of weight[j] * src[clamp(x - half + j, 0, n - 1)]) / kernel.sum for
// x = 0 .. n - 1, accumulated in tap order; samples beyond an end repeat the end sample.
// src and dst must not overlap.
template <typename V>
void gaussianLine(const V* src, int32_t n, V* dst, const GaussianKernel& kernel) {
    using U = detail::UnitOf<V>;
    detail::gaussianLineUnits<U, detail::LineUnits<V>::count>(reinterpret_cast<const U*>(src), n,
                                                              reinterpret_cast<U*>(dst), kernel);
}

} // namespace fx
