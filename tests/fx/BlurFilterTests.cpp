#include "fx/BlurFilter.h"
#include "fx/BlurLines.h"
#include "image/PixelTraits.h"
#include "tests/fx/TestImage.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <new>
#include <random>
#include <vector>

// Lets a test refuse the filter's scratch block (the only aligned nothrow allocation made while
// a filter runs) and see that every block handed out comes back.
namespace {
std::atomic<bool> gRefuseAlignedNothrow{false};
std::atomic<int64_t> gAlignedNothrowLive{0};
std::mutex gAlignedMutex;
std::vector<void*> gAlignedBlocks;
} // namespace

void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
    if (gRefuseAlignedNothrow.load()) {
        return nullptr;
    }
    const std::size_t a = static_cast<std::size_t>(align);
    void* p = std::aligned_alloc(a, (size + a - 1) / a * a);
    if (p != nullptr) {
        const std::lock_guard<std::mutex> lock(gAlignedMutex);
        gAlignedBlocks.push_back(p);
        ++gAlignedNothrowLive;
    }
    return p;
}
// The aligned deletes below free with std::free, so every aligned new must come from
// aligned_alloc too, not only the nothrow one.
void* operator new(std::size_t size, std::align_val_t align) {
    const std::size_t a = static_cast<std::size_t>(align);
    if (void* p = std::aligned_alloc(a, (std::max<std::size_t>(size, 1) + a - 1) / a * a))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p, std::align_val_t) noexcept {
    {
        const std::lock_guard<std::mutex> lock(gAlignedMutex);
        auto it = std::find(gAlignedBlocks.begin(), gAlignedBlocks.end(), p);
        if (it != gAlignedBlocks.end()) {
            gAlignedBlocks.erase(it);
            --gAlignedNothrowLive;
        }
    }
    std::free(p);
}
void operator delete(void* p, std::align_val_t align, const std::nothrow_t&) noexcept {
    operator delete(p, align);
}

namespace {

using fx::BlurFilter;
using fx::BoxRadius;
using fx::GaussianKernel;
using fx::Lanes16;
using fx::Lanes4;
using fxtest::TestImage;

// ---- line kernels ---------------------------------------------------------------------------

// The box window spelled out tap by tap, in double.
std::vector<double> bruteBox(const std::vector<float>& src, int32_t R, float a) {
    const int32_t n = static_cast<int32_t>(src.size());
    std::vector<double> out(src.size());
    for (int32_t x = 0; x < n; ++x) {
        double sum = 0.0;
        double weight = 0.0;
        for (int32_t o = -R; o <= R; ++o) {
            const int32_t i = x + o;
            if (i < 0 || i >= n)
                continue;
            const double w = (o == -R || o == R) ? a : 1.0;
            sum += w * src[static_cast<size_t>(i)];
            weight += w;
        }
        out[static_cast<size_t>(x)] = sum / weight;
    }
    return out;
}

TEST(BoxRadius, WholeAndFractionalRadii) {
    BoxRadius r = fx::boxRadius(1.0f, 100);
    EXPECT_EQ(r.taps, 2);
    EXPECT_EQ(r.a, 0.0f) << "r = 1.0: three taps of weight 1";
    r = fx::boxRadius(1.5f, 100);
    EXPECT_EQ(r.taps, 2);
    EXPECT_EQ(r.a, 0.5f) << "r = 1.5: outer taps weigh 0.5, W = 4";
    r = fx::boxRadius(2.25f, 100);
    EXPECT_EQ(r.taps, 3);
    EXPECT_EQ(r.a, 0.25f);
    r = fx::boxRadius(0.25f, 100);
    EXPECT_EQ(r.taps, 1);
    EXPECT_EQ(r.a, 0.25f);
}

TEST(BoxRadius, LimitedByTheLineLength) {
    EXPECT_EQ(fx::boxRadius(2.0f, 6).taps, 2) << "3 after the whole-radius step, back to 2";
    EXPECT_EQ(fx::boxRadius(50.0f, 3).taps, 1);
    EXPECT_EQ(fx::boxRadius(1e30f, 11).taps, 4) << "huge radii saturate instead of overflowing";
    for (int32_t n = 3; n < 40; ++n) {
        for (float r : {0.3f, 1.0f, 1.7f, 4.0f, 9.5f, 30.0f}) {
            EXPECT_LE(2 * fx::boxRadius(r, n).taps + 1, n) << "n " << n << " r " << r;
        }
    }
}

TEST(BoxLine, WindowsAndDivisorsMatchTheTapByTapSum) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (int32_t n : {3, 4, 5, 6, 7, 10, 31, 64}) {
        for (float r : {0.4f, 1.0f, 1.5f, 2.0f, 2.75f, 5.0f, 13.2f}) {
            const BoxRadius br = fx::boxRadius(r, n);
            std::vector<float> src(static_cast<size_t>(n)), dst(src.size());
            for (float& v : src)
                v = u(rng);
            fx::boxLine(src.data(), n, dst.data(), br.taps, br.a);
            const std::vector<double> expected = bruteBox(src, br.taps, br.a);
            for (int32_t x = 0; x < n; ++x) {
                EXPECT_NEAR(dst[static_cast<size_t>(x)], expected[static_cast<size_t>(x)], 2e-6)
                    << "n " << n << " r " << r << " x " << x;
            }
        }
    }
}

