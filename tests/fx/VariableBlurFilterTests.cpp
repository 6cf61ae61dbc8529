#include "fx/VariableBlurFilter.h"
#include "tests/fx/SerialVariableBlur.h"
#include "tests/fx/TestImage.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <stdexcept>
#include <vector>

namespace {

using fxtest::SerialVariableBlur;
using fxtest::TestImage;

std::vector<uint32_t> weightsOf(float s) {
    return FixedKernel(s).weights;
}

TEST(FixedKernel, PublishedWeights) {
    const FixedKernel one(1.0f);
    EXPECT_EQ(one.weights, (std::vector<uint32_t>{591, 82136, 591}));
    EXPECT_EQ(one.sum, 83318u);
    EXPECT_EQ(one.half(), 1);
    const FixedKernel three(3.0f);
    EXPECT_EQ(three.weights, (std::vector<uint32_t>{197, 3054, 15823, 27379, 15823, 3054, 197}));
    EXPECT_EQ(three.sum, 65527u);
    EXPECT_EQ(three.s, 3.0f);
}

TEST(FixedKernel, FractionalShapeSamplesFurtherOut) {
    const FixedKernel k(2.5f);
    ASSERT_EQ(k.half(), 2);
    uint32_t sum = 0;
    for (uint32_t w : k.weights)
        sum += w;
    EXPECT_EQ(sum, k.sum);
    EXPECT_EQ(k.weights.front(), k.weights.back());
    EXPECT_LT(k.weights[2], weightsOf(2.0f)[2]) << "centre sampled half a pixel off the peak";
}

TEST(VariableBlurTables, NewFilterIsEmpty) {
    const VariableBlurFilter f;
    EXPECT_EQ(f.radiusX(), 0.0f);
    EXPECT_EQ(f.radiusY(), 0.0f);
    EXPECT_TRUE(f.kernelsX().empty());
    EXPECT_TRUE(f.kernelsY().empty());
}

TEST(VariableBlurTables, SetRadiusSizesAndResetsOnlyOnChange) {
    VariableBlurFilter f;
    f.setRadius(10.0f, 7.0f);
    EXPECT_EQ(f.kernelsX().size(), 6u);
    EXPECT_EQ(f.kernelsY().size(), 5u) << "ceil(3.5) + 1";
    TestImage img(40, 30, 1, 1);
    img.randomize(1);
    f.apply(img.buffer, img.buffer.bounds, img.buffer.bounds);
    ASSERT_TRUE(f.kernelsX()[5]);
    ASSERT_TRUE(f.kernelsY()[3]);
    const FixedKernel* keptX = f.kernelsX()[5].get();

    f.setRadius(10.0f, 9.0f);
    EXPECT_EQ(f.kernelsX()[5].get(), keptX) << "unchanged radius keeps its kernels";
    EXPECT_EQ(f.kernelsY().size(), 6u);
    for (const auto& k : f.kernelsY())
        EXPECT_FALSE(k);

    f.setRadius(0.0f, -4.0f);
    EXPECT_EQ(f.kernelsX().size(), 1u);
    EXPECT_EQ(f.kernelsY().size(), 1u) << "a negative radius gets no usable slots";
}

TEST(VariableBlurTables, KernelForFirstRequestDecides) {
    FixedKernelTable table(6); // radius 10
    const FixedKernel& first = VariableBlurFilter::kernelFor(table, 2, 2.3f);
    EXPECT_NEAR(first.s, 2.7f, 1e-5f);
    const FixedKernel& second = VariableBlurFilter::kernelFor(table, 2, 2.8f);
    EXPECT_EQ(&first, &second);
    EXPECT_NEAR(second.s, 2.7f, 1e-5f);

    FixedKernelTable other(6);
    EXPECT_NEAR(VariableBlurFilter::kernelFor(other, 2, 2.8f).s, 2.2f, 1e-5f);
    EXPECT_NEAR(VariableBlurFilter::kernelFor(other, 2, 2.3f).s, 2.2f, 1e-5f);

    EXPECT_THROW(VariableBlurFilter::kernelFor(other, 6, 6.0f), std::out_of_range);
    EXPECT_THROW(VariableBlurFilter::kernelFor(other, -1, 1.0f), std::out_of_range);
    EXPECT_EQ(VariableBlurFilter::kernelFor(other, 1, 1e-9f).half(), 1)
        << "a tiny half radius still gives a kernel of its slot's width";
}

// Two pixels whose half radii at radius 10 are 2.3 and 2.8 (float alpha 0.46 and 0.56), the
// rest transparent: whichever comes first in the pass decides slot 2.
TEST(VariableBlurTables, FirstPixelOfThePassDecidesTheSlot) {
    for (bool lowFirst : {true, false}) {
        TestImage img(16, 4, 4);
        img.randomize(3);
        for (int32_t y = 0; y < 4; ++y) {
            for (int32_t x = 0; x < 16; ++x)
                img.at<float>(x, y, 0) = 0.0f;
        }
        img.at<float>(3, 1, 0) = lowFirst ? 0.46f : 0.56f;
        img.at<float>(9, 1, 0) = lowFirst ? 0.56f : 0.46f;
        VariableBlurFilter f;
        f.setRadius(10.0f, 0.0f);
        f.apply(img.buffer, img.buffer.bounds, img.buffer.bounds);
        ASSERT_TRUE(f.kernelsX()[5]) << "made ready for the whole radius";
        EXPECT_EQ(f.kernelsX()[5]->s, 5.0f);
        ASSERT_TRUE(f.kernelsX()[2]);
        EXPECT_NEAR(f.kernelsX()[2]->s, lowFirst ? 2.7f : 2.2f, 1e-5f);
        for (size_t k : {1u, 3u, 4u})
            EXPECT_FALSE(f.kernelsX()[k]) << k;

        // In a later frame the slot keeps its kernel, whatever asks first.
        img.at<float>(3, 1, 0) = lowFirst ? 0.56f : 0.46f;
        f.apply(img.buffer, img.buffer.bounds, img.buffer.bounds);
        EXPECT_NEAR(f.kernelsX()[2]->s, lowFirst ? 2.7f : 2.2f, 1e-5f);
    }
}

TEST(VariableBlurApply, ZeroRadiiChangeNothing) {
    for (int32_t bytes : {1, 2, 4}) {
        for (int32_t channels : {1, 4}) {
            TestImage img(20, 12, bytes, channels);
            img.randomize(4);
            const TestImage before(img);
            VariableBlurFilter fresh;
            fresh.apply(img.buffer, img.buffer.bounds, img.buffer.bounds);
            VariableBlurFilter zero;
            zero.setRadius(0.0f, 0.0f);
            zero.apply(img.buffer, img.buffer.bounds, img.buffer.bounds);
            VariableBlurFilter negative;
            negative.setRadius(-6.0f, std::numeric_limits<float>::quiet_NaN());
            negative.apply(img.buffer, img.buffer.bounds, img.buffer.bounds);
            EXPECT_TRUE(img.sameBytes(before)) << bytes << " " << channels;
        }
    }
}

TEST(VariableBlurApply, RadiusLimitedToTheBounds) {
    TestImage img(10, 40, 1, 1);
    img.randomize(5);
    VariableBlurFilter f;
    f.setRadius(100.0f, 7.0f);
    f.apply(img.buffer, img.buffer.bounds, img.buffer.bounds);
    ASSERT_EQ(f.kernelsX().size(), 51u);
    for (size_t k = 0; k < f.kernelsX().size(); ++k) {
        EXPECT_EQ(static_cast<bool>(f.kernelsX()[k]), k == 5) << "radius 10 after the limit: " << k;
    }
    EXPECT_EQ(f.kernelsX()[5]->s, 5.0f);
}

TEST(VariableBlurApply, EqualRadiiShareTheRowTable) {
    TestImage img(30, 30, 2, 1);
    img.randomize(6);
    VariableBlurFilter f;
    f.setRadius(8.0f, 8.0f);
    f.apply(img.buffer, img.buffer.bounds, img.buffer.bounds);
    EXPECT_TRUE(f.kernelsX()[4]);
    for (const auto& k : f.kernelsY())
        EXPECT_FALSE(k) << "the vertical pass used kernelsX";

    f.setRadius(8.0f, 6.5f);
    f.apply(img.buffer, img.buffer.bounds, img.buffer.bounds);
    EXPECT_TRUE(f.kernelsY()[3]);
}

TEST(VariableBlurApply, EndSampleRepeatsBeyondTheEnd) {
    TestImage img(6, 1, 1, 1);
    img.at<uint8_t>(0, 0, 0) = 100;
    VariableBlurFilter f;
    f.setRadius(2.0f, 0.0f); // slot 1, s = 1: 591, 82136, 591
    f.apply(img.buffer, img.buffer.bounds, img.buffer.bounds);
    EXPECT_EQ(img.at<uint8_t>(0, 0, 0), (591u * 100 + 82136u * 100) / 83318u);
    EXPECT_EQ(img.at<uint8_t>(1, 0, 0), 591u * 100 / 83318u);
}

TEST(VariableBlurApply, ConstantLinesStayConstant) {
    for (int32_t channels : {1, 4}) {
        TestImage img(33, 21, 1, channels);
        img.fill(channels == 4 ? 255 : 77);
        TestImage deep(33, 21, 2, channels);
        deep.fill(32768);
        VariableBlurFilter f;
        f.setRadius(9.0f, 13.0f);
        f.apply(img.buffer, img.buffer.bounds, img.buffer.bounds);
        f.apply(deep.buffer, deep.buffer.bounds, deep.buffer.bounds);
        for (int32_t y = 0; y < 21; ++y) {
            for (int32_t x = 0; x < 33; ++x) {
                for (int32_t c = 0; c < channels; ++c) {
                    ASSERT_EQ(img.at<uint8_t>(x, y, c), channels == 4 ? 255 : 77);
                    ASSERT_EQ(deep.at<uint16_t>(x, y, c), 32768);
                }
            }
        }
    }
}

TEST(VariableBlurApply, TransparentPixelsKeepTheirValues) {
    for (int32_t bytes : {1, 2, 4}) {
        TestImage img(25, 19, bytes);
        img.randomize(7 + static_cast<uint32_t>(bytes));
        // Clear alpha on a checkerboard of 3x3 cells: their neighbours blur around them.
        for (int32_t y = 0; y < 19; ++y) {
            for (int32_t x = 0; x < 25; ++x) {
                if ((x / 3 + y / 3) % 2 != 0)
                    continue;
                if (bytes == 1)
                    img.at<uint8_t>(x, y, 0) = 0;
                if (bytes == 2)
                    img.at<uint16_t>(x, y, 0) = 0;
                if (bytes == 4)
                    img.at<float>(x, y, 0) = 0.0f;
            }
        }
        const TestImage before(img);
        VariableBlurFilter f;
        f.setRadius(12.0f, 12.0f);
        f.apply(img.buffer, img.buffer.bounds, img.buffer.bounds);
        bool othersChanged = false;
        for (int32_t y = 0; y < 19; ++y) {
            for (int32_t x = 0; x < 25; ++x) {
                const bool clear = (x / 3 + y / 3) % 2 == 0;
                const bool same = std::memcmp(img.buffer.pixel(x, y), before.buffer.pixel(x, y),
                                              static_cast<size_t>(img.buffer.bytesPerPixel)) == 0;
                if (clear) {
                    ASSERT_TRUE(same) << bytes << " at " << x << "," << y;
                } else {
                    othersChanged |= !same;
                }
            }
        }
        EXPECT_TRUE(othersChanged);
    }
}

TEST(VariableBlurApply, OutOfRangeFloatAlpha) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    TestImage img(40, 9, 4);
    img.randomize(8);
    for (int32_t y = 0; y < 9; ++y) {
        for (int32_t x = 0; x < 40; ++x)
            img.at<float>(x, y, 0) = 1.0f;
    }
    img.at<float>(5, 4, 0) = nan;
    img.at<float>(10, 4, 0) = -0.5f;
    img.at<float>(15, 4, 0) = -0.0f;
    img.at<float>(20, 4, 0) = 7.0f;
    img.at<float>(25, 4, 0) = inf;
    img.at<float>(30, 4, 0) = 1e30f;
    const TestImage before(img);
    VariableBlurFilter f;
    f.setRadius(10.0f, 0.0f);
    f.apply(img.buffer, img.buffer.bounds, img.buffer.bounds);
    for (int32_t x : {5, 15}) {
        EXPECT_EQ(std::memcmp(img.buffer.pixel(x, 4), before.buffer.pixel(x, 4), 16), 0)
            << "alpha NaN or -0 keeps pixel " << x;
    }
    EXPECT_EQ(f.kernelsX().size(), 6u);
    for (size_t k = 2; k < 5; ++k)
        EXPECT_FALSE(f.kernelsX()[k]) << k;
    ASSERT_TRUE(f.kernelsX()[5]);

