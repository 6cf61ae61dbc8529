#include "fx/VariableBlurFilter.h"

#include "fx/KernelShape.h"
#include "image/PixelTraits.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <stdexcept>

FixedKernel::FixedKernel(float shape) : s(shape) {
    const int32_t half = fx::kernelHalfWidth(shape);
    weights.assign(static_cast<size_t>(2 * half + 1), 0u);
    const float sigma = s / fx::kKernelPi;
    const float g = 1.0f / (std::sqrt(fx::kKernelTwoPi) * sigma);
    const float twoSigma2 = 2.0f * (sigma * sigma);
    auto weightAt = [&](float d) {
        return static_cast<uint32_t>(g * std::exp(-(d * d) / twoSigma2) * 65535.0f + 0.5f);
    };
    sum = 0;
    for (int32_t j = 0; j < half; ++j) {
        const uint32_t w = weightAt(s - static_cast<float>(j));
        weights[static_cast<size_t>(j)] = w;
        weights[static_cast<size_t>(2 * half - j)] = w;
        sum += 2 * w;
    }
    const uint32_t w = weightAt(s - static_cast<float>(half));
    weights[static_cast<size_t>(half)] = w;
    sum += w;
}

namespace {

constexpr size_t kMaxSlots = (size_t{1} << 20) + 1;
constexpr int64_t kNoClaim = std::numeric_limits<int64_t>::max();

// ceil(radius / 2) + 1 slots. A radius that is not positive (or NaN) never runs a pass, so one
// slot will do; the cap keeps an absurd radius from asking for an absurd table (half-widths
// beyond it fall back to the last slot).
size_t slotsFor(float radius) {
    if (!(radius > 0.0f))
        return 1;
    const float half = std::ceil(radius * 0.5f);
    if (half >= static_cast<float>(kMaxSlots - 1))
        return kMaxSlots;
    return static_cast<size_t>(half) + 1;
}

void resetTable(FixedKernelTable& table, float radius) {
    table.clear();
    table.resize(slotsFor(radius));
}

float lastSlot(const FixedKernelTable& table) {
    return static_cast<float>(table.size() - 1);
}

template <typename T> inline float alphaValue(T v) {
    if constexpr (fx::PixelTraits<T>::isFloat) {
        return v;
    } else {
        return static_cast<float>(v) / fx::PixelTraits<T>::full;
    }
}

// k = 0 means the pixel keeps its value.
struct PixelHalf {
    int32_t k;
    float h;
};

// The half radius of a pixel of a four-channel line. Only alpha 0 keeps the pixel: a negative
// float alpha gives a negative half radius, which asks for slot 1 and shapes its kernel like
// any other. NaN has no radius at all and keeps the pixel too. Alpha above 1 (float, or
// out-of-range 16-bit values) would ask for a slot past the end of the table: it is held at
// the last one.
template <typename T> inline PixelHalf pixelHalf(T alpha, float r, float last) {
    const float a = alphaValue(alpha);
    if (a == 0.0f || std::isnan(a))
        return PixelHalf{0, 0.0f};
    float h = a * r * 0.5f;
    if (!(h <= last))
        h = last;
    return PixelHalf{fx::kernelHalfWidth(h), h};
}

// The kernel for a whole pass's radius, built before the pass runs.
const FixedKernel& makeReady(FixedKernelTable& table, float radius) {
    float h = radius * 0.5f;
    if (!(h <= lastSlot(table)))
        h = lastSlot(table);
    return VariableBlurFilter::kernelFor(table, fx::kernelHalfWidth(h), h);
}

// One output pixel of K channels at line position x; taps beyond the ends repeat the end
// pixel. Integer depths sum exactly in 32 bits (16-bit values up to 32768 stay below 2^32)
// and divide with truncation; float sums in tap order.
template <typename T, int32_t K>
inline void convolve(const T* line, int32_t n, int32_t x, const FixedKernel& kernel, T* out) {
    const int32_t q = kernel.half();
    const int32_t taps = 2 * q + 1;
    const uint32_t* w = kernel.weights.data();
    if (kernel.sum == 0) {
        // Only a kernel far wider than any real image rounds every weight to 0; keep the pixel
        // rather than divide by zero.
        std::copy(line + x * K, line + x * K + K, out);
        return;
    }
    const bool inside = x - q >= 0 && x + q < n;
    const T* first = line + (x - q) * K;
    if constexpr (fx::PixelTraits<T>::isFloat) {
        float acc[K] = {};
        if (inside) {
            for (int32_t j = 0; j < taps; ++j) {
                const float wj = static_cast<float>(w[j]);
                for (int32_t c = 0; c < K; ++c)
                    acc[c] = acc[c] + wj * first[j * K + c];
            }
        } else {
            for (int32_t j = 0; j < taps; ++j) {
                const float wj = static_cast<float>(w[j]);
                const T* px = line + std::clamp<int32_t>(x - q + j, 0, n - 1) * K;
                for (int32_t c = 0; c < K; ++c)
                    acc[c] = acc[c] + wj * px[c];
            }
        }
        const float sum = static_cast<float>(kernel.sum);
        for (int32_t c = 0; c < K; ++c)
            out[c] = acc[c] / sum;
    } else {
        uint32_t acc[K] = {};
        if (inside) {
            for (int32_t j = 0; j < taps; ++j) {
                for (int32_t c = 0; c < K; ++c)
                    acc[c] += w[j] * static_cast<uint32_t>(first[j * K + c]);
            }
        } else {
            for (int32_t j = 0; j < taps; ++j) {
                const T* px = line + std::clamp<int32_t>(x - q + j, 0, n - 1) * K;
                for (int32_t c = 0; c < K; ++c)
                    acc[c] += w[j] * static_cast<uint32_t>(px[c]);
            }
        }
        for (int32_t c = 0; c < K; ++c)
            out[c] = static_cast<T>(acc[c] / kernel.sum);
    }
}

// A pass's lines (rows, or the area's columns), each n pixels long in full, of which the
// positions [first, end) are rewritten. Pixel p of line l starts at
// base + l * lineStride + p * posStride.
struct Lines {
    uint8_t* base = nullptr;
    ptrdiff_t lineStride = 0;
    ptrdiff_t posStride = 0;
    int32_t count = 0;
    int32_t n = 0;
    int32_t first = 0;
    int32_t end = 0;
    bool contiguous = false; // pixels of a line are packed (rows): no copy needed to read them