// Every output of a line whose ends, interior and both switches between them are reached,
// to the bit. The values were worked out by hand in single precision: the running sum starts
// ((s0 + s1) + a s2), each step adds b s[x+R-1] then a s[x+R] and takes away a s[x-R-1] then
// b s[x-R]; the ends divide by the weight inside, the interior is S k + (1 - k W), k = 1 / W.
TEST(BoxLine, RunningSumInItsFixedOrder) {
    const std::vector<float> src{0.13f, 0.71f, 0.29f, 0.94f, 0.17f,
                                 0.58f, 0.42f, 0.86f, 0.05f, 0.33f};
    std::vector<float> dst(src.size());
    fx::boxLine(src.data(), 10, dst.data(), 2, 0.75f);
    const std::vector<float> expected{
        0x1.89c648p-2f, 0x1.f513ccp-2f, 0x1.eca864p-2f, 0x1.0d5e6ep-1f, 0x1.f9bep-2f,
        0x1.1eb852p-1f, 0x1.cccccap-2f, 0x1.c9f49cp-2f, 0x1.a89e5ep-2f, 0x1.7dac32p-2f};
    for (size_t x = 0; x < src.size(); ++x)
        EXPECT_EQ(dst[x], expected[x]) << "x " << x;
}

TEST(BoxLine, ImpulseShowsTheWindow) {
    std::vector<float> src(11, 0.0f), dst(11);
    src[5] = 1.0f;
    fx::boxLine(src.data(), 11, dst.data(), 2, 0.0f); // r = 1.0
    for (int32_t x = 0; x < 11; ++x) {
        const float want = (x >= 4 && x <= 6) ? 1.0f / 3.0f : 0.0f;
        EXPECT_NEAR(dst[static_cast<size_t>(x)], want, 1e-7f) << x;
    }
    fx::boxLine(src.data(), 11, dst.data(), 2, 0.5f); // r = 1.5
    for (int32_t x = 0; x < 11; ++x) {
        const int32_t d = std::abs(x - 5);
        const float want = d <= 1 ? 0.25f : (d == 2 ? 0.125f : 0.0f);
        EXPECT_NEAR(dst[static_cast<size_t>(x)], want, 1e-7f) << x;
    }
}

TEST(BoxLine, WholeRadiusKeepsFullValuesExactly) {
    for (int32_t n : {3, 5, 9, 40, 1000}) {
        for (float r : {1.0f, 2.0f, 3.0f, 7.0f, 20.0f}) {
            const BoxRadius br = fx::boxRadius(r, n);
            std::vector<float> a(static_cast<size_t>(n), 1.0f), b(a.size());
            fx::boxLine(a.data(), n, b.data(), br.taps, br.a);
            fx::boxLine(b.data(), n, a.data(), br.taps, br.a);
            fx::boxLine(a.data(), n, b.data(), br.taps, br.a);
            for (float v : b)
                ASSERT_EQ(v, 1.0f) << "n " << n << " r " << r;
        }
    }
}