    // A negative alpha blurs: its half radius -2.5 asks for slot 1 and, first there, shapes its
    // kernel with s = 1 + (ceil(-2.5) + 2.5) = 1.5. All four lanes, alpha included, are
    // convolved with it in tap order.
    ASSERT_TRUE(f.kernelsX()[1]);
    const FixedKernel& k1 = *f.kernelsX()[1];
    EXPECT_EQ(k1.s, 1.5f);
    ASSERT_EQ(k1.weights.size(), 3u);
    for (int32_t c = 0; c < 4; ++c) {
        float acc = 0.0f;
        for (int32_t j = 0; j < 3; ++j)
            acc = acc + static_cast<float>(k1.weights[static_cast<size_t>(j)]) *
                            before.at<float>(9 + j, 4, c);
        EXPECT_EQ(img.at<float>(10, 4, c), acc / static_cast<float>(k1.sum)) << "channel " << c;
    }

    // Alpha above 1 blurs with the last slot: the colour channels come out as they would for a
    // pixel with alpha exactly 1 (the alpha channel itself is convolved like the others).
    TestImage ref(before);
    for (int32_t x : {20, 25, 30})
        ref.at<float>(x, 4, 0) = 1.0f;
    VariableBlurFilter g;
    g.setRadius(10.0f, 0.0f);
    g.apply(ref.buffer, ref.buffer.bounds, ref.buffer.bounds);
    for (int32_t x : {20, 25, 30}) {
        for (int32_t c = 1; c < 4; ++c) {
            EXPECT_EQ(img.at<float>(x, 4, c), ref.at<float>(x, 4, c)) << x << " channel " << c;
        }
    }
}