    template <typename T> T* at(int32_t l, int32_t p) const {
        return reinterpret_cast<T*>(base + l * lineStride + p * posStride);
    }
};

Lines rowsOf(const PixelBuffer& b, int32_t width, int32_t height, const Rect& area) {
    Lines L;
    L.base = b.row(0);
    L.lineStride = b.rowStep;
    L.posStride = b.bytesPerPixel;
    L.count = height;
    L.n = width;
    L.first = area.left;
    L.end = area.right;
    L.contiguous = true;
    return L;
}

Lines columnsOf(const PixelBuffer& b, int32_t height, const Rect& area) {
    Lines L;
    L.base = b.row(0) + static_cast<ptrdiff_t>(area.left) * b.bytesPerPixel;
    L.lineStride = b.bytesPerPixel;
    L.posStride = b.rowStep;
    L.count = area.width();
    L.n = height;
    L.first = area.top;
    L.end = area.bottom;
    L.contiguous = false;
    return L;
}

// Every line of the pass: read in full (in place for rows, through a copy for columns),
// outputs for [first, end) collected in the thread's scratch and written back. `kernelOf`
// (line pixel) gives the kernel for an output pixel, or null to keep the pixel.
template <typename T, int32_t K, typename KernelOf>
void runLines(const Lines& L, KernelOf kernelOf, uint8_t* scratch, size_t regionBytes,
              int32_t threads) {
    const int32_t width = L.end - L.first;
#pragma omp parallel for schedule(static) num_threads(threads)
    for (int32_t l = 0; l < L.count; ++l) {
        T* region =
            reinterpret_cast<T*>(scratch + regionBytes * static_cast<size_t>(omp_get_thread_num()));
        const T* in = region;
        T* out = region;
        if (L.contiguous) {
            in = L.at<const T>(l, 0);
        } else {
            for (int32_t p = 0; p < L.n; ++p)
                std::copy_n(L.at<const T>(l, p), K, region + p * K);
            out = region + static_cast<ptrdiff_t>(L.n) * K;
        }
        for (int32_t p = L.first; p < L.end; ++p) {
            T* o = out + (p - L.first) * K;
            const FixedKernel* kernel = kernelOf(in + p * K);
            if (kernel == nullptr) {
                std::copy_n(in + p * K, K, o);
            } else {
                convolve<T, K>(in, L.n, p, *kernel, o);
            }
        }
        if (L.contiguous) {
            std::copy_n(out, width * K, L.at<T>(l, L.first));
        } else {
            for (int32_t p = L.first; p < L.end; ++p) {
                std::copy_n(out + (p - L.first) * K, K, L.at<T>(l, p));
            }
        }
    }
}

// Kernels are made on demand and the first pixel to ask for an empty slot decides its shape,
// which would tie the per-pixel passes to one thread. Instead the threads first find, for every
// empty slot, the earliest pixel in the pass's own order (line by line, position by position)
// that asks for it; those kernels are built, and the convolution itself then only reads the
// table. The outcome is exactly that of the one-thread walk.
template <typename T>
void claimSlots(const Lines& L, float r, FixedKernelTable& table,
                std::vector<VariableBlurFilter::Claim>& claims, int32_t threads) {
    const bool anyEmpty =
        std::any_of(table.begin() + 1, table.end(), [](const auto& k) { return !k; });
    if (!anyEmpty)
        return;
    const size_t slots = table.size();
    const float last = lastSlot(table);
    claims.assign(slots * static_cast<size_t>(threads), VariableBlurFilter::Claim{kNoClaim, 0.0f});
#pragma omp parallel for schedule(static) num_threads(threads)
    for (int32_t l = 0; l < L.count; ++l) {
        VariableBlurFilter::Claim* mine =
            claims.data() + slots * static_cast<size_t>(omp_get_thread_num());
        for (int32_t p = L.first; p < L.end; ++p) {
            const PixelHalf ph = pixelHalf(L.at<const T>(l, p)[0], r, last);
            if (ph.k == 0 || table[static_cast<size_t>(ph.k)])
                continue;
            const int64_t order = static_cast<int64_t>(l) * L.n + p;
            VariableBlurFilter::Claim& c = mine[ph.k];
            if (order < c.order)
                c = VariableBlurFilter::Claim{order, ph.h};
        }
    }
    for (size_t k = 1; k < slots; ++k) {
        const VariableBlurFilter::Claim* best = nullptr;
        for (int32_t t = 0; t < threads; ++t) {
            const VariableBlurFilter::Claim& c = claims[slots * static_cast<size_t>(t) + k];
            if (c.order != kNoClaim && (best == nullptr || c.order < best->order))
                best = &c;
        }
        if (best != nullptr)
            VariableBlurFilter::kernelFor(table, static_cast<int32_t>(k), best->h);
    }
}

template <typename T>
void pixelRadiusPass(const Lines& L, float r, FixedKernelTable& table,
                     std::vector<VariableBlurFilter::Claim>& claims, uint8_t* scratch,
                     size_t regionBytes, int32_t threads) {
    claimSlots<T>(L, r, table, claims, threads);
    const float last = lastSlot(table);
    const FixedKernelTable& ready = table;
    auto kernelOf = [&ready, r, last](const T* px) -> const FixedKernel* {
        const PixelHalf ph = pixelHalf(px[0], r, last);
        return ph.k == 0 ? nullptr : ready[static_cast<size_t>(ph.k)].get();
    };
    runLines<T, 4>(L, kernelOf, scratch, regionBytes, threads);
}

template <typename T>
void fixedRadiusPass(const Lines& L, const FixedKernel& kernel, uint8_t* scratch,
                     size_t regionBytes, int32_t threads) {
    auto kernelOf = [&kernel](const T*) -> const FixedKernel* { return &kernel; };
    runLines<T, 1>(L, kernelOf, scratch, regionBytes, threads);
}

} // namespace