TEST(BoxLine, WholeRadiusShortcutGivesTheSameValues) {
    std::mt19937 rng(21);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (int32_t n : {3, 5, 8, 33, 200}) {
        for (float r : {1.0f, 2.0f, 3.0f, 16.0f}) {
            const BoxRadius br = fx::boxRadius(r, n);
            ASSERT_EQ(br.a, 0.0f);
            std::vector<Lanes16> src(static_cast<size_t>(n)), full(src.size()), whole(src.size());
            for (Lanes16& v : src) {
                for (int32_t l = 0; l < 16; ++l) {
                    v[l] = l % 5 == 0 ? 0.0f : u(rng); // zeros take the sign-of-zero path
                }
            }
            fx::boxLine(src.data(), n, full.data(), br.taps, br.a);
            fx::boxLineWhole(src.data(), n, whole.data(), br.taps);
            for (int32_t x = 0; x < n; ++x) {
                for (int32_t l = 0; l < 16; ++l) {
                    ASSERT_EQ(whole[static_cast<size_t>(x)][l], full[static_cast<size_t>(x)][l])
                        << "n " << n << " r " << r << " x " << x << " lane " << l;
                }
            }
        }
    }
}

// r = 6: h = 3, s = 3, sigma = 3 / 3.1415927. Weights and sum worked out by hand in single
// precision: g = 1 / (sqrt(6.2831855) sigma), w = g exp(-(d d) / (2 (sigma sigma))), the sum
// taking 2 w for each side pair from the outside in, then the centre.
TEST(GaussianKernel, ShapeAndWeights) {
    const GaussianKernel k(6.0f);
    EXPECT_EQ(k.s, 3.0f);
    const std::vector<float> expected{0x1.89d06p-9f,  0x1.7dc7eep-5f, 0x1.ee785ap-3f,
                                      0x1.abcc44p-2f, 0x1.ee785ap-3f, 0x1.7dc7eep-5f,
                                      0x1.89d06p-9f};
    EXPECT_EQ(k.weights, expected);
    EXPECT_EQ(k.sum, 0x1.ffeeeep-1f);

    const GaussianKernel frac(7.0f); // h = 3.5: half 3, sampled half a pixel further out
    EXPECT_EQ(frac.half(), 3);
    EXPECT_EQ(frac.s, 3.5f);
    EXPECT_EQ(GaussianKernel(1.0f).half(), 1) << "at least one tap each side";
}

TEST(GaussianKernel, TinyRadiusKeepsItsHalfWidth) {
    // 1 - h rounds to 1 for such an h; the kernel must still have 2 * 1 + 1 weights.
    for (float r : {1e-9f, 2e-8f, 1e-7f, -3.0f}) {
        const GaussianKernel k(r);
        EXPECT_EQ(k.weights.size(), 3u) << r;
        EXPECT_LT(k.s, 2.0f) << r;
    }
}

template <typename V> void expectGaussianLineMatchesClampedSum(uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-0.5f, 1.5f);
    constexpr int32_t kLanes = sizeof(V) / sizeof(float);
    for (int32_t n : {1, 2, 3, 5, 8, 17, 100}) {
        for (float r : {1.0f, 3.0f, 6.5f, 13.0f, 40.0f}) {
            const GaussianKernel kernel(std::min(r, static_cast<float>(n)));
            std::vector<V> src(static_cast<size_t>(n)), dst(src.size());
            for (V& v : src) {
                for (int32_t l = 0; l < kLanes; ++l)
                    v[l] = u(rng);
            }
            fx::gaussianLine(src.data(), n, dst.data(), kernel);
            const int32_t half = kernel.half();
            for (int32_t x = 0; x < n; ++x) {
                for (int32_t l = 0; l < kLanes; ++l) {
                    float acc = 0.0f;
                    for (int32_t j = 0; j <= 2 * half; ++j) {
                        const float w = kernel.weights[static_cast<size_t>(j)];
                        const float s =
                            src[static_cast<size_t>(std::clamp(x - half + j, 0, n - 1))][l];
                        acc = j == 0 ? w * s : acc + w * s;
                    }
                    ASSERT_EQ(dst[static_cast<size_t>(x)][l], acc / kernel.sum)
                        << "n " << n << " r " << r << " x " << x << " lane " << l;
                }
            }
        }
    }
}

TEST(GaussianLine, EveryLaneIsExactlyTheClampedTapSum) {
    expectGaussianLineMatchesClampedSum<Lanes4>(11);
    expectGaussianLineMatchesClampedSum<Lanes16>(12);
}

TEST(GaussianLine, LineOfOneSampleIsUnchanged) {
    const GaussianKernel kernel(1.0f);
    const float src = 0.625f;
    float dst = 0.0f;
    fx::gaussianLine(&src, 1, &dst, kernel);
    EXPECT_NEAR(dst, src, 1e-6f);
}

