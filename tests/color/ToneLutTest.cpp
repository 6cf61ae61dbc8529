#include "color/ToneLut.h"
#include "color/ToneCurve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

ToneCurve curveOf(std::initializer_list<std::pair<double, double>> pts, int32_t interpolation) {
    ToneCurve c;
    for (auto [x, y] : pts) {
        c.points.push_back(CurvePoint{x, y, 0.0});
    }
    c.interpolation = interpolation;
    c.splineDirty = true;
    c.clampOutput = false;
    return c;
}

// Independent oracle: solve the natural-spline system by Gaussian elimination on the full
// matrix and evaluate in the textbook A/B form.
struct DenseSpline {
    std::vector<double> x, y, y2;

    DenseSpline(std::vector<double> xs, std::vector<double> ys) : x(xs), y(ys), y2(xs.size()) {
        const size_t n = x.size();
        const size_t m = n - 2;
        std::vector<std::vector<double>> a(m, std::vector<double>(m + 1, 0.0));
        for (size_t r = 0; r < m; ++r) {
            const size_t i = r + 1;
            const double h0 = x[i] - x[i - 1];
            const double h1 = x[i + 1] - x[i];
            if (r > 0)
                a[r][r - 1] = h0;
            a[r][r] = 2 * (h0 + h1);
            if (r + 1 < m)
                a[r][r + 1] = h1;
            a[r][m] = 6 * ((y[i + 1] - y[i]) / h1 - (y[i] - y[i - 1]) / h0);
        }
        for (size_t c = 0; c < m; ++c) {
            for (size_t r = c + 1; r < m; ++r) {
                const double f = a[r][c] / a[c][c];
                for (size_t k = c; k <= m; ++k) {
                    a[r][k] -= f * a[c][k];
                }
            }
        }
        for (size_t r = m; r-- > 0;) {
            double s = a[r][m];
            for (size_t k = r + 1; k < m; ++k) {
                s -= a[r][k] * y2[k + 1];
            }
            y2[r + 1] = s / a[r][r];
        }
    }

    double operator()(double t) const {
        size_t i = 0;
        while (t > x[i + 1]) {
            ++i;
        }
        const double h = x[i + 1] - x[i];
        const double a = (x[i + 1] - t) / h;
        const double b = (t - x[i]) / h;
        return a * y[i] + b * y[i + 1] +
               ((a * a * a - a) * y2[i] + (b * b * b - b) * y2[i + 1]) * h * h / 6.0;
    }
};

} // namespace

TEST(ToneCurveRules, EmptyCurvePassesInputAndEndsHoldTheirValue) {
    ToneCurve empty;
    EXPECT_EQ(empty.evaluate(0.37), 0.37);
    ToneCurve c = curveOf({{0.2, 0.3}, {0.5, 0.9}, {0.8, 0.6}}, ToneCurve::Spline);
    EXPECT_EQ(c.evaluate(0.1), 0.3);
    EXPECT_EQ(c.evaluate(0.2), 0.3);
    EXPECT_EQ(c.evaluate(0.8), 0.6);
    EXPECT_EQ(c.evaluate(5.0), 0.6);
}

TEST(ToneCurveRules, LinearInterpolatesBetweenNeighbours) {
    ToneCurve c = curveOf({{0.0, 0.0}, {0.5, 1.0}, {1.0, 0.5}}, ToneCurve::Linear);
    EXPECT_DOUBLE_EQ(c.evaluate(0.25), 0.5);
    EXPECT_EQ(c.evaluate(0.5), 1.0);
    EXPECT_DOUBLE_EQ(c.evaluate(0.75), 0.75);
    // A two-point spline is linear too.
    ToneCurve two = curveOf({{0.0, 0.2}, {1.0, 0.6}}, ToneCurve::Spline);
    EXPECT_DOUBLE_EQ(two.evaluate(0.5), 0.4);
}

TEST(ToneCurveRules, UnknownInterpolationReturnsInputUnclamped) {
    ToneCurve c = curveOf({{0.0, 0.0}, {2.0, 0.5}}, 7);
    c.clampOutput = true;
    EXPECT_EQ(c.evaluate(1.5), 1.5);
    EXPECT_EQ(c.evaluate(3.0), 0.5); // outside the points the end rule still applies
}