const FixedKernel& VariableBlurFilter::kernelFor(FixedKernelTable& table, int32_t k, float h) {
    if (k < 0 || static_cast<size_t>(k) >= table.size()) {
        throw std::out_of_range("kernel half-width outside the table");
    }
    std::unique_ptr<FixedKernel>& slot = table[static_cast<size_t>(k)];
    if (!slot)
        slot = std::make_unique<FixedKernel>(fx::kernelShape(k, h));
    return *slot;
}

void VariableBlurFilter::setRadius(float x, float y) {
    // NaN never equals itself, so a NaN radius always resets; harmless, it blurs nothing.
    if (x != radiusX_) {
        radiusX_ = x;
        resetTable(kernelsX_, x);
    }
    if (y != radiusY_) {
        radiusY_ = y;
        resetTable(kernelsY_, y);
    }
}

void VariableBlurFilter::apply(PixelBuffer& buffer, const Rect& bounds, const Rect& area) {
    // Rows and columns are read over the bounds' extent; never beyond the buffer.
    const int32_t width = std::min(bounds.width(), buffer.width);
    const int32_t height = std::min(bounds.height(), buffer.height);
    if (buffer.row0 == nullptr || width <= 0 || height <= 0)
        return;
    if (buffer.channels != 1 && buffer.channels != 4)
        return;
    const int32_t bpp = buffer.bytesPerPixel;
    const Rect a{std::max<int32_t>(area.top, 0), std::max<int32_t>(area.left, 0),
                 std::min(area.bottom, height), std::min(area.right, width)};
    if (a.empty())
        return;
    // A radius that is not positive (or NaN) blurs nothing along its axis.
    const float rx = std::min(radiusX_, static_cast<float>(width));
    const float ry = std::min(radiusY_, static_cast<float>(height));
    const int32_t threads = std::max(omp_get_max_threads(), 1);
    const bool perPixel = buffer.channels == 4;

    fx::dispatchDepth(buffer.bytesPerChannel, [&]<typename T>() {
        if (rx > 0.0f) {
            // Each thread collects one row's outputs.
            const size_t region = static_cast<size_t>(width) * static_cast<size_t>(bpp);
            scratch_.resize(region * static_cast<size_t>(threads));
            auto* raw = reinterpret_cast<uint8_t*>(scratch_.data());
            const FixedKernel& kernel = makeReady(kernelsX_, rx);
            const Lines rows = rowsOf(buffer, width, height, a);
            if (perPixel) {
                pixelRadiusPass<T>(rows, rx, kernelsX_, claims_, raw, region, threads);
            } else {
                fixedRadiusPass<T>(rows, kernel, raw, region, threads);
            }
        }
        if (ry > 0.0f) {
            // Each thread copies one whole column and collects its outputs behind it.
            const size_t region = 2 * static_cast<size_t>(height) * static_cast<size_t>(bpp);
            scratch_.resize(region * static_cast<size_t>(threads));
            auto* raw = reinterpret_cast<uint8_t*>(scratch_.data());
            FixedKernelTable& table = radiusX_ != radiusY_ ? kernelsY_ : kernelsX_;
            const FixedKernel& kernel = makeReady(table, ry);
            const Lines columns = columnsOf(buffer, height, a);
            if (perPixel) {
                pixelRadiusPass<T>(columns, ry, table, claims_, raw, region, threads);
            } else {
                fixedRadiusPass<T>(columns, kernel, raw, region, threads);
            }
        }
    });
}
