#include "render/Strokes.h"

#include "render/Mask.h"
#include "tests/support/CountingMemoryHandler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A one-byte raster with guard bytes on every side: rows are laid out with a gap to the
// left and right and guard rows above and below, so a write past any edge lands on a guard.
class GuardedRaster {
public:
    static constexpr int kGuard = 5;
    static constexpr uint8_t kGuardValue = 0xA5;

    GuardedRaster(int width, int height)
        : width_(width), height_(height), stride_(width + 2 * kGuard),
          bytes_(static_cast<size_t>(stride_) * (height + 2 * kGuard), kGuardValue) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                bytes_[index(x, y)] = 0;
        buffer_.data = buffer_.row0 = &bytes_[index(0, 0)];
        buffer_.width = width;
        buffer_.height = height;
        buffer_.channels = buffer_.bytesPerChannel = buffer_.bytesPerPixel = 1;
        buffer_.rowBytes = buffer_.rowStep = stride_;
        buffer_.bounds = Rect{0, 0, height, width};
    }

    PixelBuffer& buffer() { return buffer_; }
    int width() const { return width_; }
    int height() const { return height_; }
    uint8_t at(int x, int y) const { return bytes_[index(x, y)]; }

    std::vector<uint8_t> pixels() const {
        std::vector<uint8_t> out;
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                out.push_back(at(x, y));
        return out;
    }
    void clear() {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                bytes_[index(x, y)] = 0;
    }
    bool guardsIntact() const {
        for (size_t i = 0; i < bytes_.size(); ++i) {
            const int y = static_cast<int>(i / stride_) - kGuard;
            const int x = static_cast<int>(i % stride_) - kGuard;
            const bool inside = x >= 0 && x < width_ && y >= 0 && y < height_;
            if (!inside && bytes_[i] != kGuardValue)
                return false;
        }
        return true;
    }

private:
    size_t index(int x, int y) const {
        return static_cast<size_t>(y + kGuard) * stride_ + static_cast<size_t>(x + kGuard);
    }
    int width_, height_, stride_;
    std::vector<uint8_t> bytes_;
    PixelBuffer buffer_;
};

// Expected images are built from rectangles, clipped like the raster clips.
struct Image {
    int width, height;
    std::vector<uint8_t> px;
    Image(int w, int h) : width(w), height(h), px(static_cast<size_t>(w) * h, 0) {}
    void put(int64_t x, int64_t y, uint8_t v) {
        if (x >= 0 && x < width && y >= 0 && y < height)
            px[y * width + x] = v;
    }
    // Rows top..bottom and columns left..right, both inclusive.
    void paint(int64_t left, int64_t top, int64_t right, int64_t bottom, uint8_t v) {
        for (int64_t y = top; y <= bottom; ++y)
            for (int64_t x = left; x <= right; ++x)
                put(x, y, v);
    }
};

std::string describeDifference(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want,
                               int width) {
    std::ostringstream s;
    int shown = 0;
    for (size_t i = 0; i < got.size() && shown < 8; ++i) {
        if (got[i] != want[i]) {
            s << " (" << i % width << "," << i / width << ") got " << int(got[i]) << " want "
              << int(want[i]) << ";";
            ++shown;
        }
    }
    return s.str();
}

#define EXPECT_IMAGE(raster, image)                                                                \
    do {                                                                                           \
        const auto got_ = (raster).pixels();                                                       \
        EXPECT_TRUE(got_ == (image).px) << describeDifference(got_, (image).px, (image).width);    \
    } while (0)

// ---- A deliberately plain reference rasteriser ----------------------------------------------
// Every pixel write is bounds-checked on its own and the clip works in 128-bit arithmetic, so
// it shares neither the clipping of rectangles nor the product handling with the code under
// test.
__extension__ typedef __int128 Wide;

Wide truncDiv(Wide a, Wide b) {
    return a / b;
} // C++ division truncates toward zero

