#include "effect/ParamUI.h"

#include "render/ParamLayout.h"
#include "render/ParamReaders.h"
#include "render/SuiteHolder.h"

namespace {

// Greys out or enables one control and shows it to the host; the disclosure stays closed.
void showControl(const PF_ParamUtilsSuite1* utils, PF_InData* in_data, PF_ParamDef* params[],
                 int index, bool enabled) {
    PF_ParamDef& def = *params[index];
    if (enabled) {
        def.ui_flags &= ~PF_PUI_DISABLED;
    } else {
        def.ui_flags |= PF_PUI_DISABLED;
    }
    def.flags |= PF_ParamFlag_COLLAPSE_TWIRLY;
    utils->PF_UpdateParamUI(in_data->effect_ref, index, &def);
}

// Whether a mask selector names a mask, read fresh at the current time (a failed read counts
// as no mask).
bool hasMask(PF_InData* in_data, int index) {
    return ParamReader(in_data).path(index) != 0;
}

} // namespace

PF_Err updateParamsUI(PF_InData* in_data, PF_ParamDef* params[]) {
    SuiteHolder<PF_ParamUtilsSuite1> utils(in_data->pica_basicP);
    if (params == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    for (int g = 0; g < params::kAdjustGroups; ++g) {
        const bool enabled = hasMask(in_data, params::adjustMask(g));
        for (int s = 0; s < params::kAdjustSliders; ++s)
            showControl(utils.get(), in_data, params, params::adjustSlider(g, s), enabled);
    }
    for (int k = 0; k < params::kColorizeSlots; ++k) {
        const bool enabled = hasMask(in_data, params::colorizeMask(k));
        showControl(utils.get(), in_data, params, params::colorizeColor(k), enabled);
        showControl(utils.get(), in_data, params, params::colorizeOpacity(k), enabled);
    }
    // Position and range shape the glow's luma weight, which "Normal" does not use.
    const bool weighted = params[params::kGlowBlend]->u.pd.value != params::kBlendNormal;
    showControl(utils.get(), in_data, params, params::kGlowPosition, weighted);
    showControl(utils.get(), in_data, params, params::kGlowRange, weighted);
    return PF_Err_NONE;
}

PF_Err userChangedParam(PF_InData*, PF_OutData* out_data, PF_ParamDef* params[],
                        const PF_UserChangedParamExtra* extra) {
    if (extra == nullptr || params == nullptr)
        return PF_Err_NONE;
    if (extra->param_index != params::kForceUpdate)
        return PF_Err_NONE;
    PF_ParamDef& box = *params[params::kForceUpdate];
    if (box.u.bd.value == 0)
        return PF_Err_NONE;
    box.u.bd.value = 0;
    box.uu.change_flags |= PF_ChangeFlag_CHANGED_VALUE;
    out_data->out_flags |= PF_OutFlag_FORCE_RERENDER;
    return PF_Err_NONE;
}
