// The colour engine of one zone: a tint stage (YIQ: the pixel keeps its luma and takes the tint
// colour's chroma), a hue/saturation stage (HSV) and a tone stage (brightness, contrast, gamma,
// channel gains, temperature, cyan/magenta) read from three 16000-entry tables.
#pragma once

#include "color/AdjusterSettings.h"

#include <cstdint>
#include <memory>

class ColorAdjuster {
public:
    // Entry i of each tone table stands for the input i / (toneTableSize - 1).
    static constexpr int32_t toneTableSize = 16000;

    // Starts with both stages off and the tables allocated but unfilled; the cached settings
    // have the tint fields 0..4 at 1 and the rest at 0.
    ColorAdjuster();
    ColorAdjuster(const ColorAdjuster&) = delete;
    ColorAdjuster& operator=(const ColorAdjuster&) = delete;
    ColorAdjuster(ColorAdjuster&&) = delete;
    ColorAdjuster& operator=(ColorAdjuster&&) = delete;

    // Accepts new settings. The effects weight is always taken over; the tint and tone stages
    // are re-derived only when their group really changed (exact comparison), so constant
    // settings never rebuild the tables. Must not run while any thread is inside apply().
    void setSettings(const AdjusterSettings& next);

    // Changes one float pixel in place: argb[0] alpha, argb[1..3] red, green, blue, 1.0 as
    // full; values outside 0..1 (float images) are allowed and not clamped except where the
    // tint's colour path clamps. Alpha becomes the effects weight; the incoming alpha is
    // ignored. Reads the adjuster only: safe from many threads at once.
    void apply(float* argb) const;

    const AdjusterSettings& settings() const { return settings_; }
    bool tintActive() const { return tintActive_; }
    bool toneActive() const { return toneActive_; }
    float tintI() const { return tintI_; }
    float tintQ() const { return tintQ_; }
    // Read-only views of the tone tables (toneTableSize entries each); valid once toneActive()
    // has been true.
    const float* redTable() const { return redTable_.get(); }
    const float* greenTable() const { return greenTable_.get(); }
    const float* blueTable() const { return blueTable_.get(); }
    // How many times the tone tables were rebuilt since construction.
    uint64_t tableBuilds() const { return tableBuilds_; }

private:
    void rebuildTables();
    float toneDirect(float x, int channel) const;

    AdjusterSettings settings_;
    std::unique_ptr<float[]> redTable_;
    std::unique_ptr<float[]> greenTable_;
    std::unique_ptr<float[]> blueTable_;
    float tintI_ = 0.0f;
    float tintQ_ = 0.0f;
    bool tintActive_ = false;
    bool toneActive_ = false;
    uint64_t tableBuilds_ = 0;
};