bool referenceClip(int w, int h, int64_t& x0, int64_t& y0, int64_t& x1, int64_t& y1) {
    auto code = [&](int64_t x, int64_t y) {
        int c = 0;
        if (x < 0)
            c |= 1;
        if (x > w - 1)
            c |= 2;
        if (y < 0)
            c |= 4;
        if (y > h - 1)
            c |= 8;
        return c;
    };
    int c0 = code(x0, y0), c1 = code(x1, y1);
    if ((c0 & c1) != 0)
        return false;
    if (c0 == 0 && c1 == 0)
        return true;
    if ((c0 & 12) != 0) {
        const int64_t e = (c0 & 4) ? 0 : h - 1;
        x0 = static_cast<int64_t>(x0 + truncDiv(Wide(x1 - x0) * (e - y0), Wide(y1 - y0)));
        y0 = e;
        c0 = code(x0, 0) & 3;
    }
    if ((c1 & 12) != 0) {
        const int64_t e = (c1 & 4) ? 0 : h - 1;
        x1 = static_cast<int64_t>(x1 + truncDiv(Wide(x1 - x0) * (e - y1), Wide(y1 - y0)));
        y1 = e;
        c1 = code(x1, 0) & 3;
    }
    if ((c0 & c1) != 0)
        return false;
    if (c0 != 0) {
        const int64_t e = (c0 & 1) ? 0 : w - 1;
        y0 = static_cast<int64_t>(y0 + truncDiv(Wide(y1 - y0) * (e - x0), Wide(x1 - x0)));
        x0 = e;
    }
    if (c1 != 0) {
        const int64_t e = (c1 & 1) ? 0 : w - 1;
        y1 = static_cast<int64_t>(y1 + truncDiv(Wide(e - x1) * (y1 - y0), Wide(x1 - x0)));
        x1 = e;
    }
    return true;
}

void referenceLine(Image& img, int64_t x0, int64_t y0, int64_t x1, int64_t y1, uint8_t v) {
    if (!referenceClip(img.width, img.height, x0, y0, x1, y1))
        return;
    const bool steep = std::llabs(y1 - y0) > std::llabs(x1 - x0);
    if (steep) {
        std::swap(x0, y0);
        std::swap(x1, y1);
    }
    if (x0 > x1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
    }
    const int64_t dx = x1 - x0, dy = std::llabs(y1 - y0);
    int64_t err = -(dx / 2), y = y0;
    for (int64_t x = x0; x <= x1; ++x) {
        const int64_t px = steep ? y : x, py = steep ? x : y;
        img.paint(px - 1, py - 1, px + 1, py + 1, v);
        err += dy;
        if (err > 0) {
            y += (y0 < y1) ? 1 : -1;
            err -= dx;
        }
    }
}

void referenceSegment(Image& img, int64_t x0, int64_t y0, int64_t x1, int64_t y1, uint8_t v) {
    if (x0 == x1) {
        if (x0 < 0 || x0 >= img.width)
            return;
        int64_t lo = std::min(y0, y1), hi = std::max(y0, y1);
        if (hi < 0 || lo >= img.height)
            return;
        lo = std::max<int64_t>(lo, 0);
        hi = std::min<int64_t>(hi, img.height);
        img.paint(x0 - 1, lo - 1, x0 + 1, hi, v);
    } else if (y0 == y1) {
        if (y0 < 0 || y0 >= img.height)
            return;
        int64_t lo = std::min(x0, x1), hi = std::max(x0, x1);
        if (hi < 0 || lo >= img.width)
            return;
        lo = std::max<int64_t>(lo, 0);
        hi = std::min<int64_t>(hi, img.width);
        img.paint(lo - 1, y0 - 1, hi, y0 + 1, v);
    } else {
        referenceLine(img, x0, y0, x1, y1, v);
    }
}

