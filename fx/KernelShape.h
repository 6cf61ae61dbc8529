// How both Gaussian blurs turn a half radius h (in pixels) into a whole half-width and the
// shape value their kernels are sampled from. Shared so the float kernel of the blur filter and
// the fixed-point kernels of the variable-radius blur agree on the rounding.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace fx {

// max(1, h truncated toward zero). Values too large for the type saturate instead of
// overflowing; callers limit h to their line length first.
inline int32_t kernelHalfWidth(float h) {
    const float t = std::trunc(h);
    if (!(t >= 1.0f))
        return 1; // also NaN
    if (t >= 2147483520.0f)
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(t);
}

// s = k + (ceil(h) - h): the Gaussian is sampled at distances shifted outward by the part of
// h that falls short of the next whole pixel. For a tiny h, 1 - h rounds up to 1 in single
// precision and s would reach k + 1, giving a kernel one tap wider on each side than the
// half-width the convolutions use (off-centre and not normalised). s is held just below k + 1
// so the kernel built from it always has exactly 2k + 1 weights.
inline float kernelShape(int32_t k, float h) {
    const float whole = static_cast<float>(k);
    float s = whole + (std::ceil(h) - h);
    if (!(s < whole + 1.0f))
        s = std::nextafter(whole + 1.0f, 0.0f);
    return s;
}

// The constants the kernels are built with, in single precision.
inline constexpr float kKernelPi = 3.1415927f;
inline constexpr float kKernelTwoPi = 6.2831855f;

} // namespace fx
