#include "color/ColorAdjuster.h"

#include "color/ColorSpace.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kTableLast = static_cast<float>(ColorAdjuster::toneTableSize - 1);

// Brightness, contrast and gamma, each only when non-zero: a zero stage must not even round.
inline float toneCurve(float v, const AdjusterSettings& s) {
    if (s.brightness != 0.0f)
        v = v * (s.brightness + 1.0f);
    if (s.contrast != 0.0f)
        v = (v - 0.5f) * (s.contrast + 1.0f) + 0.5f;
    if (s.gamma != 0.0f)
        v = gammaCurve(v, s.gamma);
    return v;
}

// The per-channel factors. The tables and the direct path for out-of-range values share them,
// so both give the same value for the same input.
inline float redOut(float v, const AdjusterSettings& s) {
    return (1.0f - s.temperature) * (s.cyanMagenta + 1.0f) * ((s.redGain + 1.0f) * v);
}
inline float greenOut(float v, const AdjusterSettings& s) {
    return (s.greenGain + 1.0f) * v * (1.0f - s.cyanMagenta);
}
inline float blueOut(float v, const AdjusterSettings& s) {
    return (std::fabs(s.cyanMagenta) + 1.0f) * (s.temperature + 1.0f) * ((s.blueGain + 1.0f) * v);
}

// The input pixel's grey with the tint's grey-path weights (not the YIQ luma weights).
inline float inputGrey(float r, float g, float b) {
    return 0.59f * g + 0.3f * r + 0.11f * b;
}

} // namespace

ColorAdjuster::ColorAdjuster()
    : redTable_(std::make_unique_for_overwrite<float[]>(toneTableSize)),
      greenTable_(std::make_unique_for_overwrite<float[]>(toneTableSize)),
      blueTable_(std::make_unique_for_overwrite<float[]>(toneTableSize)) {
    // Not the neutral record: the tint amount starts at 1 too, so the first real settings
    // always compare unequal in the tint group and decide the tint stage afresh.
    settings_.tintAmount = 1.0f;
}

void ColorAdjuster::setSettings(const AdjusterSettings& next) {
    settings_.effects = next.effects;

    if (!sameTint(next, settings_)) {
        const bool opaqueWhite = next.tintAlpha == 1.0f && next.tintRed == 1.0f &&
                                 next.tintGreen == 1.0f && next.tintBlue == 1.0f;
        tintActive_ = !(opaqueWhite || next.tintAmount == 0.0f);
        if (tintActive_) {
            const Yiq yiq = rgbToYiq(next.tintRed, next.tintGreen, next.tintBlue);
            tintI_ = yiq.i;
            tintQ_ = yiq.q;
        }
        settings_.tintAlpha = next.tintAlpha;
        settings_.tintRed = next.tintRed;
        settings_.tintGreen = next.tintGreen;
        settings_.tintBlue = next.tintBlue;
        settings_.tintAmount = next.tintAmount;
    }

    if (sameTone(next, settings_))
        return;

    // Switching off keeps the old tables but caches the zeros, so coming back to the earlier
    // values later compares unequal and rebuilds: the tables always match the last active tone.
    toneActive_ = !toneIsNeutral(next);
    settings_.hue = next.hue;
    settings_.saturation = next.saturation;
    settings_.brightness = next.brightness;
    settings_.contrast = next.contrast;
    settings_.gamma = next.gamma;
    settings_.redGain = next.redGain;
    settings_.greenGain = next.greenGain;
    settings_.blueGain = next.blueGain;
    settings_.temperature = next.temperature;
    settings_.cyanMagenta = next.cyanMagenta;
    if (toneActive_)
        rebuildTables();
}

void ColorAdjuster::rebuildTables() {
    float* red = redTable_.get();
    float* green = greenTable_.get();
    float* blue = blueTable_.get();
    for (int32_t i = 0; i < toneTableSize; ++i) {
        const float v = toneCurve(static_cast<float>(i) / kTableLast, settings_);
        red[i] = redOut(v, settings_);
        green[i] = greenOut(v, settings_);
        blue[i] = blueOut(v, settings_);
    }
    ++tableBuilds_;
}

float ColorAdjuster::toneDirect(float x, int channel) const {
    const float v = toneCurve(x, settings_);
    if (channel == 0)
        return redOut(v, settings_);
    if (channel == 1)
        return greenOut(v, settings_);
    return blueOut(v, settings_);
}

void ColorAdjuster::apply(float* argb) const {
    const float r0 = argb[1];
    const float g0 = argb[2];
    const float b0 = argb[3];
    float r = r0;
    float g = g0;
    float b = b0;
    argb[0] = settings_.effects;

    if (tintActive_) {
        if (tintI_ == 0.0f && tintQ_ == 0.0f) {
            // A grey tint keeps float values above 1: this path has no clamp.
            r = g = b = inputGrey(r0, g0, b0);
        } else {
            const float y = 0.299f * r0 + 0.587f * g0 + 0.114f * b0;
            r = std::clamp(y + 0.9563f * tintI_ + 0.621f * tintQ_, 0.0f, 1.0f);
            g = std::clamp(y - 0.2721f * tintI_ - 0.6473f * tintQ_, 0.0f, 1.0f);
            b = std::clamp(y - 1.107f * tintI_ + 1.7046f * tintQ_, 0.0f, 1.0f);
        }
        const float a = settings_.tintAmount;
        if (a != 1.0f) {
            r = r0 * (1.0f - a) + a * r;
            g = g0 * (1.0f - a) + a * g;
            b = b0 * (1.0f - a) + a * b;
        }
    }

    if (toneActive_) {
        if (settings_.hue != 0.0f || settings_.saturation != 0.0f) {
            Hsv hsv = rgbToHsv(r, g, b);
            // A pixel without hue is left alone, desaturation included.
            if (hsv.h != -1.0f) {
                if (settings_.hue != 0.0f) {
                    hsv.h = wrapDegrees(settings_.hue * 360.0f + hsv.h);
                    if (hsv.h < 0.0f)
                        hsv.h += 360.0f;
                }
                if (settings_.saturation > 0.0f) {
                    hsv.s = std::clamp(hsv.s * (settings_.saturation + 1.0f), 0.0f, 1.0f);
                }
                const Rgb rgb = hsvToRgb(hsv.h, hsv.s, hsv.v);
                r = rgb.r;
                g = rgb.g;
                b = rgb.b;
                if (settings_.saturation < 0.0f) {
                    // Greys towards the input pixel's grey, taken before the tint.
                    const float m = settings_.saturation + 1.0f;
                    const float grey = inputGrey(r0, g0, b0);
                    r = m * r + (1.0f - m) * grey;
                    g = m * g + (1.0f - m) * grey;
                    b = m * b + (1.0f - m) * grey;
                }
            }
        }

        // In-range values are quantised down to the table's steps (no interpolation); values
        // outside 0..1, which only float images carry, take the same recipe directly.
        r = (r >= 0.0f && r <= 1.0f) ? redTable_[static_cast<int32_t>(r * kTableLast)]
                                     : toneDirect(r, 0);
        g = (g >= 0.0f && g <= 1.0f) ? greenTable_[static_cast<int32_t>(g * kTableLast)]
                                     : toneDirect(g, 1);
        b = (b >= 0.0f && b <= 1.0f) ? blueTable_[static_cast<int32_t>(b * kTableLast)]
                                     : toneDirect(b, 2);
    }

    argb[1] = r;
    argb[2] = g;
    argb[3] = b;
}