// Flattens one curved piece with `steps` equal steps, reference-drawn.
void referenceCurve(Image& img, const MaskVertex& a, const MaskVertex& b, int steps, uint8_t v) {
    // The power form the outline is specified with; a Bernstein form could round differently
    // where a coordinate lands exactly on a half pixel.
    auto at = [&](double t, double p0, double p1, double p2, double p3) {
        return p0 + 3.0 * (p1 - p0) * t + (3.0 * p0 - 6.0 * p1 + 3.0 * p2) * (t * t) +
               (3.0 * p1 - p0 - 3.0 * p2 + p3) * (t * t * t);
    };
    auto map = [](double c) { return static_cast<int64_t>(std::trunc(c + 0.5)); };
    int64_t px = map(a.x), py = map(a.y);
    for (int k = 1; k <= steps; ++k) {
        const double t = static_cast<double>(k) / steps;
        const int64_t qx = map(at(t, a.x, a.x + a.tan_out_x, b.x + b.tan_in_x, b.x));
        const int64_t qy = map(at(t, a.y, a.y + a.tan_out_y, b.y + b.tan_in_y, b.y));
        referenceSegment(img, px, py, qx, qy, v);
        px = qx;
        py = qy;
    }
}

MaskVertex vertex(double x, double y) {
    MaskVertex v;
    v.x = x;
    v.y = y;
    return v;
}

Mask* newMask(std::vector<MaskVertex> vertices, uint16_t label) {
    Mask* m = new Mask;
    m->vertices = std::move(vertices);
    m->label = label;
    return m;
}

// Every raster a test makes is checked for writes past its edges when the test ends.
class StrokeTest : public ::testing::Test {
protected:
    GuardedRaster& raster(int width, int height) {
        rasters_.push_back(std::make_unique<GuardedRaster>(width, height));
        return *rasters_.back();
    }
    void draw(GuardedRaster& r, const std::vector<MaskVertex>& vertices, uint16_t label,
              double sx = 1.0, double sy = 1.0, int32_t ox = 0, int32_t oy = 0) {
        MaskRef mask(newMask(vertices, label));
        drawMaskOutline(r.buffer(), *mask, sx, sy, ox, oy);
    }
    void TearDown() override {
        for (const auto& r : rasters_)
            EXPECT_TRUE(r->guardsIntact()) << "a byte outside the raster was written";
    }

private:
    std::vector<std::unique_ptr<GuardedRaster>> rasters_;
};

// ---- Outlines ------------------------------------------------------------------------------

TEST_F(StrokeTest, FewerThanTwoVerticesDrawNothing) {
    GuardedRaster& r = raster(20, 20);
    draw(r, {}, 2);
    draw(r, {vertex(10, 10)}, 2);
    EXPECT_IMAGE(r, Image(20, 20));
}

TEST_F(StrokeTest, ClosedRectangleDrawsFourThreePixelLinesAndLeavesTheInsideEmpty) {
    GuardedRaster& r = raster(40, 30);
    draw(r, {vertex(10, 10), vertex(30, 10), vertex(30, 20), vertex(10, 20), vertex(10, 10)}, 7);
    Image want(40, 30);
    want.paint(9, 9, 30, 11, 7);  // top edge, (10,10)-(30,10): columns 9..30
    want.paint(29, 9, 31, 20, 7); // right edge, rows 9..20 (half-open at the far end)
    want.paint(9, 19, 30, 21, 7); // bottom edge
    want.paint(9, 9, 11, 20, 7);  // closing left edge
    EXPECT_IMAGE(r, want);
    EXPECT_EQ(r.at(31, 21), 0) << "the far ends of spans are half-open";
    for (int y = 12; y <= 18; ++y)
        for (int x = 12; x <= 28; ++x)
            ASSERT_EQ(r.at(x, y), 0);
}

