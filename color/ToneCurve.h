// A curve through control points, piecewise linear or a natural cubic spline; the tone lookup
// tables sample it. Everything is in doubles.
#pragma once

#include <cstdint>
#include <vector>

struct CurvePoint {
    double x = 0.0;
    double y = 0.0;
    double y2 = 0.0; // the spline's second derivative at the point
};

class ToneCurve {
public:
    enum : int32_t { Linear = 0, Spline = 1 }; // any other value passes input through

    // Sorted by x ascending: the caller's duty, not checked (an unsorted list gives some value
    // but never reads outside the points).
    std::vector<CurvePoint> points;
    int32_t interpolation = Spline;
    bool splineDirty = true; // y2 must be recomputed before the next spline evaluation
    bool clampOutput = true; // every result of evaluate() is clamped to 0..1

    // Exactly five points (x0, y0) .. (x4, y4) with y2 = 0; switches to a clamped spline.
    void setPoints(double x0, double y0, double x1, double y1, double x2, double y2, double x3,
                   double y3, double x4, double y4);

    // True exactly for the two points (0, 0) and (1, 1).
    bool isIdentity() const;

    // No points: x itself. Left of the first point: its y; right of the last: its y. Between:
    // by `interpolation`. May recompute the spline, hence not const.
    double evaluate(double x);

private:
    double linear(double x) const;
    void solveSpline();
};
