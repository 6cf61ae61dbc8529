// The variable-radius blur written the plain way: one thread, pixels in order, every kernel
// built the moment the first pixel asks for it. It is the oracle the parallel filter must match
// byte for byte, and the baseline its benchmark is measured against.
#pragma once

#include "fx/VariableBlurFilter.h"
#include "image/PixelBuffer.h"
#include "image/PixelTraits.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace fxtest {

class SerialVariableBlur {
public:
    void setRadius(float x, float y) {
        if (x != radiusX) {
            radiusX = x;
            kernelsX.clear();
            kernelsX.resize(slots(x));
        }
        if (y != radiusY) {
            radiusY = y;
            kernelsY.clear();
            kernelsY.resize(slots(y));
        }
    }

    void apply(PixelBuffer& b, const Rect& bounds, const Rect& area) {
        const int32_t width = std::min(bounds.width(), b.width);
        const int32_t height = std::min(bounds.height(), b.height);
        if (b.row0 == nullptr || width <= 0 || height <= 0)
            return;
        if (b.channels != 1 && b.channels != 4)
            return;
        const Rect a{std::max(area.top, 0), std::max(area.left, 0), std::min(area.bottom, height),
                     std::min(area.right, width)};
        if (a.empty())
            return;
        const float rx = std::min(radiusX, static_cast<float>(width));
        const float ry = std::min(radiusY, static_cast<float>(height));
        fx::dispatchDepth(b.bytesPerChannel, [&]<typename T>() {
            if (rx > 0.0f) {
                const FixedKernel& kernel = ready(kernelsX, rx);
                for (int32_t y = 0; y < height; ++y) {
                    pass<T>(b, width, a.left, a.right, kernelsX, kernel, rx,
                            [&](int32_t p) { return reinterpret_cast<T*>(b.pixel(p, y)); });
                }
            }
            if (ry > 0.0f) {
                FixedKernelTable& table = radiusX != radiusY ? kernelsY : kernelsX;
                const FixedKernel& kernel = ready(table, ry);
                for (int32_t x = a.left; x < a.right; ++x) {
                    pass<T>(b, height, a.top, a.bottom, table, kernel, ry,
                            [&](int32_t p) { return reinterpret_cast<T*>(b.pixel(x, p)); });
                }
            }
        });
    }

    float radiusX = 0.0f;
    float radiusY = 0.0f;
    FixedKernelTable kernelsX;
    FixedKernelTable kernelsY;

private:
    static size_t slots(float r) {
        if (!(r > 0.0f))
            return 1;
        const float half = std::ceil(r * 0.5f);
        const size_t cap = (size_t{1} << 20) + 1;
        return half >= static_cast<float>(cap - 1) ? cap : static_cast<size_t>(half) + 1;
    }

    static float limited(float h, const FixedKernelTable& table) {
        const float last = static_cast<float>(table.size() - 1);
        return h <= last ? h : last;
    }

    static int32_t whole(float h) {
        const float t = std::trunc(h);
        return t >= 1.0f ? static_cast<int32_t>(t) : 1;
    }

    static const FixedKernel& ready(FixedKernelTable& table, float r) {
        const float h = limited(r * 0.5f, table);
        return VariableBlurFilter::kernelFor(table, whole(h), h);
    }

    template <typename T> static float alpha(T v) {
        if constexpr (fx::PixelTraits<T>::isFloat) {
            return v;
        } else {
            return static_cast<float>(v) / fx::PixelTraits<T>::full;
        }
    }

    // One line of n pixels (pixel p at px(p)); outputs for [first, end) from the line as it
    // was before the line was touched.
    // Line buffers reused from line to line (new storage is aligned for any channel type).
    std::vector<uint8_t> inBytes_;
    std::vector<uint8_t> outBytes_;

    template <typename T, typename Px>
    void pass(const PixelBuffer& b, int32_t n, int32_t first, int32_t end, FixedKernelTable& table,
              const FixedKernel& fixed, float r, Px px) {
        const int32_t K = b.channels;
        inBytes_.resize(static_cast<size_t>(n * K) * sizeof(T));
        outBytes_.resize(static_cast<size_t>((end - first) * K) * sizeof(T));
        T* in = reinterpret_cast<T*>(inBytes_.data());
        T* out = reinterpret_cast<T*>(outBytes_.data());
        for (int32_t p = 0; p < n; ++p)
            std::copy_n(px(p), K, in + p * K);
        for (int32_t x = first; x < end; ++x) {
            const T* src = in + x * K;
            T* dst = out + (x - first) * K;
            const FixedKernel* kernel = &fixed;
            if (K == 4) {
                const float a = alpha(src[0]);
                if (a == 0.0f || std::isnan(a)) {
                    std::copy_n(src, 4, dst);
                    continue;
                }
                const float h = limited(a * r * 0.5f, table);
                kernel = &VariableBlurFilter::kernelFor(table, whole(h), h);
            }
            if (kernel->sum == 0) {
                std::copy_n(src, K, dst);
                continue;
            }
            const int32_t q = kernel->half();
            for (int32_t c = 0; c < K; ++c) {
                if constexpr (fx::PixelTraits<T>::isFloat) {
                    float acc = 0.0f;
                    for (int32_t j = 0; j <= 2 * q; ++j) {
                        const int32_t i = std::clamp(x - q + j, 0, n - 1);
                        acc = acc + static_cast<float>(kernel->weights[static_cast<size_t>(j)]) *
                                        in[static_cast<size_t>(i * K + c)];
                    }
                    dst[c] = acc / static_cast<float>(kernel->sum);
                } else {
                    uint32_t acc = 0;
                    for (int32_t j = 0; j <= 2 * q; ++j) {
                        const int32_t i = std::clamp(x - q + j, 0, n - 1);
                        acc += kernel->weights[static_cast<size_t>(j)] *
                               static_cast<uint32_t>(in[static_cast<size_t>(i * K + c)]);
                    }
                    dst[c] = static_cast<T>(acc / kernel->sum);
                }
            }
        }
        for (int32_t x = first; x < end; ++x)
            std::copy_n(out + (x - first) * K, K, px(x));
    }
};

} // namespace fxtest