TEST_F(StrokeTest, OpenPathHasNoClosingSegment) {
    GuardedRaster& r = raster(40, 30);
    draw(r, {vertex(10, 10), vertex(30, 10), vertex(30, 20), vertex(10, 20)}, 3);
    Image want(40, 30);
    want.paint(9, 9, 30, 11, 3);
    want.paint(29, 9, 31, 20, 3);
    want.paint(9, 19, 30, 21, 3);
    EXPECT_IMAGE(r, want);
    EXPECT_EQ(r.at(10, 15), 0);
}

TEST_F(StrokeTest, PieceWithOnlyOneTangentIsFlattenedInFiftySteps) {
    MaskVertex a = vertex(4, 40), b = vertex(116, 44);
    b.tan_in_x = 10;
    b.tan_in_y = -60; // a's out-tangent stays (0, 0)
    GuardedRaster& r = raster(128, 64);
    draw(r, {a, b}, 5);

    Image fifty(128, 64), fewer(128, 64), straight(128, 64);
    referenceCurve(fifty, a, b, 50, 5);
    referenceCurve(fewer, a, b, 49, 5);
    referenceSegment(straight, 4, 40, 116, 44, 5);
    EXPECT_IMAGE(r, fifty);
    EXPECT_NE(r.pixels(), fewer.px) << "step count must be visible in this curve";
    EXPECT_NE(r.pixels(), straight.px);
}

TEST_F(StrokeTest, NegativeZeroTangentsStillMakeAStraightPiece) {
    MaskVertex a = vertex(4, 10), b = vertex(60, 12);
    a.tan_out_y = 0.0;
    a.tan_out_x = 0.0;
    b.tan_in_x = 0.0;
    b.tan_in_y = -0.0; // negative zero is still zero: a straight piece
    GuardedRaster& r = raster(64, 32);
    draw(r, {a, b}, 4);
    Image want(64, 32);
    referenceSegment(want, 4, 10, 60, 12, 4);
    EXPECT_IMAGE(r, want);

    a.tan_out_y = 25; // only the start tangent set: curved as well
    GuardedRaster& r2 = raster(64, 32);
    draw(r2, {a, b}, 4);
    Image curved(64, 32);
    referenceCurve(curved, a, b, 50, 4);
    EXPECT_IMAGE(r2, curved);
}

TEST_F(StrokeTest, MaskWhollyOutsideTheFrameLeavesTheRasterUnchanged) {
    GuardedRaster& r = raster(32, 24);
    MaskVertex c = vertex(-40, -5);
    c.tan_out_x = -30;
    draw(r, {vertex(-50, -50), vertex(-2, -50), c, vertex(-60, 30), vertex(-50, -50)}, 9);
    // Spans just past the last column or above the first row are dropped whole, although the
    // pen would have reached into the raster.
    draw(r, {vertex(32, 0), vertex(32, 23)}, 9);
    draw(r, {vertex(0, -2), vertex(31, -2)}, 9); // -2 + 0.5 truncates to row -1
    EXPECT_IMAGE(r, Image(32, 24));
}

TEST_F(StrokeTest, SegmentsCrossingTheFrameAreDrawnOnlyInside) {
    GuardedRaster& r = raster(32, 24);
    draw(r, {vertex(-100, 12), vertex(500, 12)}, 2);
    Image want(32, 24);
    want.paint(0, 11, 31, 13, 2);
    EXPECT_IMAGE(r, want);

    GuardedRaster& d = raster(32, 24);
    draw(d, {vertex(-40, -30), vertex(70, 50)}, 6);
    Image diagonal(32, 24);
    referenceLine(diagonal, -40, -30, 70, 50, 6);
    EXPECT_IMAGE(d, diagonal);
    EXPECT_NE(d.pixels(), Image(32, 24).px);
}

