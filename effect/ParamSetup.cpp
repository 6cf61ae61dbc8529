// Declares the effect's parameter list. The order and count are what stored projects refer
// to, so they follow the index table in ParamLayout.h exactly.
#include "effect/Handlers.h"
#include "render/ParamLayout.h"

#include <cstdio>
#include <cstring>

namespace {

class Declarer {
public:
    explicit Declarer(PF_InData* in_data) : in_(in_data) {}

    // Each call returns the host's result; the caller decides whether it ends setup.
    PF_Err groupStart(const char* name, PF_ParamFlags flags) {
        PF_ParamDef def = blank(PF_Param_GROUP_START, name);
        def.flags = flags;
        return add(def);
    }
    PF_Err groupEnd() {
        PF_ParamDef def = blank(PF_Param_GROUP_END, "");
        return add(def);
    }
    PF_Err mask(const char* name) {
        PF_ParamDef def = blank(PF_Param_PATH, name);
        def.flags = PF_ParamFlag_SUPERVISE;
        def.u.path_d.dephault = 0;
        return add(def);
    }
    PF_Err slider(const char* name, float lo, float hi, float dflt) {
        PF_ParamDef def = blank(PF_Param_FLOAT_SLIDER, name);
        PF_FloatSliderDef& s = def.u.fs_d;
        s.valid_min = s.slider_min = lo;
        s.valid_max = s.slider_max = hi;
        s.value = dflt;
        s.dephault = dflt;
        s.precision = 1;
        return add(def);
    }
    PF_Err color(const char* name) {
        PF_ParamDef def = blank(PF_Param_COLOR, name);
        def.u.cd.value = def.u.cd.dephault = PF_Pixel{255, 255, 255, 255};
        return add(def);
    }
    PF_Err popup(const char* name, const char* choices, short count, short dflt) {
        PF_ParamDef def = blank(PF_Param_POPUP, name);
        def.flags = PF_ParamFlag_SUPERVISE;
        def.u.pd.num_choices = count;
        def.u.pd.dephault = dflt;
        def.u.pd.value = dflt;
        def.u.pd.u.namesptr = choices;
        return add(def);
    }
    PF_Err checkbox(const char* name, PF_ParamFlags flags) {
        PF_ParamDef def = blank(PF_Param_CHECKBOX, name);
        def.flags = flags;
        def.u.bd.u.nameptr = "";
        return add(def);
    }

private:
    static PF_ParamDef blank(PF_ParamType type, const char* name) {
        PF_ParamDef def;
        std::memset(&def, 0, sizeof def);
        def.param_type = type;
        std::snprintf(def.name, sizeof def.name, "%s", name);
        return def;
    }
    PF_Err add(PF_ParamDef& def) { return in_->inter.add_param(in_->effect_ref, -1, &def); }

    PF_InData* in_;
};

// Sliders of an adjust group in index order, with their ranges.
struct SliderSpec {
    const char* name;
    float lo;
    float hi;
};
constexpr SliderSpec kAdjustSliderSpecs[params::kAdjustSliders] = {
    {"Hue", -360.0f, 360.0f},         {"Saturation", -100.0f, 100.0f},
    {"Brightness", -100.0f, 100.0f},  {"Contrast", -100.0f, 100.0f},
    {"Gamma", -100.0f, 100.0f},       {"Red", -100.0f, 100.0f},
    {"Green", -100.0f, 100.0f},       {"Blue", -100.0f, 100.0f},
    {"Temperature", -100.0f, 100.0f}, {"Cyan/Magenta", -100.0f, 100.0f},
    {"Effects", 0.0f, 100.0f},
};

} // namespace

// Declarations whose refusal would shift every later index end setup with the host's code;
// the others are declared on regardless, as hosts have always seen this list.
PF_Err paramsSetup(PF_InData* in_data, PF_OutData* out_data) {
    Declarer d(in_data);
    char name[PF_MAX_EFFECT_PARAM_NAME_LEN + 1];
    PF_Err err = PF_Err_NONE;

    if ((err = d.checkbox("Force update", PF_ParamFlag_SUPERVISE | PF_ParamFlag_CANNOT_TIME_VARY)))
        return err;

    for (int g = 0; g < params::kAdjustGroups; ++g) {
        std::snprintf(name, sizeof name, "Adjust %d", g + 1);
        if ((err = d.groupStart(name, g == 0 ? 0 : PF_ParamFlag_START_COLLAPSED)))
            return err;
        if ((err = d.mask("Mask")))
            return err;
        for (const SliderSpec& s : kAdjustSliderSpecs)
            d.slider(s.name, s.lo, s.hi, 0.0f);
        if ((err = d.groupEnd()))
            return err;
    }

    d.groupStart("Colorize", 0);
    for (int k = 0; k < params::kColorizeSlots; ++k) {
        std::snprintf(name, sizeof name, "Mask %d", k + 1);
        if ((err = d.mask(name)))
            return err;
        std::snprintf(name, sizeof name, "Color %d", k + 1);
        if ((err = d.color(name)))
            return err;
        std::snprintf(name, sizeof name, "Opacity %d", k + 1);
        d.slider(name, 0.0f, 100.0f, 100.0f);
    }
    d.groupEnd();

    d.groupStart("Blur", 0);
    d.slider("Amount", 0.0f, 50.0f, 0.0f);
    d.groupEnd();

    d.groupStart("Fill Light", 0);
    d.slider("Brightness", 0.0f, 500.0f, 0.0f);
    d.slider("Position", 0.0f, 100.0f, 0.0f);
    d.slider("Range", 0.0f, 100.0f, 80.0f);
    d.groupEnd();

    d.groupStart("Diffusion/Glow", 0);
    d.slider("Amount", 0.0f, 500.0f, 0.0f);
    d.slider("Blur", 0.0f, 100.0f, 20.0f);
    if ((err = d.color("Color")))
        return err;
    if ((err = d.popup("Blend", "Add|Normal|Screen", 3, params::kBlendScreen)))
        return err;
    d.slider("Position", 0.0f, 100.0f, 100.0f);
    d.slider("Range", 0.0f, 100.0f, 80.0f);
    d.groupEnd();

    d.groupStart("Options", 0);
    if ((err = d.popup("Link Masks", "Mask Color|Mask Name", 2, params::kLinkMaskName)))
        return err;
    err = d.groupEnd();

    out_data->num_params = params::kNumParams;
    return err;
}
