#include "render/ParamReaders.h"

#include "color/ColorAdjuster.h"
#include "render/ParamLayout.h"

#include <cstring>

ParamReader::ParamReader(PF_InData* in_data) : in_(in_data) {}

const PF_ParamDef& ParamReader::read(int index) {
    std::memset(&def_, 0, sizeof def_);
    in_->inter.checkout_param(in_->effect_ref, index, in_->current_time, in_->time_step,
                              in_->time_scale, &def_);
    in_->inter.checkin_param(in_->effect_ref, &def_);
    return def_;
}

namespace {
// The adjust group's sliders in parameter order.
constexpr float AdjusterSettings::*kSliderFields[params::kAdjustSliders] = {
    &AdjusterSettings::hue,         &AdjusterSettings::saturation, &AdjusterSettings::brightness,
    &AdjusterSettings::contrast,    &AdjusterSettings::gamma,      &AdjusterSettings::redGain,
    &AdjusterSettings::greenGain,   &AdjusterSettings::blueGain,   &AdjusterSettings::temperature,
    &AdjusterSettings::cyanMagenta, &AdjusterSettings::effects,
};
} // namespace

void readAdjustGroup(PF_InData* in_data, int g, ColorAdjuster& adjuster) {
    ParamReader r(in_data);
    AdjusterSettings s; // tint fields at 1.0: an adjust group carries no tint of its own
    s.tintAlpha = s.tintRed = s.tintGreen = s.tintBlue = s.tintAmount = 1.0f;
    for (int i = 0; i < params::kAdjustSliders; ++i) {
        const float v = r.slider(params::adjustSlider(g, i));
        s.*kSliderFields[i] = i == params::kHue ? v / 360.0f : v / 100.0f;
    }
    adjuster.setSettings(s);
}

void readColorizeSlot(PF_InData* in_data, int k, ColorAdjuster& adjuster) {
    ParamReader r(in_data);
    AdjusterSettings s = adjuster.settings();
    const PF_Pixel c = r.color(params::colorizeColor(k));
    s.tintAlpha = static_cast<float>(c.alpha) / 255.0f;
    s.tintRed = static_cast<float>(c.red) / 255.0f;
    s.tintGreen = static_cast<float>(c.green) / 255.0f;
    s.tintBlue = static_cast<float>(c.blue) / 255.0f;
    s.tintAmount = r.slider(params::colorizeOpacity(k)) / 100.0f;
    adjuster.setSettings(s);
}