TEST_F(StrokeTest, DownsamplingScalesBeforeRounding) {
    GuardedRaster& r = raster(64, 40);
    draw(r, {vertex(101, 51), vertex(101, 51)}, 2, 0.5, 0.5);
    Image want(64, 40);
    want.paint(50, 25, 52, 26, 2); // a single point at (51, 26): rows y - 1 and y only
    EXPECT_IMAGE(r, want);
}

TEST_F(StrokeTest, MappingTruncatesTowardZeroAndSubtractsTheOrigin) {
    GuardedRaster& r = raster(16, 16);
    // -1.2 + 0.5 = -0.7 truncates to 0 (rounding down would give -1, off the raster).
    draw(r, {vertex(-1.2, 5), vertex(-1.2, 5)}, 2);
    Image want(16, 16);
    want.paint(0, 4, 1, 5, 2);
    EXPECT_IMAGE(r, want);

    GuardedRaster& off = raster(16, 16);
    draw(off, {vertex(-2.2, 5), vertex(-2.2, 5)}, 2); // -1.7 -> -1: outside
    EXPECT_IMAGE(off, Image(16, 16));

    GuardedRaster& shifted = raster(16, 16);
    draw(shifted, {vertex(25, 13), vertex(25, 13)}, 2, 1.0, 1.0, 20, 4);
    Image moved(16, 16);
    moved.paint(4, 8, 6, 9, 2);
    EXPECT_IMAGE(shifted, moved);
}

TEST_F(StrokeTest, LaterStrokeWinsWhereStrokesCross) {
    const std::vector<MaskVertex> across{vertex(2, 10), vertex(30, 10)};
    const std::vector<MaskVertex> down{vertex(15, 1), vertex(15, 20)};
    GuardedRaster& r = raster(32, 24);
    draw(r, across, 2);
    draw(r, down, 3);
    EXPECT_EQ(r.at(15, 10), 3);
    EXPECT_EQ(r.at(5, 10), 2);
    GuardedRaster& r2 = raster(32, 24);
    draw(r2, down, 3);
    draw(r2, across, 2);
    EXPECT_EQ(r2.at(15, 10), 2);
    EXPECT_EQ(r2.at(15, 5), 3);
}

TEST_F(StrokeTest, LabelIsWrittenAsItsLowByte) {
    GuardedRaster& r = raster(8, 8);
    draw(r, {vertex(4, 4), vertex(4, 4)}, 0x0123);
    EXPECT_EQ(r.at(4, 4), 0x23);
}

TEST_F(StrokeTest, NonFiniteAndHugeCoordinatesStayInsideTheRaster) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();

    // An infinitely long piece is drawn where it crosses the raster.
    GuardedRaster& r = raster(32, 24);
    draw(r, {vertex(20, 12), vertex(inf, 12)}, 2);
    Image want(32, 24);
    want.paint(19, 11, 31, 13, 2);
    EXPECT_IMAGE(r, want);

    GuardedRaster& huge = raster(32, 24);
    draw(huge, {vertex(-1e300, 5), vertex(1e12, 5)}, 2);
    Image row(32, 24);
    row.paint(0, 4, 31, 6, 2);
    EXPECT_IMAGE(huge, row);

    // A NaN end draws nothing, but the outline's other pieces are still drawn.
    GuardedRaster& n = raster(32, 24);
    draw(n, {vertex(nan, 3), vertex(10, 10), vertex(20, 10)}, 4);
    Image rest(32, 24);
    rest.paint(9, 9, 20, 11, 4);
    EXPECT_IMAGE(n, rest);

    // Non-finite tangents and scales, extreme origins: only containment can be asked for.
    GuardedRaster& z = raster(32, 24);
    MaskVertex a = vertex(5, 5), b = vertex(25, 20);
    a.tan_out_x = inf;
    b.tan_in_y = nan;
    draw(z, {a, b, vertex(-inf, inf), vertex(1e18, -1e18)}, 5);
    draw(z, {vertex(3, 3), vertex(30, 20)}, 5, inf, 1.0);
    draw(z, {vertex(3, 3), vertex(30, 20)}, 5, 1.0, 1.0, INT32_MAX, INT32_MIN);
    draw(z, {vertex(3e9, -3e9), vertex(-3e9, 3e9)}, 5, 1.0, 1.0, INT32_MIN, INT32_MAX);
    draw(z, {vertex(2147483647.0, 10), vertex(-2147483648.0, 12)}, 5);
    EXPECT_TRUE(z.guardsIntact());
}