// ---- whole passes against a one-line-at-a-time reference -----------------------------------

template <typename T> float refLoad(T v) {
    if constexpr (fx::PixelTraits<T>::isFloat) {
        return v;
    } else {
        return static_cast<float>(v) / fx::PixelTraits<T>::full;
    }
}

template <typename T> T refStore(float x) {
    if constexpr (fx::PixelTraits<T>::isFloat) {
        return x;
    } else {
        if (x > 1.0f)
            return static_cast<T>(fx::PixelTraits<T>::fullInt);
        return static_cast<T>(static_cast<int32_t>(x * fx::PixelTraits<T>::full));
    }
}

struct RefSettings {
    bool gaussian = false;
    float radiusX = 0.0f; // as stored by the filter (tripled in Gaussian mode)
    float radiusY = 0.0f;
    bool threeTimes = false;
    int32_t channelSelect = 0;
};

// Each line loaded into its own array of one sample per pixel, filtered, stored.
template <typename T, typename V>
void referencePass(TestImage& img, const Rect& r, bool horizontal, const RefSettings& s) {
    const PixelBuffer& b = img.buffer;
    const int32_t lines = horizontal ? r.height() : r.width();
    const int32_t n = horizontal ? r.width() : r.height();
    int32_t c0 = 0, c1 = 1;
    if (b.channels == 4) {
        c0 = s.channelSelect == 1 ? 1 : 0;
        c1 = s.channelSelect == 0 || s.channelSelect == 1 ? 4 : (s.channelSelect == 2 ? 1 : 0);
    }
    const float radius = horizontal ? s.radiusX : s.radiusY;
    for (int32_t l = 0; l < lines; ++l) {
        std::vector<V> A(static_cast<size_t>(n), V{}), B(A.size(), V{});
        auto px = [&](int32_t p) {
            return horizontal ? reinterpret_cast<T*>(b.pixel(r.left + p, r.top + l))
                              : reinterpret_cast<T*>(b.pixel(r.left + l, r.top + p));
        };
        for (int32_t p = 0; p < n; ++p) {
            for (int32_t c = c0; c < c1; ++c) {
                if constexpr (sizeof(V) == sizeof(float)) {
                    A[static_cast<size_t>(p)] = refLoad(px(p)[c]);
                } else {
                    A[static_cast<size_t>(p)][c] = refLoad(px(p)[c]);
                }
            }
        }
        if (s.gaussian) {
            const GaussianKernel kernel(
                std::min(radius, static_cast<float>(horizontal ? r.width() : r.height())));
            fx::gaussianLine(A.data(), n, B.data(), kernel);
        } else {
            const BoxRadius br = fx::boxRadius(radius * 0.5f, n);
            fx::boxLine(A.data(), n, B.data(), br.taps, br.a);
            if (s.threeTimes) {
                fx::boxLine(B.data(), n, A.data(), br.taps, br.a);
                fx::boxLine(A.data(), n, B.data(), br.taps, br.a);
            }
        }
        for (int32_t p = 0; p < n; ++p) {
            for (int32_t c = c0; c < c1; ++c) {
                if constexpr (sizeof(V) == sizeof(float)) {
                    px(p)[c] = refStore<T>(B[static_cast<size_t>(p)]);
                } else {
                    px(p)[c] = refStore<T>(B[static_cast<size_t>(p)][c]);
                }
            }
        }
    }
}

template <typename T> void referenceApply(TestImage& img, const Rect& r, const RefSettings& s) {
    const bool four = img.buffer.channels == 4;
    const bool runX = s.gaussian ? s.radiusX != 0.0f : (s.radiusX * 0.5f > 0.0f && r.width() > 2);
    const bool runY = s.gaussian ? s.radiusY != 0.0f : (s.radiusY * 0.5f > 0.0f && r.height() > 2);
    if (runX) {
        four ? referencePass<T, Lanes4>(img, r, true, s) : referencePass<T, float>(img, r, true, s);
    }
    if (runY) {
        four ? referencePass<T, Lanes4>(img, r, false, s)
             : referencePass<T, float>(img, r, false, s);
    }
}

struct PassCase {
    int32_t bytes;
    int32_t channels;
    bool gaussian;
    bool threeTimes;
    int32_t channelSelect;
    float rx, ry;
    Rect rect;
    bool bottomUp;
};

