// Keeping the effect's controls in step with the user's choices: sliders of groups without a
// mask are greyed out, the glow's position and range under "Normal", and "Force update" acts
// as a push button.
#pragma once

#include "host/HostApi.h"

// Sends 152 PF_UpdateParamUI calls (adjust sliders, colorize colours and opacities, the glow's
// position and range) through "PF Param Utils Suite" 2; A_Err_MISSING_SUITE (thrown as a
// HostError) before any control is touched when the host has no such suite.
PF_Err updateParamsUI(PF_InData* in_data, PF_ParamDef* params[]);

// Unticks a ticked "Force update", marks the change and asks the host to render again.
PF_Err userChangedParam(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                        const PF_UserChangedParamExtra* extra);
