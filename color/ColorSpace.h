// Colour-space conversions and the gamma curve of the colour adjuster. Single precision; the
// adjuster calls these per pixel and zone, so they live here inline.
//
// Channel values are floats with 1.0 as full; values outside 0..1 (float images) are accepted
// and converted by the same formulas, without clamping.
#pragma once

#include <cmath>
#include <cstdint>

struct Yiq {
    float y, i, q;
};

struct Hsv {
    float h; // degrees 0..360, or -1 for a pixel without hue (saturation 0)
    float s;
    float v;
};

struct Rgb {
    float r, g, b;
};

// Luma Y and chroma I, Q. Each sum is taken left to right: the tint's grey test depends on
// I and Q of black, white and 0.5 grey coming out exactly 0 in this order.
inline Yiq rgbToYiq(float r, float g, float b) {
    Yiq out;
    out.y = 0.299f * r + 0.587f * g + 0.114f * b;
    out.i = 0.595716f * r - 0.274453f * g - 0.321263f * b;
    out.q = 0.211456f * r - 0.522591f * g + 0.311135f * b;
    return out;
}

// Ties for the largest channel go to red, then green. A pixel with s == 0 (grey, or largest
// channel 0) gets h = -1.
inline Hsv rgbToHsv(float r, float g, float b) {
    float mx = r;
    if (g > mx)
        mx = g;
    if (b > mx)
        mx = b;
    float mn = r;
    if (g < mn)
        mn = g;
    if (b < mn)
        mn = b;
    const float delta = mx - mn;
    const float s = mx == 0.0f ? 0.0f : delta / mx;
    if (s == 0.0f)
        return Hsv{-1.0f, 0.0f, mx};
    float h;
    if (r == mx) {
        h = (g - b) / delta;
    } else if (g == mx) {
        h = 2.0f + (b - r) / delta;
    } else {
        h = 4.0f + (r - g) / delta;
    }
    h = h * 60.0f;
    if (h < 0.0f)
        h += 360.0f;
    return Hsv{h, s, mx};
}

// h in degrees; exactly 360 is taken as 0. Sectors below 0 count as 0, sectors past 5 (and a
// NaN hue) give the sector-0 colour.
inline Rgb hsvToRgb(float h, float s, float v) {
    if (s == 0.0f)
        return Rgb{v, v, v};
    if (h == 360.0f)
        h = 0.0f;
    h = h / 60.0f;
    float sector = std::floor(h);
    // The comparison also sends NaN to sector 0, so the int conversion below never sees it.
    if (!(sector >= 0.0f))
        sector = 0.0f;
    const int i = sector < 6.0f ? static_cast<int>(sector) : 0;
    const float f = h - sector;
    const float p = (1.0f - s) * v;
    const float q = (1.0f - f * s) * v;
    const float t = (1.0f - (1.0f - f) * s) * v;
    // Which of (v, p, q, t) each channel takes, by sector. An indexed pick instead of a switch:
    // the sector varies from pixel to pixel, and a jump per pixel mispredicts badly.
    static constexpr uint8_t pick[6][3] = {{0, 3, 1}, {2, 0, 1}, {1, 0, 3},
                                           {1, 2, 0}, {3, 1, 0}, {0, 1, 2}};
    const float choices[4] = {v, p, q, t};
    return Rgb{choices[pick[i][0]], choices[pick[i][1]], choices[pick[i][2]]};
}

// fmod(x, 360) bit for bit, without the library call on the range a hue shift produces
// (turns -1..1 times 360 plus a hue 0..360). The subtractions are exact there (the operands
// are within a factor of two of each other), so they give fmod's exact result; -360 itself,
// whose fmod is -0, and everything else still go through fmod.
inline float wrapDegrees(float x) {
    if (x > -360.0f && x < 360.0f)
        return x;
    if (x >= 360.0f && x < 720.0f)
        return x - 360.0f;
    if (x > -720.0f && x < -360.0f)
        return x + 360.0f;
    return std::fmod(x, 360.0f);
}

// The gamma bend: through (0, 0) and (1, 1) for k in -1..1, brightening for k > 0; the curves
// for k and -k are inverse to each other. k must not be 0 (the adjuster skips the stage then).
inline float gammaCurve(float x, float k) {
    const float onem = 1.0f - k;
    const float d = 4.0f * k * x + onem * onem;
    const float s = d > 0.0f ? std::sqrt(d) : 0.0f;
    return (s - k * x - onem) / k;
}