void runAgainstReference(const PassCase& pc, uint32_t seed) {
    TestImage img(37, 29, pc.bytes, pc.channels, pc.bottomUp, 8);
    img.randomize(seed, -0.25f, 1.5f);
    TestImage want(img);

    BlurFilter f;
    if (pc.gaussian)
        f.mode = 1;
    f.radiusX = pc.rx;
    f.radiusY = pc.ry;
    f.extraPasses = pc.threeTimes ? 2 : 0;
    f.channelSelect = pc.channelSelect;
    f.apply(img.buffer, pc.rect);
    EXPECT_FALSE(f.aborted);

    const RefSettings s{pc.gaussian, pc.rx, pc.ry, pc.threeTimes, pc.channelSelect};
    fx::dispatchDepth(pc.bytes, [&]<typename T>() { referenceApply<T>(want, pc.rect, s); });
    EXPECT_TRUE(img.sameBytes(want))
        << "bytes " << pc.bytes << " channels " << pc.channels << " gaussian " << pc.gaussian
        << " select " << pc.channelSelect << " rx " << pc.rx << " ry " << pc.ry;
}

TEST(BlurFilterApply, GroupedLinesMatchOneLineAtATime) {
    const Rect whole{0, 0, 29, 37};
    const Rect inner{3, 5, 26, 30};
    const Rect thin{2, 4, 27, 7};
    uint32_t seed = 100;
    for (int32_t bytes : {1, 2}) {
        for (int32_t channels : {1, 4}) {
            for (bool three : {false, true}) {
                for (const Rect& r : {whole, inner, thin}) {
                    runAgainstReference({bytes, channels, false, three, 0, 3.0f, 5.5f, r, false},
                                        ++seed);
                    runAgainstReference({bytes, channels, false, three, 0, 9.0f, 2.0f, r, true},
                                        ++seed);
                }
            }
            for (int32_t select : {1, 2, 3}) {
                runAgainstReference(
                    {bytes, channels, false, true, select, 4.0f, 4.0f, inner, false}, ++seed);
            }
        }
    }
    for (int32_t bytes : {1, 2, 4}) {
        for (int32_t channels : {1, 4}) {
            for (const Rect& r : {whole, inner, thin}) {
                runAgainstReference({bytes, channels, true, false, 0, 6.0f, 13.5f, r, false},
                                    ++seed);
                runAgainstReference({bytes, channels, true, false, 0, 60.0f, 1.0f, r, true},
                                    ++seed);
            }
            runAgainstReference({bytes, channels, true, false, 1, 7.0f, 7.0f, inner, false},
                                ++seed);
        }
    }
}

TEST(BlurFilterApply, ThreadCountDoesNotChangeTheResult) {
    TestImage one(300, 211, 1);
    one.randomize(5);
    TestImage two(one);
    BlurFilter f;
    f.setRadius(6.5f, 4.0f);
    f.extraPasses = 2;
    const int32_t saved = omp_get_max_threads();
    omp_set_num_threads(1);
    f.apply(one.buffer, one.buffer.bounds);
    omp_set_num_threads(std::max(saved, 2));
    f.apply(two.buffer, two.buffer.bounds);
    omp_set_num_threads(saved);
    EXPECT_TRUE(one.sameBytes(two));
}

// ---- filter behaviour -----------------------------------------------------------------------

TEST(BlurFilterApply, NewFilterState) {
    BlurFilter f;
    EXPECT_EQ(f.radiusX, 0.0f);
    EXPECT_EQ(f.radiusY, 0.0f);
    EXPECT_EQ(f.extraPasses, 0);
    EXPECT_EQ(f.channelSelect, 0);
    EXPECT_EQ(f.mode, 0);
    EXPECT_FALSE(f.aborted);
    EXPECT_EQ(f.callbacks, &BlurFilter::DefaultCallbacks::shared());
    EXPECT_FALSE(f.callbacks->progress(0, 10));
    BlurFilter g;
    EXPECT_EQ(g.callbacks, f.callbacks) << "one shared instance";
}

TEST(BlurFilterApply, ZeroRadiiChangeNothing) {
    for (int32_t bytes : {1, 2, 4}) {
        TestImage img(20, 10, bytes);
        img.randomize(3);
        const TestImage before(img);
        BlurFilter f;
        f.aborted = true;
        f.apply(img.buffer, img.buffer.bounds);
        EXPECT_TRUE(img.sameBytes(before));
        EXPECT_FALSE(f.aborted);
    }
}