TEST(VariableBlurApply, BoundsBeyondTheBufferAreClipped) {
    TestImage img(12, 8, 1);
    img.randomize(9);
    TestImage want(img);
    VariableBlurFilter f;
    f.setRadius(6.0f, 6.0f);
    f.apply(img.buffer, Rect{0, 0, 80, 90}, Rect{-3, -3, 80, 90});
    SerialVariableBlur serial;
    serial.setRadius(6.0f, 6.0f);
    serial.apply(want.buffer, want.buffer.bounds, want.buffer.bounds);
    EXPECT_TRUE(img.sameBytes(want));
}

// ---- the parallel passes against the one-thread walk -----------------------------------------

// Alpha of four-channel images drawn from a mix of transparent, opaque and partial values so
// every kind of slot request shows up.
void shapeAlpha(TestImage& img, std::mt19937& rng) {
    std::uniform_int_distribution<int32_t> pick(0, 9);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const PixelBuffer& b = img.buffer;
    for (int32_t y = 0; y < b.height; ++y) {
        for (int32_t x = 0; x < b.width; ++x) {
            const int32_t kind = pick(rng);
            const float a = kind < 2 ? 0.0f : (kind < 4 ? 1.0f : unit(rng));
            switch (b.bytesPerChannel) {
            case 1:
                img.at<uint8_t>(x, y, 0) = static_cast<uint8_t>(a * 255.0f);
                break;
            case 2:
                img.at<uint16_t>(x, y, 0) = static_cast<uint16_t>(a * 32768.0f);
                break;
            default:
                img.at<float>(x, y, 0) = kind == 9 ? a * 3.0f : a; // some above 1
                break;
            }
        }
    }
}

