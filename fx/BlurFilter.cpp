#include "fx/BlurFilter.h"

#include "fx/BlurLines.h"
#include "fx/LaneConversion.h"
#include "image/PixelTraits.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>

namespace fx {

BoxRadius boxRadius(float r, int32_t n) {
    // Work with the float ceil/floor and saturate before converting: a radius far beyond the
    // line ends up limited by the line length anyway.
    const float up = std::ceil(r);
    int32_t R = up >= static_cast<float>(n) ? n : static_cast<int32_t>(up);
    float a = up - r;
    if (a > 0.0f)
        a = 1.0f - a;
    R = std::min(R, n / 2 - 1);
    const float down = std::floor(r);
    const int32_t whole = down >= static_cast<float>(n) ? n : static_cast<int32_t>(down);
    if (whole == R)
        R = R + 1;
    R = std::max<int32_t>(R, 1);
    R = std::min(R, (n - 1) / 2);
    return BoxRadius{R, a};
}

GaussianKernel::GaussianKernel(float passRadius) {
    const float h = passRadius * 0.5f;
    const int32_t k = kernelHalfWidth(h);
    s = kernelShape(k, h);
    const int32_t half = static_cast<int32_t>(std::floor(s));
    weights.assign(static_cast<size_t>(2 * half + 1), 0.0f);
    const float sigma = s / kKernelPi;
    const float g = 1.0f / (std::sqrt(kKernelTwoPi) * sigma);
    const float twoSigma2 = 2.0f * (sigma * sigma);
    sum = 0.0f;
    for (int32_t j = 0; j < half; ++j) {
        const float d = s - static_cast<float>(j);
        const float w = g * std::exp(-(d * d) / twoSigma2);
        weights[static_cast<size_t>(j)] = w;
        weights[static_cast<size_t>(2 * half - j)] = w;
        sum = sum + 2.0f * w;
    }
    const float d = s - static_cast<float>(half);
    const float w = g * std::exp(-(d * d) / twoSigma2);
    weights[static_cast<size_t>(half)] = w;
    sum = sum + w;
}

bool BlurFilter::DefaultCallbacks::progress(int32_t, int32_t) {
    return false;
}

BlurFilter::DefaultCallbacks& BlurFilter::DefaultCallbacks::shared() {
    static DefaultCallbacks instance;
    return instance;
}

bool BlurProgressHandler::progress(int32_t, int32_t) {
    return false;
}

BlurFilter::BlurFilter() : callbacks(&DefaultCallbacks::shared()) {}

void BlurFilter::setRadius(float x, float y) {
    if (mode == 1) {
        x *= 3.0f;
        y *= 3.0f;
    }
    radiusX = x;
    radiusY = y;
}

namespace {

// Lines are filtered in groups that fill one 16-lane sample: four pixels of four lines, or
// sixteen one-channel lines. Every lane sees exactly the arithmetic of a lone line, and the
// independent lanes hide the latency of the running sums; for the vertical pass the group's
// pixels are neighbours in memory.
using Pack = Lanes16;
constexpr int32_t kPackLanes = 16;
constexpr size_t kScratchAlign = alignof(Pack);

struct ScratchDeleter {
    void operator()(Pack* p) const { ::operator delete (p, std::align_val_t{kScratchAlign}); }
};
using Scratch = std::unique_ptr<Pack, ScratchDeleter>;

// Two line buffers of `linePacks` samples per thread; null when the block cannot be had.
Scratch allocateScratch(int32_t longestLine, int32_t threads, size_t& linePacks) {
    linePacks = static_cast<size_t>(std::max<int32_t>(longestLine, 1));
    const size_t packs = 2 * linePacks * static_cast<size_t>(std::max<int32_t>(threads, 1));
    if (packs > std::numeric_limits<size_t>::max() / sizeof(Pack))
        return Scratch();
    const size_t bytes = packs * sizeof(Pack);
    void* p = ::operator new (bytes, std::align_val_t{kScratchAlign}, std::nothrow);
    if (p == nullptr)
        return Scratch();
    // Not cleared: every sample a pass reads was loaded first (missing lines of a group as
    // zeros).
    return Scratch(static_cast<Pack*>(p));
}

// One pass: `lineCount` lines of `n` pixels. Pixel p of line l starts at
// base + l * lineStride + p * pixelStride.
struct PassLayout {
    uint8_t* base = nullptr;
    ptrdiff_t lineStride = 0;
    ptrdiff_t pixelStride = 0;
    int32_t lineCount = 0;
    int32_t n = 0;
    int32_t firstIndex = 0; // absolute row or column number of line 0
};

// Channels [first, last) of each pixel are read and written.
struct ChannelRange {
    int32_t first = 0;
    int32_t last = 0;
};

// Loads pixel p of lines [firstLine, firstLine + lines) into one sample. All channels are
// read whatever channelSelect says: lanes that are not written back never reach the buffer.
// Lanes of missing lines are zero.
template <typename T, int32_t K>
void loadGroup(const PassLayout& layout, int32_t firstLine, int32_t lines, Pack* dst) {
    constexpr int32_t kLines = kPackLanes / K;
    constexpr size_t kPixelBytes = K * sizeof(T);
    // Columns of a vertical pass are neighbours: the group's pixels are one run of memory.
    const bool adjacent = layout.lineStride == static_cast<ptrdiff_t>(kPixelBytes);
    for (int32_t p = 0; p < layout.n; ++p) {
        const uint8_t* pixel0 =
            layout.base + firstLine * layout.lineStride + p * layout.pixelStride;
        if (lines == kLines && adjacent) {
            loadLanes16(reinterpret_cast<const T*>(pixel0), dst + p);
        } else if (lines == kLines && K == 4) {
            gatherLanes16<T>(pixel0, layout.lineStride, dst + p);
        } else if (lines == kLines) {
            // Sixteen one-channel rows: one value each, converted together.
            alignas(64) T raw[kPackLanes];
            for (int32_t j = 0; j < kLines; ++j) {
                std::memcpy(raw + j * K, pixel0 + j * layout.lineStride, kPixelBytes);
            }
            loadLanes16(raw, dst + p);
        } else {
            Pack& sample = dst[p];
            for (int32_t j = 0; j < kLines; ++j) {
                const T* px = reinterpret_cast<const T*>(pixel0 + j * layout.lineStride);
                for (int32_t c = 0; c < K; ++c) {
                    sample[j * K + c] = j < lines ? toWorking(px[c]) : 0.0f;
                }
            }
        }
    }
}

// Stores lines [from, to) of the group starting at firstLine, channels ch only.
template <typename T, int32_t K>
void storeLines(const PassLayout& layout, int32_t firstLine, int32_t from, int32_t to,
                ChannelRange ch, const Pack* src) {
    constexpr int32_t kLines = kPackLanes / K;
    constexpr size_t kPixelBytes = K * sizeof(T);
    if (ch.first >= ch.last) {
        return;
    }
    const bool allChannels = ch.first == 0 && ch.last == K;
    const bool adjacent = layout.lineStride == static_cast<ptrdiff_t>(kPixelBytes);
    const bool wholeRun = allChannels && adjacent && from == 0 && to == kLines;
    alignas(64) T raw[kPackLanes];
    for (int32_t p = 0; p < layout.n; ++p) {
        uint8_t* pixel0 = layout.base + firstLine * layout.lineStride + p * layout.pixelStride;
        if (wholeRun) {
            storeLanes16(src[p], reinterpret_cast<T*>(pixel0));
            continue;
        }
        storeLanes16(src[p], raw);
        for (int32_t j = from; j < to; ++j) {
            uint8_t* px = pixel0 + j * layout.lineStride;
            if (allChannels) {
                std::memcpy(px, raw + j * K, kPixelBytes);
            } else {
                for (int32_t c = ch.first; c < ch.last; ++c) {
                    std::memcpy(px + c * sizeof(T), raw + j * K + c, sizeof(T));
                }
            }
        }
    }
}

// Runs one pass over all lines; returns true when it was not cancelled. `filter` (A, B)
// filters the n samples of A and returns the buffer (A or B) that holds the result.
template <typename T, int32_t K, typename Filter>
bool runPass(const PassLayout& layout, ChannelRange ch, Filter filter,
             BlurFilter::Callbacks& progress, Pack* scratch, size_t linePacks, int32_t threads) {
    constexpr int32_t kLines = kPackLanes / K;
    const int32_t groups = (layout.lineCount + kLines - 1) / kLines;
    const int32_t total = layout.lineCount;
    std::atomic<bool> cancel{false};
#pragma omp parallel for schedule(static) num_threads(threads)
    for (int32_t g = 0; g < groups; ++g) {
        if (cancel.load(std::memory_order_relaxed))
            continue;
        Pack* A = scratch + 2 * linePacks * static_cast<size_t>(omp_get_thread_num());
        Pack* B = A + linePacks;
        const int32_t first = g * kLines;
        const int32_t lines = std::min(kLines, layout.lineCount - first);
        loadGroup<T, K>(layout, first, lines, A);
        const Pack* result = filter(A, B);
        // Store line by line as far as the next line that reports progress, so an answer of
        // true keeps every later line of this thread unwritten.
        for (int32_t from = 0; from < lines;) {
            int32_t to = from;
            while (to < lines - 1 && (layout.firstIndex + first + to) % 100 != 0)
                ++to;
            if (cancel.load(std::memory_order_acquire))
                break;
            storeLines<T, K>(layout, first, from, to + 1, ch, result);
            const int32_t index = layout.firstIndex + first + to;
            if (index % 100 == 0 && progress.progress(index, total)) {
                cancel.store(true, std::memory_order_seq_cst);
#pragma omp flush
            }
            from = to + 1;
        }
    }
    return !cancel.load();
}

PassLayout rowsLayout(const PixelBuffer& buffer, const Rect& r) {
    PassLayout l;
    l.base = buffer.pixel(r.left, r.top);
    l.lineStride = buffer.rowStep;
    l.pixelStride = buffer.bytesPerPixel;
    l.lineCount = r.height();
    l.n = r.width();
    l.firstIndex = r.top;
    return l;
}

PassLayout columnsLayout(const PixelBuffer& buffer, const Rect& r) {
    PassLayout l;
    l.base = buffer.pixel(r.left, r.top);
    l.lineStride = buffer.bytesPerPixel;
    l.pixelStride = buffer.rowStep;
    l.lineCount = r.width();
    l.n = r.height();
    l.firstIndex = r.left;
    return l;
}

ChannelRange channelsFor(const PixelBuffer& buffer, int32_t channelSelect) {
    if (buffer.channels == 1)
        return ChannelRange{0, 1};
    switch (channelSelect) {
    case 0:
        return ChannelRange{0, 4};
    case 1:
        return ChannelRange{1, 4};
    case 2:
        return ChannelRange{0, 1};
    default:
        return ChannelRange{0, 0};
    }
}

// The passes of one apply for one channel type and channel count.
template <typename T, int32_t K> struct Passes {
    const PixelBuffer& buffer;
    const Rect& rect;
    ChannelRange ch;
    BlurFilter::Callbacks& progress;
    Pack* scratch;
    size_t linePacks;
    int32_t threads;

    bool box(bool horizontal, float r, bool threeTimes) const {
        const PassLayout layout =
            horizontal ? rowsLayout(buffer, rect) : columnsLayout(buffer, rect);
        const BoxRadius radius = boxRadius(r, layout.n);
        const int32_t n = layout.n;
        // Box mode only sees 8/16-bit samples, which are finite: a whole radius may skip its
        // zero-weight taps without changing a stored value.
        const bool whole = radius.a == 0.0f;
        auto once = [=](const Pack* src, Pack* dst) {
            if (whole) {
                boxLineWhole(src, n, dst, radius.taps);
            } else {
                boxLine(src, n, dst, radius.taps, radius.a);
            }
        };
        auto filter = [=](Pack* A, Pack* B) -> const Pack* {
            once(A, B);
            if (threeTimes) {
                once(B, A);
                once(A, B);
            }
            return B;
        };
        return runPass<T, K>(layout, ch, filter, progress, scratch, linePacks, threads);
    }

    bool gaussian(bool horizontal, float r) const {
        const PassLayout layout =
            horizontal ? rowsLayout(buffer, rect) : columnsLayout(buffer, rect);
        const GaussianKernel kernel(r);
        const int32_t n = layout.n;
        auto filter = [&kernel, n](Pack* A, Pack* B) -> const Pack* {
            gaussianLine(A, n, B, kernel);
            return B;
        };
        return runPass<T, K>(layout, ch, filter, progress, scratch, linePacks, threads);
    }
};

} // namespace

void BlurFilter::apply(PixelBuffer& buffer, const Rect& rect) {
    BlurProgressHandler handler;
    apply(buffer, rect, handler);
}

void BlurFilter::apply(PixelBuffer& buffer, const Rect& rect, Callbacks& progress) {
    aborted = false;
    if (buffer.bytesPerChannel == 4 && mode != 1) {
        mode = 1;
        radiusX *= 3.0f;
        radiusY *= 3.0f;
    }
    const bool supported =
        (buffer.channels == 1 || buffer.channels == 4) && buffer.row0 != nullptr &&
        (buffer.bytesPerChannel == 1 || buffer.bytesPerChannel == 2 || buffer.bytesPerChannel == 4);
    const Rect r{std::max<int32_t>(rect.top, 0), std::max<int32_t>(rect.left, 0),
                 std::min(rect.bottom, buffer.height), std::min(rect.right, buffer.width)};
    if (!supported || r.empty())
        return;

    // Which passes run, and with what radius, is settled before any memory is taken.
    bool runX = false;
    bool runY = false;
    float rx = 0.0f;
    float ry = 0.0f;
    if (mode == 0) {
        rx = radiusX * 0.5f;
        ry = radiusY * 0.5f;
        const bool integer = buffer.bytesPerChannel == 1 || buffer.bytesPerChannel == 2;
        runX = integer && rx > 0.0f && r.width() > 2;
        runY = integer && ry > 0.0f && r.height() > 2;
    } else {
        rx = std::min(radiusX, static_cast<float>(r.width()));
        ry = std::min(radiusY, static_cast<float>(r.height()));
        // A NaN radius blurs nothing rather than feeding NaN into the kernel's sizes.
        runX = rx != 0.0f && !std::isnan(rx);
        runY = ry != 0.0f && !std::isnan(ry);
    }
    if (!runX && !runY)
        return;

    const int32_t threads = std::max(omp_get_max_threads(), 1);
    size_t linePacks = 0;
    Scratch scratch = allocateScratch(std::max(r.width(), r.height()), threads, linePacks);
    if (!scratch) {
        aborted = true;
        return;
    }
    const ChannelRange ch = channelsFor(buffer, channelSelect);
    const bool threeTimes = extraPasses != 0;
    const bool gaussianMode = mode != 0;

    auto run = [&]<typename T, int32_t K>() {
        const Passes<T, K> passes{buffer, r, ch, progress, scratch.get(), linePacks, threads};
        if (!gaussianMode) {
            if (runX)
                aborted = !passes.box(true, rx, threeTimes);
            if (runY && !aborted)
                aborted = !passes.box(false, ry, threeTimes);
        } else {
            // The vertical pass runs even after a cancelled horizontal one; `aborted` still
            // reports that a pass was cancelled.
            if (runX)
                aborted = !passes.gaussian(true, rx);
            if (runY)
                aborted = !passes.gaussian(false, ry) || aborted;
        }
    };
    dispatchDepth(buffer.bytesPerChannel, [&]<typename T>() {
        if (buffer.channels == 1) {
            run.template operator()<T, 1>();
        } else {
            run.template operator()<T, 4>();
        }
    });
}

} // namespace fx