TEST(BlurFilterApply, TwoPixelWideRectangleSkipsOnlyTheHorizontalPass) {
    // Columns alternate between 0 and 255 and are constant along y: only a horizontal pass
    // could change them (0 and full survive a vertical box pass exactly).
    TestImage img(10, 12, 1);
    for (int32_t y = 0; y < 12; ++y) {
        for (int32_t x = 0; x < 10; ++x) {
            for (int32_t c = 0; c < 4; ++c)
                img.at<uint8_t>(x, y, c) = x % 2 ? 255 : 0;
        }
    }
    const TestImage before(img);
    BlurFilter f;
    f.setRadius(4.0f, 4.0f);
    f.apply(img.buffer, Rect{0, 3, 12, 5});
    EXPECT_TRUE(img.sameBytes(before)) << "no horizontal pass on a 2-pixel-wide rectangle";

    // Now values vary along y only: the vertical pass must still run.
    for (int32_t y = 0; y < 12; ++y) {
        for (int32_t x = 0; x < 10; ++x) {
            for (int32_t c = 0; c < 4; ++c)
                img.at<uint8_t>(x, y, c) = static_cast<uint8_t>(y * 20);
        }
    }
    const TestImage stripes(img);
    f.apply(img.buffer, Rect{0, 3, 12, 5});
    EXPECT_FALSE(img.sameBytes(stripes));
    EXPECT_NE(img.at<uint8_t>(3, 0, 1), stripes.at<uint8_t>(3, 0, 1));
    EXPECT_EQ(img.at<uint8_t>(2, 0, 1), stripes.at<uint8_t>(2, 0, 1)) << "outside the rectangle";
}

TEST(BlurFilterApply, FloatBufferSwitchesToGaussianForGood) {
    BlurFilter f;
    f.setRadius(2.0f, 3.0f);
    TestImage fl(16, 16, 4);
    fl.randomize(9);
    f.apply(fl.buffer, fl.buffer.bounds);
    EXPECT_EQ(f.mode, 1);
    EXPECT_EQ(f.radiusX, 6.0f);
    EXPECT_EQ(f.radiusY, 9.0f);

    // An 8-bit buffer afterwards is blurred by the Gaussian with the stored radii.
    TestImage img(23, 19, 1);
    img.randomize(10);
    TestImage want(img);
    f.apply(img.buffer, img.buffer.bounds);
    EXPECT_EQ(f.mode, 1);
    EXPECT_EQ(f.radiusX, 6.0f) << "not tripled again";
    referenceApply<uint8_t>(want, img.buffer.bounds, RefSettings{true, 6.0f, 9.0f, false, 0});
    EXPECT_TRUE(img.sameBytes(want));

    f.setRadius(1.0f, 2.0f);
    EXPECT_EQ(f.radiusX, 3.0f) << "setRadius triples in Gaussian mode";
    EXPECT_EQ(f.radiusY, 6.0f);
    TestImage deep(12, 12, 2);
    deep.randomize(11);
    f.apply(deep.buffer, deep.buffer.bounds);
    EXPECT_EQ(f.mode, 1);
    EXPECT_EQ(f.radiusX, 3.0f);
}

TEST(BlurFilterApply, FloatChannelsAreNeitherScaledNorClamped) {
    BlurFilter f;
    f.setRadius(4.0f, 4.0f);
    TestImage img(30, 20, 4);
    img.fill(5.0);
    for (int32_t y = 0; y < 20; ++y) {
        for (int32_t x = 0; x < 30; ++x)
            img.at<float>(x, y, 2) = -2.0f;
    }
    img.at<float>(15, 10, 3) = 40.0f;
    f.apply(img.buffer, img.buffer.bounds);
    EXPECT_NEAR(img.at<float>(0, 0, 0), 5.0f, 1e-4f);
    EXPECT_NEAR(img.at<float>(29, 19, 1), 5.0f, 1e-4f);
    EXPECT_NEAR(img.at<float>(7, 4, 2), -2.0f, 1e-4f);
    EXPECT_GT(img.at<float>(15, 10, 3), 5.5f) << "a peak above 1 spreads, it is not cut at 1";
    EXPECT_GT(img.at<float>(16, 10, 3), 5.0f);
}