bool sameTables(const FixedKernelTable& a, const FixedKernelTable& b) {
    if (a.size() != b.size())
        return false;
    for (size_t k = 0; k < a.size(); ++k) {
        if (static_cast<bool>(a[k]) != static_cast<bool>(b[k]))
            return false;
        if (a[k] && (a[k]->s != b[k]->s || a[k]->weights != b[k]->weights))
            return false;
    }
    return true;
}

void compareWithSerial(int32_t threads, uint32_t seed) {
    const int32_t saved = omp_get_max_threads();
    omp_set_num_threads(threads);
    std::mt19937 rng(seed);
    for (int32_t bytes : {1, 2, 4}) {
        for (int32_t channels : {4, 1}) {
            VariableBlurFilter parallel;
            SerialVariableBlur serial;
            // Several frames: kernels persist, radii change now and then.
            for (int32_t frame = 0; frame < 4; ++frame) {
                std::uniform_int_distribution<int32_t> dim(1, 90);
                const int32_t w = dim(rng), h = dim(rng);
                TestImage img(w, h, bytes, channels, rng() % 2 == 0, 4);
                img.randomize(rng(), -0.2f, 1.3f);
                if (channels == 4)
                    shapeAlpha(img, rng);
                TestImage want(img);
                if (frame != 2) {
                    std::uniform_real_distribution<float> radius(0.0f, 40.0f);
                    const float rx = radius(rng);
                    const float ry = rng() % 3 == 0 ? rx : radius(rng);
                    parallel.setRadius(rx, ry);
                    serial.setRadius(rx, ry);
                }
                Rect area = img.buffer.bounds;
                if (frame == 3 && w > 4 && h > 4)
                    area = Rect{1, 2, h - 1, w - 2};
                parallel.apply(img.buffer, img.buffer.bounds, area);
                serial.apply(want.buffer, want.buffer.bounds, area);
                ASSERT_TRUE(img.sameBytes(want))
                    << "threads " << threads << " bytes " << bytes << " channels " << channels
                    << " frame " << frame << " size " << w << "x" << h << " radii "
                    << parallel.radiusX() << "," << parallel.radiusY();
                ASSERT_TRUE(sameTables(parallel.kernelsX(), serial.kernelsX));
                ASSERT_TRUE(sameTables(parallel.kernelsY(), serial.kernelsY));
            }
        }
    }
    omp_set_num_threads(saved);
}

TEST(VariableBlurParallel, SameBytesAndKernelsAsTheSerialWalk) {
    for (int32_t threads : {1, 2, 3, 5}) {
        for (uint32_t seed = 1; seed <= 6; ++seed)
            compareWithSerial(threads, seed * 977 + 13);
    }
}

TEST(VariableBlurParallel, LargeImageAllDepths) {
    for (int32_t bytes : {1, 2, 4}) {
        TestImage img(321, 203, bytes);
        img.randomize(40 + static_cast<uint32_t>(bytes));
        std::mt19937 rng(50);
        shapeAlpha(img, rng);
        TestImage want(img);
        VariableBlurFilter parallel;
        parallel.setRadius(23.0f, 31.0f);
        parallel.apply(img.buffer, img.buffer.bounds, img.buffer.bounds);
        SerialVariableBlur serial;
        serial.setRadius(23.0f, 31.0f);
        serial.apply(want.buffer, want.buffer.bounds, want.buffer.bounds);
        EXPECT_TRUE(img.sameBytes(want)) << bytes;
        EXPECT_TRUE(sameTables(parallel.kernelsX(), serial.kernelsX));
        EXPECT_TRUE(sameTables(parallel.kernelsY(), serial.kernelsY));
    }
}

} // namespace