TEST(ToneCurveRules, IdentityIsExactlyTheTwoUnitPoints) {
    EXPECT_TRUE(curveOf({{0.0, 0.0}, {1.0, 1.0}}, 1).isIdentity());
    EXPECT_FALSE(curveOf({{0.0, 0.0}, {1.0, 0.999999}}, 1).isIdentity());
    EXPECT_FALSE(curveOf({{0.0, 0.0}, {0.5, 0.5}, {1.0, 1.0}}, 1).isIdentity());
    EXPECT_FALSE(ToneCurve().isIdentity());
}

TEST(ToneCurveSpline, MatchesADenseNaturalSplineSolve) {
    const std::vector<double> xs = {0.0, 0.2, 0.5, 0.7, 1.0};
    const std::vector<double> ys = {0.0, 0.5, 0.3, 0.9, 0.1};
    ToneCurve c;
    c.setPoints(xs[0], ys[0], xs[1], ys[1], xs[2], ys[2], xs[3], ys[3], xs[4], ys[4]);
    c.clampOutput = false;
    const DenseSpline oracle(xs, ys);
    for (double t = 0.01; t < 1.0; t += 0.037) {
        EXPECT_NEAR(c.evaluate(t), oracle(t), 1e-12) << t;
    }
    EXPECT_FALSE(c.splineDirty);
    for (size_t i = 0; i < xs.size(); ++i) {
        EXPECT_NEAR(c.points[i].y2, oracle.y2[i], 1e-12) << i;
    }
    EXPECT_EQ(c.points.front().y2, 0.0);
    EXPECT_EQ(c.points.back().y2, 0.0);
    // Through its interior points.
    EXPECT_NEAR(c.evaluate(0.5), 0.3, 1e-12);
}

TEST(ToneCurveSpline, SetPointsResizesAndRecomputes) {
    ToneCurve c = curveOf({{0, 0}, {1, 1}}, ToneCurve::Linear);
    c.setPoints(0.0, 0.0, 0.25, 0.5, 0.5, 1.0, 0.75, 0.5, 1.0, 0.0);
    ASSERT_EQ(c.points.size(), 5u);
    EXPECT_EQ(c.interpolation, ToneCurve::Spline);
    EXPECT_TRUE(c.clampOutput);
    const double first = c.evaluate(0.4);
    c.setPoints(0.0, 0.0, 0.25, 0.1, 0.5, 0.2, 0.75, 0.1, 1.0, 0.0);
    EXPECT_TRUE(c.splineDirty);
    EXPECT_NE(c.evaluate(0.4), first); // stale second derivatives would be caught here
    EXPECT_NEAR(c.evaluate(0.5), 0.2, 1e-12);
}

TEST(ToneCurveSpline, OvershootIsClamped) {
    ToneCurve c;
    c.setPoints(0.0, 0.0, 0.1, 1.0, 0.2, 1.0, 0.3, 0.0, 0.4, 0.0);
    c.clampOutput = false;
    ASSERT_GT(c.evaluate(0.15), 1.0);
    ASSERT_LT(c.evaluate(0.35), 0.0);
    c.clampOutput = true;
    EXPECT_EQ(c.evaluate(0.15), 1.0);
    EXPECT_EQ(c.evaluate(0.35), 0.0);
}

TEST(ToneLutTables, FreshTablesFollowTheEmptyCurve) {
    auto lut = std::make_unique<ToneLut>();
    EXPECT_TRUE(lut->dirty8());
    EXPECT_TRUE(lut->dirty16());
    EXPECT_EQ(lut->cachedPosition(), -1.0);
    EXPECT_EQ(lut->cachedRange(), -1.0);
    const uint8_t* t8 = lut->table8();
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(t8[i], static_cast<uint8_t>(i / 255.0 * 255.0)) << i;
    }
    const uint16_t* t16 = lut->table16();
    for (int i = 0; i < 65536; ++i) {
        ASSERT_EQ(t16[i], static_cast<uint16_t>(i / 65535.0 * 65535.0)) << i;
    }
    EXPECT_EQ(t8[255], 255);
    EXPECT_EQ(t16[65535], 65535);
}