TEST(BlurFilterApply, OneChannelLineOfOneColumnInGaussianMode) {
    TestImage img(1, 9, 2, 1);
    img.randomize(4);
    const TestImage before(img);
    BlurFilter f;
    f.mode = 1;
    f.radiusX = 6.0f;
    f.apply(img.buffer, img.buffer.bounds);
    // Every tap of a line of length 1 reads its one sample; v / 32768 * 32768 truncated may
    // lose at most one step to float error.
    for (int32_t y = 0; y < 9; ++y) {
        EXPECT_LE(std::abs(img.at<uint16_t>(0, y, 0) - before.at<uint16_t>(0, y, 0)), 1) << y;
    }
}

TEST(BlurFilterApply, ChannelSelectOnEightBitPixels) {
    for (int32_t select : {1, 2, 3}) {
        TestImage img(24, 18, 1);
        img.randomize(20 + static_cast<uint32_t>(select));
        const TestImage before(img);
        BlurFilter f;
        f.setRadius(5.0f, 5.0f);
        f.extraPasses = 2;
        f.channelSelect = select;
        f.apply(img.buffer, img.buffer.bounds);
        bool alphaChanged = false;
        bool colourChanged = false;
        for (int32_t y = 0; y < 18; ++y) {
            for (int32_t x = 0; x < 24; ++x) {
                alphaChanged |= img.at<uint8_t>(x, y, 0) != before.at<uint8_t>(x, y, 0);
                for (int32_t c = 1; c < 4; ++c) {
                    colourChanged |= img.at<uint8_t>(x, y, c) != before.at<uint8_t>(x, y, c);
                }
            }
        }
        EXPECT_EQ(alphaChanged, select == 2) << select;
        EXPECT_EQ(colourChanged, select == 1) << select;
    }
}

TEST(BlurFilterApply, FullValuesStayFullWithWholeRadii) {
    for (float amount : {2.0f, 4.0f, 6.0f, 10.0f, 30.0f}) {
        TestImage img(50, 40, 1);
        img.fill(255);
        TestImage deep(50, 40, 2);
        deep.fill(32768);
        BlurFilter f;
        f.setRadius(amount, amount); // per-pass radius amount / 2, a whole number
        f.extraPasses = 2;
        f.apply(img.buffer, img.buffer.bounds);
        f.apply(deep.buffer, deep.buffer.bounds);
        for (int32_t y = 0; y < 40; ++y) {
            for (int32_t x = 0; x < 50; ++x) {
                ASSERT_EQ(img.at<uint8_t>(x, y, 2), 255) << amount << " at " << x << "," << y;
                ASSERT_EQ(deep.at<uint16_t>(x, y, 0), 32768) << amount << " at " << x << "," << y;
            }
        }
    }
}

TEST(BlurFilterApply, RectangleOutsideTheBufferIsClipped) {
    TestImage img(20, 15, 1);
    img.randomize(31);
    TestImage want(img);
    BlurFilter f;
    f.setRadius(4.0f, 4.0f);
    f.apply(img.buffer, Rect{-5, -5, 100, 100});
    referenceApply<uint8_t>(want, Rect{0, 0, 15, 20}, RefSettings{false, 4.0f, 4.0f, false, 0});
    EXPECT_TRUE(img.sameBytes(want));
}

TEST(BlurFilterApply, ScratchRefusedLeavesTheBufferAlone) {
    TestImage img(40, 30, 1);
    img.randomize(8);
    const TestImage before(img);
    BlurFilter f;
    f.setRadius(6.0f, 6.0f);
    gRefuseAlignedNothrow = true;
    f.apply(img.buffer, img.buffer.bounds);
    gRefuseAlignedNothrow = false;
    EXPECT_TRUE(f.aborted);
    EXPECT_TRUE(img.sameBytes(before));
    f.apply(img.buffer, img.buffer.bounds);
    EXPECT_FALSE(f.aborted) << "the next apply runs normally";
    EXPECT_FALSE(img.sameBytes(before));
    EXPECT_EQ(gAlignedNothrowLive.load(), 0) << "the scratch block is given back";
}

// ---- progress and cancel --------------------------------------------------------------------