TEST_F(StrokeTest, RasterWithoutPixelsReceivesNothing) {
    zptest::CountingMemoryHandler handler;
    PixelBuffer empty = makeRaster8(0, 10, handler);
    MaskRef mask(newMask({vertex(0, 0), vertex(5, 5)}, 2));
    drawMaskOutline(empty, *mask, 1.0, 1.0, 0, 0);
    StrokePen pen{&empty, 2, 3};
    drawSegment(pen, 0, 0, 0, 5);
    stamp(pen, 0, 0);
    fillRect(pen, Rect{0, 0, 10, 10});
    releasePixels(empty, &handler);
    EXPECT_EQ(handler.live(), 0);
}

TEST_F(StrokeTest, OutlineOnAnAllocatedRaster) {
    zptest::CountingMemoryHandler handler;
    {
        ScopedPixels scoped(makeRaster8(20, 10, handler), &handler);
        MaskRef mask(newMask({vertex(2, 2), vertex(17, 2)}, 9));
        drawMaskOutline(scoped.get(), *mask, 1.0, 1.0, 0, 0);
        EXPECT_EQ(scoped.get().row(1)[1], 9);
        EXPECT_EQ(scoped.get().row(3)[17], 9);
        EXPECT_EQ(scoped.get().row(3)[18], 0);
        EXPECT_EQ(scoped.get().row(4)[5], 0);
    }
    EXPECT_EQ(handler.live(), 0);
}

// ---- Segments ------------------------------------------------------------------------------

TEST_F(StrokeTest, VerticalSegmentIsHalfOpenAtItsFarEnd) {
    GuardedRaster& r = raster(20, 16);
    StrokePen pen{&r.buffer(), 1, 3};
    drawSegment(pen, 10, 5, 10, 8);
    Image want(20, 16);
    want.paint(9, 4, 11, 8, 1); // rows 4..8, not 9
    EXPECT_IMAGE(r, want);

    r.clear();
    drawSegment(pen, 10, 8, 10, 5); // direction does not matter
    EXPECT_IMAGE(r, want);
}

TEST_F(StrokeTest, HorizontalSegmentIsHalfOpenAtItsFarEnd) {
    GuardedRaster& r = raster(20, 16);
    StrokePen pen{&r.buffer(), 1, 3};
    drawSegment(pen, 8, 10, 5, 10);
    Image want(20, 16);
    want.paint(4, 9, 8, 11, 1); // columns 4..8
    EXPECT_IMAGE(r, want);
}

TEST_F(StrokeTest, SpansClampedAtTheFarEdgeReachTheLastRowAndColumn) {
    GuardedRaster& r = raster(12, 12);
    StrokePen pen{&r.buffer(), 1, 3};
    drawSegment(pen, 11, -50, 11, 900);
    drawSegment(pen, -50, 11, 900, 11);
    Image want(12, 12);
    want.paint(10, 0, 11, 11, 1);
    want.paint(0, 10, 11, 11, 1);
    EXPECT_IMAGE(r, want);
}

TEST_F(StrokeTest, DiagonalStampsBothEnds) {
    GuardedRaster& r = raster(16, 16);
    StrokePen pen{&r.buffer(), 8, 3};
    drawLine(pen, 3, 3, 7, 7);
    Image want(16, 16);
    for (int i = 3; i <= 7; ++i)
        want.paint(i - 1, i - 1, i + 1, i + 1, 8);
    EXPECT_IMAGE(r, want);
}

