#include "color/ToneCurve.h"

#include <cstddef>

void ToneCurve::setPoints(double x0, double y0, double x1, double y1, double x2, double y2,
                          double x3, double y3, double x4, double y4) {
    points.resize(5);
    points[0] = CurvePoint{x0, y0, 0.0};
    points[1] = CurvePoint{x1, y1, 0.0};
    points[2] = CurvePoint{x2, y2, 0.0};
    points[3] = CurvePoint{x3, y3, 0.0};
    points[4] = CurvePoint{x4, y4, 0.0};
    interpolation = Spline;
    splineDirty = true;
    clampOutput = true;
}

bool ToneCurve::isIdentity() const {
    return points.size() == 2 && points[0].x == 0.0 && points[0].y == 0.0 && points[1].x == 1.0 &&
           points[1].y == 1.0;
}

double ToneCurve::linear(double x) const {
    for (size_t i = 0; i < points.size(); ++i) {
        const CurvePoint& p = points[i];
        if (p.x == x)
            return p.y;
        if (p.x > x) {
            if (i == 0)
                return p.y;
            const CurvePoint& a = points[i - 1];
            return a.y + (x - a.x) * (p.y - a.y) / (p.x - a.x);
        }
    }
    return points.back().y;
}

// Natural spline: y2 is 0 at both ends; the interior rows form a tridiagonal system solved by
// forward elimination and back substitution. The boundary zeros drop out of the first and last
// rows, so only the interior unknowns take part.
void ToneCurve::solveSpline() {
    const size_t n = points.size();
    points[0].y2 = 0.0;
    points[n - 1].y2 = 0.0;
    if (n < 3)
        return;
    // Scratch for the eliminated super-diagonal and right-hand side; once per setPoints.
    std::vector<double> cPrime(n, 0.0);
    std::vector<double> dPrime(n, 0.0);
    for (size_t i = 1; i + 1 < n; ++i) {
        const double hPrev = points[i].x - points[i - 1].x;
        const double h = points[i + 1].x - points[i].x;
        const double sPrev = (points[i].y - points[i - 1].y) / hPrev;
        const double s = (points[i + 1].y - points[i].y) / h;
        const double a = hPrev;
        const double b = 2.0 * (hPrev + h);
        const double c = h;
        const double d = 6.0 * (s - sPrev);
        const double m = (i == 1) ? b : b - a * cPrime[i - 1];
        cPrime[i] = c / m;
        dPrime[i] = (i == 1) ? d / m : (d - a * dPrime[i - 1]) / m;
    }
    points[n - 2].y2 = dPrime[n - 2];
    for (size_t i = n - 2; i-- > 1;) {
        points[i].y2 = dPrime[i] - cPrime[i] * points[i + 1].y2;
    }
}

double ToneCurve::evaluate(double x) {
    double result;
    if (points.empty()) {
        result = x;
    } else if (x <= points.front().x) {
        result = points.front().y;
    } else if (x >= points.back().x) {
        result = points.back().y;
    } else if (interpolation == Linear) {
        result = linear(x);
    } else if (interpolation == Spline) {
        if (points.size() == 2) {
            result = linear(x);
        } else {
            if (splineDirty) {
                solveSpline();
                splineDirty = false;
            }
            // The bound keeps an unsorted list (or a NaN x) inside the points.
            size_t i = 0;
            while (i + 2 < points.size() && x > points[i + 1].x) {
                ++i;
            }
            const CurvePoint& p = points[i];
            const CurvePoint& q = points[i + 1];
            const double h = q.x - p.x;
            const double t = x - p.x;
            result = p.y + t * ((q.y - p.y) / h - (2.0 * p.y2 + q.y2) * h / 6.0 +
                                t * (p.y2 * 0.5 + t * (q.y2 - p.y2) / (6.0 * h)));
        }
    } else {
        return x;
    }
    if (clampOutput) {
        if (result < 0.0)
            result = 0.0;
        if (result > 1.0)
            result = 1.0;
    }
    return result;
}