class Recorder final : public BlurFilter::Callbacks {
public:
    // Answers true the (stopCall + 1)-th time it is asked about line `stopAt`.
    explicit Recorder(int32_t stopAt = -1, int32_t stopCall = 0)
        : stopAt_(stopAt), stopCall_(stopCall) {}
    bool progress(int32_t index, int32_t total) override {
        std::lock_guard<std::mutex> lock(mutex_);
        calls.push_back({index, total});
        return index == stopAt_ && seen_++ == stopCall_;
    }
    struct Call {
        int32_t index, total;
    };
    std::vector<Call> calls;

private:
    std::mutex mutex_;
    int32_t stopAt_;
    int32_t stopCall_;
    int32_t seen_ = 0;
};

// Runs the calling test body with a one-thread team, so line order is deterministic.
class OneThread {
public:
    OneThread() : saved_(omp_get_max_threads()) { omp_set_num_threads(1); }
    ~OneThread() { omp_set_num_threads(saved_); }

private:
    int32_t saved_;
};

TEST(BlurFilterProgress, CalledEveryHundredLinesByAbsoluteIndex) {
    TestImage img(260, 420, 1, 1);
    img.randomize(2);
    BlurFilter f;
    f.setRadius(2.0f, 2.0f);
    Recorder rec;
    f.apply(img.buffer, Rect{50, 30, 390, 250}, rec);
    EXPECT_FALSE(f.aborted);
    std::vector<int32_t> rows, columns;
    for (const auto& c : rec.calls) {
        if (c.total == 340)
            rows.push_back(c.index);
        if (c.total == 220)
            columns.push_back(c.index);
    }
    std::sort(rows.begin(), rows.end());
    std::sort(columns.begin(), columns.end());
    EXPECT_EQ(rows, (std::vector<int32_t>{100, 200, 300})) << "first call for row 100";
    EXPECT_EQ(columns, (std::vector<int32_t>{100, 200}));
    EXPECT_EQ(rec.calls.size(), 5u);
}

TEST(BlurFilterProgress, CancelStopsThePassAndSkipsTheVerticalOne) {
    const OneThread one;
    TestImage img(64, 250, 1);
    img.randomize(17);
    const TestImage before(img);
    TestImage rowsOnly(img);
    referenceApply<uint8_t>(rowsOnly, Rect{0, 0, 250, 64}, RefSettings{false, 6.0f, 0.0f, true, 0});

    BlurFilter f;
    f.setRadius(6.0f, 6.0f);
    f.extraPasses = 2;
    Recorder rec(100);
    f.apply(img.buffer, img.buffer.bounds, rec);
    EXPECT_TRUE(f.aborted);
    for (int32_t y = 0; y < 250; ++y) {
        const TestImage& expected = y <= 100 ? rowsOnly : before;
        for (int32_t x = 0; x < 64; ++x) {
            ASSERT_EQ(img.at<uint8_t>(x, y, 1), expected.at<uint8_t>(x, y, 1))
                << "row " << y << (y <= 100 ? " blurred before the stop" : " not started");
        }
    }
    EXPECT_EQ(rec.calls.size(), 2u) << "rows 0 and 100, no vertical pass";
    EXPECT_EQ(gAlignedNothrowLive.load(), 0) << "the scratch block is given back after a cancel";
}

TEST(BlurFilterProgress, GaussianVerticalPassRunsAfterACancelledHorizontalOne) {
    const OneThread one;
    TestImage img(30, 150, 4);
    img.randomize(18);
    BlurFilter f;
    f.mode = 1;
    f.radiusX = 6.0f;
    f.radiusY = 6.0f;
    Recorder rec(0); // stops the horizontal pass at row 0
    f.apply(img.buffer, img.buffer.bounds, rec);
    EXPECT_TRUE(f.aborted) << "a cancelled pass is reported even though the next one completed";
    ASSERT_EQ(rec.calls.size(), 2u);
    EXPECT_EQ(rec.calls[0].total, 150);
    EXPECT_EQ(rec.calls[1].total, 30) << "the vertical pass ran";
}

TEST(BlurFilterProgress, ApplyWithoutCallbacksNeverStops) {
    TestImage img(20, 620, 2, 1);
    img.randomize(19);
    BlurFilter f;
    f.setRadius(3.0f, 3.0f);
    f.apply(img.buffer, img.buffer.bounds);
    EXPECT_FALSE(f.aborted);
    fx::BlurProgressHandler handler;
    EXPECT_FALSE(handler.progress(600, 620));
}

} // namespace
