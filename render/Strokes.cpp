#include "render/Strokes.h"

#include "render/Mask.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

namespace {

// The part of the raster that may be written: its bounds, never more than its pixels.
struct Area {
    int64_t top, left, bottom, right;
};

bool writableArea(const PixelBuffer* raster, Area& area) {
    if (raster == nullptr || raster->row0 == nullptr || raster->width < 1 || raster->height < 1)
        return false;
    area.top = std::max<int64_t>(0, raster->bounds.top);
    area.left = std::max<int64_t>(0, raster->bounds.left);
    area.bottom = std::min<int64_t>(raster->height, raster->bounds.bottom);
    area.right = std::min<int64_t>(raster->width, raster->bounds.right);
    return area.top < area.bottom && area.left < area.right;
}

// Rectangle ends arrive as 64-bit values so that pen offsets around coordinates near the
// ends of the 32-bit range cannot wrap before they are clipped.
void fillClipped(const StrokePen& pen, int64_t top, int64_t left, int64_t bottom, int64_t right) {
    Area area;
    if (!writableArea(pen.raster, area))
        return;
    top = std::max(top, area.top);
    left = std::max(left, area.left);
    bottom = std::min(bottom, area.bottom);
    right = std::min(right, area.right);
    if (top >= bottom || left >= right)
        return;
    const size_t count = static_cast<size_t>(right - left);
    for (int64_t y = top; y < bottom; ++y) {
        uint8_t* row = pen.raster->row(static_cast<int32_t>(y));
        std::memset(row + left, pen.value, count);
    }
}

// a * b / c truncated toward zero, from the exact product. The callers guarantee |b| <= |c|
// and c != 0, so the quotient is no larger than |a|. Every operand is a difference of two
// 32-bit values, so each magnitude is below 2^32 and the product of two below 2^64: exact in
// unsigned 64 bits where a signed 64-bit product could overflow.
int64_t mulDivTrunc(int64_t a, int64_t b, int64_t c) {
    const bool negative = ((a < 0) ^ (b < 0) ^ (c < 0)) != 0;
    const uint64_t ua = static_cast<uint64_t>(a < 0 ? -a : a);
    const uint64_t ub = static_cast<uint64_t>(b < 0 ? -b : b);
    const uint64_t uc = static_cast<uint64_t>(c < 0 ? -c : c);
    const uint64_t q = ua * ub / uc;
    return negative ? -static_cast<int64_t>(q) : static_cast<int64_t>(q);
}

enum : int { kLeft = 1, kRight = 2, kAbove = 4, kBelow = 8 };

int columnCode(int64_t x, int64_t maxX) {
    return x < 0 ? kLeft : (x > maxX ? kRight : 0);
}

int outCode(int64_t x, int64_t y, int64_t maxX, int64_t maxY) {
    return columnCode(x, maxX) | (y < 0 ? kAbove : (y > maxY ? kBelow : 0));
}

// One mapped coordinate: trunc(scale * p + 0.5) - origin. Values the 32-bit result cannot
// hold stay at the end of the range on their side, far outside any raster, so the clip
// keeps only the part of the segment that crosses the raster. NaN has no side and is refused.
bool mapCoordinate(double scale, double p, int32_t origin, int32_t& out) {
    const double v = scale * p + 0.5;
    if (std::isnan(v))
        return false;
    int64_t whole;
    if (v >= 2147483648.0) {
        whole = std::numeric_limits<int32_t>::max();
    } else if (v <= -2147483649.0) {
        whole = std::numeric_limits<int32_t>::min();
    } else {
        whole = static_cast<int64_t>(v); // truncates toward zero
    }
    out = static_cast<int32_t>(std::clamp<int64_t>(
        whole - origin, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
    return true;
}

struct MappedPoint {
    int32_t x = 0, y = 0;
    bool valid = false;
};

struct Mapping {
    double scaleX, scaleY;
    int32_t originX, originY;

    MappedPoint operator()(double px, double py) const {
        MappedPoint p;
        p.valid =
            mapCoordinate(scaleX, px, originX, p.x) && mapCoordinate(scaleY, py, originY, p.y);
        return p;
    }
};

void drawMapped(const StrokePen& pen, const MappedPoint& a, const MappedPoint& b) {
    if (a.valid && b.valid)
        drawSegment(pen, a.x, a.y, b.x, b.y);
}

// One coordinate of the cubic Bezier, in the form and order the outline is flattened with.
double bezier(double p0, double p1, double p2, double p3, double t) {
    return p0 + 3.0 * (p1 - p0) * t + (3.0 * p0 - 6.0 * p1 + 3.0 * p2) * (t * t) +
           (3.0 * p1 - p0 - 3.0 * p2 + p3) * (t * t * t);
}

constexpr int kCurveSteps = 50;

} // namespace

void fillRect(const StrokePen& pen, const Rect& rect) {
    fillClipped(pen, rect.top, rect.left, rect.bottom, rect.right);
}

void stamp(const StrokePen& pen, int32_t x, int32_t y) {
    const int64_t left = static_cast<int64_t>(x) - pen.width / 2;
    const int64_t top = static_cast<int64_t>(y) - pen.width / 2;
    fillClipped(pen, top, left, top + pen.width, left + pen.width);
}

bool clipSegment(const PixelBuffer& raster, int32_t& x0, int32_t& y0, int32_t& x1, int32_t& y1) {
    if (raster.width < 1 || raster.height < 1)
        return false;
    const int64_t maxX = raster.width - 1;
    const int64_t maxY = raster.height - 1;
    // Differences of 32-bit ends need 33 bits; work in 64.
    int64_t ax = x0, ay = y0, bx = x1, by = y1;
    int code0 = outCode(ax, ay, maxX, maxY);
    int code1 = outCode(bx, by, maxX, maxY);
    if (code0 & code1)
        return false;
    if ((code0 | code1) == 0)
        return true;

    if (code0 & (kAbove | kBelow)) {
        const int64_t e = code0 < kBelow ? 0 : maxY;
        ax = ax + mulDivTrunc(bx - ax, e - ay, by - ay);
        ay = e;
        code0 = columnCode(ax, maxX);
    }
    if (code1 & (kAbove | kBelow)) {
        const int64_t e = code1 < kBelow ? 0 : maxY;
        bx = bx + mulDivTrunc(bx - ax, e - by, by - ay);
        by = e;
        code1 = columnCode(bx, maxX);
    }
    if (code0 & code1)
        return false;
    if (code0 != 0) {
        const int64_t e = code0 == kLeft ? 0 : maxX;
        ay = ay + mulDivTrunc(by - ay, e - ax, bx - ax);
        ax = e;
    }
    if (code1 != 0) {
        const int64_t e = code1 == kLeft ? 0 : maxX;
        by = by + mulDivTrunc(e - bx, by - ay, bx - ax);
        bx = e;
    }
    // Each move slides an end toward the other one, so both now lie inside the raster.
    x0 = static_cast<int32_t>(ax);
    y0 = static_cast<int32_t>(ay);
    x1 = static_cast<int32_t>(bx);
    y1 = static_cast<int32_t>(by);
    return true;
}

void drawLine(const StrokePen& pen, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    if (pen.raster == nullptr || !clipSegment(*pen.raster, x0, y0, x1, y1))
        return;
    // Clipped ends lie inside the raster, so none of the differences below can overflow.
    const bool steep = std::abs(y1 - y0) > std::abs(x1 - x0);
    if (steep) {
        std::swap(x0, y0);
        std::swap(x1, y1);
    }
    if (x0 > x1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
    }
    const int32_t dx = x1 - x0;
    const int32_t dy = std::abs(y1 - y0);
    const int32_t ystep = y0 < y1 ? 1 : -1;
    int32_t error = -(dx / 2);
    int32_t y = y0;
    for (int32_t x = x0; x <= x1; ++x) {
        if (steep) {
            stamp(pen, y, x);
        } else {
            stamp(pen, x, y);
        }
        error += dy;
        if (error > 0) {
            y += ystep;
            error -= dx;
        }
    }
}

void drawSegment(const StrokePen& pen, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    if (pen.raster == nullptr)
        return;
    const int32_t width = pen.raster->width;
    const int32_t height = pen.raster->height;
    const int64_t half = pen.width / 2;
    if (x0 == x1) {
        if (x0 < 0 || x0 >= width)
            return;
        int64_t lo = std::min(y0, y1);
        int64_t hi = std::max(y0, y1);
        if (hi < 0 || lo >= height)
            return;
        lo = std::max<int64_t>(lo, 0);
        hi = std::min<int64_t>(hi, height);
        // The far end stays half-open: the square is whole at lo but stops at row hi.
        fillClipped(pen, lo - half, x0 - half, hi + half, x0 - half + pen.width);
        return;
    }
    if (y0 == y1) {
        if (y0 < 0 || y0 >= height)
            return;
        int64_t lo = std::min(x0, x1);
        int64_t hi = std::max(x0, x1);
        if (hi < 0 || lo >= width)
            return;
        lo = std::max<int64_t>(lo, 0);
        hi = std::min<int64_t>(hi, width);
        fillClipped(pen, y0 - half, lo - half, y0 - half + pen.width, hi + half);
        return;
    }
    drawLine(pen, x0, y0, x1, y1);
}

void drawMaskOutline(PixelBuffer& raster, const Mask& mask, double scaleX, double scaleY,
                     int32_t originX, int32_t originY) {
    const std::vector<MaskVertex>& v = mask.vertices;
    if (v.size() < 2)
        return;
    Area area;
    if (!writableArea(&raster, area))
        return;
    const StrokePen pen{&raster, static_cast<uint8_t>(mask.label & 0xFF), 3};
    const Mapping map{scaleX, scaleY, originX, originY};

    for (size_t i = 1; i < v.size(); ++i) {
        const MaskVertex& a = v[i - 1];
        const MaskVertex& b = v[i];
        const MappedPoint start = map(a.x, a.y);
        if (a.tan_out_x == 0 && a.tan_out_y == 0 && b.tan_in_x == 0 && b.tan_in_y == 0) {
            drawMapped(pen, start, map(b.x, b.y));
            continue;
        }
        // A fixed step count, however long or short the piece: the stroke's pixels must not
        // depend on anything but the four control points.
        const double p1x = a.x + a.tan_out_x, p1y = a.y + a.tan_out_y;
        const double p2x = b.x + b.tan_in_x, p2y = b.y + b.tan_in_y;
        MappedPoint previous = start;
        for (int k = 1; k <= kCurveSteps; ++k) {
            const double t = static_cast<double>(k) / kCurveSteps;
            const MappedPoint q = map(bezier(a.x, p1x, p2x, b.x, t), bezier(a.y, p1y, p2y, b.y, t));
            drawMapped(pen, previous, q);
            previous = q;
        }
    }
}