TEST_F(StrokeTest, StampAndFillRectAreClippedToTheRaster) {
    GuardedRaster& r = raster(10, 8);
    StrokePen pen{&r.buffer(), 3, 3};
    stamp(pen, 0, 0);
    stamp(pen, 9, 7);
    stamp(pen, -2, 4);                // wholly outside: nothing
    stamp(pen, INT32_MAX, INT32_MIN); // no wrap-around into the raster
    stamp(pen, INT32_MIN, INT32_MAX);
    Image want(10, 8);
    want.paint(0, 0, 1, 1, 3);
    want.paint(8, 6, 9, 7, 3);
    EXPECT_IMAGE(r, want);

    fillRect(pen, Rect{-5, -5, 2, 3});
    fillRect(pen, Rect{5, 5, 5, 9}); // empty
    fillRect(pen, Rect{INT32_MIN, 9, INT32_MAX, INT32_MAX});
    want.paint(0, 0, 2, 1, 3);
    want.paint(9, 0, 9, 7, 3);
    EXPECT_IMAGE(r, want);
}

TEST(ClipSegment, AcceptsInsideUnchangedAndRejectsSegmentsOutside) {
    GuardedRaster r(20, 10);
    int32_t x0 = 1, y0 = 2, x1 = 19, y1 = 9;
    EXPECT_TRUE(clipSegment(r.buffer(), x0, y0, x1, y1));
    EXPECT_EQ((std::vector<int32_t>{x0, y0, x1, y1}), (std::vector<int32_t>{1, 2, 19, 9}));

    x0 = -5, y0 = 2, x1 = -1, y1 = 8; // both left
    EXPECT_FALSE(clipSegment(r.buffer(), x0, y0, x1, y1));
    // Outside on different sides but missing the corner: rejected after the row clip.
    x0 = -10, y0 = 5, x1 = 5, y1 = -10;
    EXPECT_FALSE(clipSegment(r.buffer(), x0, y0, x1, y1));
}

TEST(ClipSegment, QuotientsTruncateTowardZero) {
    GuardedRaster r(20, 20);
    // y0 = 6 + (5 - 6) * (0 - -10) / (10 - -10) = 6 + trunc(-0.5) = 6 (floor would give 5).
    int32_t x0 = -10, y0 = 6, x1 = 10, y1 = 5;
    ASSERT_TRUE(clipSegment(r.buffer(), x0, y0, x1, y1));
    EXPECT_EQ((std::vector<int32_t>{x0, y0, x1, y1}), (std::vector<int32_t>{0, 6, 10, 5}));

    // Second end below: x1 = 3 + (3 - 0) * (19 - 30) / (30 - 0) = 3 + trunc(-1.1) = 2.
    x0 = 0, y0 = 0, x1 = 3, y1 = 30;
    ASSERT_TRUE(clipSegment(r.buffer(), x0, y0, x1, y1));
    EXPECT_EQ((std::vector<int32_t>{x0, y0, x1, y1}), (std::vector<int32_t>{0, 0, 2, 19}));
}

TEST(ClipSegment, ExtremeEndsNeedNoMoreThan64Bits) {
    GuardedRaster r(100, 100);
    int32_t x0 = INT32_MIN, y0 = INT32_MIN, x1 = INT32_MAX, y1 = INT32_MAX;
    ASSERT_TRUE(clipSegment(r.buffer(), x0, y0, x1, y1));
    EXPECT_EQ((std::vector<int32_t>{x0, y0, x1, y1}), (std::vector<int32_t>{0, 0, 99, 99}));

    // x + y = 99 crosses the raster corner to corner.
    x0 = INT32_MAX, y0 = INT32_MIN + 100, x1 = INT32_MIN + 100, y1 = INT32_MAX;
    ASSERT_TRUE(clipSegment(r.buffer(), x0, y0, x1, y1));
    EXPECT_EQ((std::vector<int32_t>{x0, y0, x1, y1}), (std::vector<int32_t>{99, 0, 0, 99}));

    // x + y = -1 passes the raster's top-left corner by.
    x0 = INT32_MAX, y0 = INT32_MIN, x1 = INT32_MIN, y1 = INT32_MAX;
    EXPECT_FALSE(clipSegment(r.buffer(), x0, y0, x1, y1));
}