TEST(ToneLutTables, ZeroRangeGivesAllZero) {
    auto lut = std::make_unique<ToneLut>();
    lut->setBump(0.4, 0.0);
    const uint8_t* t8 = lut->table8();
    const uint16_t* t16 = lut->table16();
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(t8[i], 0) << i;
    }
    for (int i = 0; i < 65536; ++i) {
        ASSERT_EQ(t16[i], 0) << i;
    }
}

TEST(ToneLutTables, DefaultRangeAtPositionZeroFallsFromFull) {
    auto lut = std::make_unique<ToneLut>();
    lut->setBump(0.0, 1.6);
    const uint8_t* t8 = lut->table8();
    const uint16_t* t16 = lut->table16();
    EXPECT_EQ(t8[0], 255);
    EXPECT_EQ(t16[0], 65535);
    for (int i = 1; i < 256; ++i) {
        ASSERT_LE(t8[i], t8[i - 1]) << i;
    }
    for (int i = 1; i < 65536; ++i) {
        ASSERT_LE(t16[i], t16[i - 1]) << i;
    }
    // 0.2 at half a range (luma 0.8), and well down by luma 1.
    EXPECT_NEAR(t8[204], 51, 1);
    EXPECT_LT(t8[255], 20);
    EXPECT_GT(t8[255], 0);
}

TEST(ToneLutTables, SplineUndershootClampsToZero) {
    // This bump's natural spline dips below 0 just inside its outer points.
    ToneCurve probe;
    probe.setPoints(0.3, 0.0, 0.4, 0.2, 0.5, 1.0, 0.6, 0.2, 0.7, 0.0);
    probe.clampOutput = false;
    ASSERT_LT(probe.evaluate(85 / 255.0), 0.0);
    auto lut = std::make_unique<ToneLut>();
    lut->setBump(0.5, 0.2);
    const uint8_t* t8 = lut->table8();
    EXPECT_EQ(t8[85], 0);
    EXPECT_EQ(t8[0], 0);
    EXPECT_EQ(t8[255], 0);
    EXPECT_GE(t8[128], 250); // luma 0.502, next to the peak
}

TEST(ToneLutRebuilds, LazyPerDepthAndOnlyOnRealChange) {
    auto lut = std::make_unique<ToneLut>();
    lut->setBump(0.3, 1.0);
    lut->table8();
    lut->table8();
    EXPECT_EQ(lut->builds8(), 1u);
    EXPECT_FALSE(lut->dirty8());
    EXPECT_TRUE(lut->dirty16());

    lut->setBump(0.3, 1.0);
    EXPECT_FALSE(lut->dirty8());
    lut->table8();
    EXPECT_EQ(lut->builds8(), 1u);

    lut->setBump(0.35, 1.0);
    EXPECT_TRUE(lut->dirty8());
    EXPECT_TRUE(lut->dirty16());
    const uint8_t before = lut->table8()[170];
    EXPECT_EQ(lut->builds8(), 2u);
    lut->setBump(0.35, 0.5);
    EXPECT_NE(lut->table8()[170], before);
    // An 8-bit project never pays for the 16-bit table.
    EXPECT_EQ(lut->builds16(), 0u);

    lut->table16();
    lut->setBump(0.35, 0.5);
    EXPECT_FALSE(lut->dirty16());
    lut->table16();
    EXPECT_EQ(lut->builds16(), 1u);
}

TEST(ToneLutRebuilds, TablesAgreeAcrossDepths) {
    auto lut = std::make_unique<ToneLut>();
    lut->setBump(0.45, 0.7);
    const uint8_t* t8 = lut->table8();
    const uint16_t* t16 = lut->table16();
    for (int i = 0; i < 256; ++i) {
        // Same luma i / 255 = (i * 257) / 65535.
        EXPECT_NEAR(t8[i], t16[i * 257] / 257.0, 1.0) << i;
    }
}