// ---- Randomised ----------------------------------------------------------------------------

int32_t randomCoordinate(std::mt19937& rng, int extent) {
    switch (rng() % 6) {
    case 0:
        return static_cast<int32_t>(rng()); // anywhere in 32 bits
    case 1:
        return std::uniform_int_distribution<int32_t>(-1000000, 1000000)(rng);
    case 2:
        return rng() % 2 ? INT32_MAX - static_cast<int32_t>(rng() % 3)
                         : INT32_MIN + static_cast<int32_t>(rng() % 3);
    default:
        return std::uniform_int_distribution<int32_t>(-8, extent + 8)(rng);
    }
}

TEST_F(StrokeTest, RandomLinesMatchThePlainReferenceAndStayInside) {
    std::mt19937 rng(20240611);
    GuardedRaster& r = raster(37, 23);
    for (int i = 0; i < 6000; ++i) {
        const int32_t x0 = randomCoordinate(rng, 37), y0 = randomCoordinate(rng, 23);
        const int32_t x1 = randomCoordinate(rng, 37), y1 = randomCoordinate(rng, 23);
        const uint8_t value = static_cast<uint8_t>(1 + rng() % 250);
        r.clear();
        drawLine(StrokePen{&r.buffer(), value, 3}, x0, y0, x1, y1);
        Image want(37, 23);
        referenceLine(want, x0, y0, x1, y1, value);
        const auto got = r.pixels();
        ASSERT_TRUE(got == want.px) << "line (" << x0 << "," << y0 << ")-(" << x1 << "," << y1
                                    << ")" << describeDifference(got, want.px, 37);

        r.clear();
        drawSegment(StrokePen{&r.buffer(), value, 3}, x0, y0, x1, y1);
        Image seg(37, 23);
        referenceSegment(seg, x0, y0, x1, y1, value);
        ASSERT_TRUE(r.pixels() == seg.px)
            << "segment (" << x0 << "," << y0 << ")-(" << x1 << "," << y1 << ")";
        ASSERT_TRUE(r.guardsIntact()) << "segment " << i;
    }
}

TEST_F(StrokeTest, RandomOutlinesNeverWriteOutsideTheRaster) {
    std::mt19937 rng(7);
    const double specials[] = {std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN(),
                               1e300,
                               -1e300,
                               4294967296.0,
                               -2147483649.5,
                               0.0};
    auto value = [&](double lo, double hi) {
        if (rng() % 10 == 0)
            return specials[rng() % 8];
        return std::uniform_real_distribution<double>(lo, hi)(rng);
    };
    GuardedRaster& r = raster(29, 17);
    for (int i = 0; i < 1500; ++i) {
        std::vector<MaskVertex> vs(rng() % 6);
        for (MaskVertex& v : vs) {
            v.x = value(-40, 70);
            v.y = value(-40, 60);
            if (rng() % 2) {
                v.tan_in_x = value(-50, 50);
                v.tan_in_y = value(-50, 50);
                v.tan_out_x = value(-50, 50);
                v.tan_out_y = value(-50, 50);
            }
        }
        const double scale = rng() % 4 == 0 ? 0.25 : 1.0;
        const int32_t ox = rng() % 5 == 0 ? static_cast<int32_t>(rng()) : 0;
        draw(r, vs, static_cast<uint16_t>(rng() % 40), scale, scale, ox, ox / -3);
        ASSERT_TRUE(r.guardsIntact()) << "outline " << i;
    }
}

} // namespace
