// A whole session of the effect in one host, and the host table slots such a session may call.
// Header-only so that the native tests and the cross-built Windows test host run the very same
// session: global and parameter setup, sequence setup, the parameter-UI commands, smart renders
// with masks linked by name and by colour, a plain render, flatten, resetup and the setdowns.
//
// The expected slots are written as numbers from the host's published tables, not taken from
// our declarations: a declaration that put a function in the wrong slot would make the effect
// call another slot, and the comparison would show it.
#pragma once

#include "headless/Host.h"
#include "headless/Worlds.h"
#include "render/ParamLayout.h"
#include "tests/support/CrossRenderScene.h"

#include <map>
#include <set>
#include <string>

namespace hostsession {

using SlotMap = std::map<std::string, std::set<int>>;

// The slots a full session calls, by table. The loader adds get_platform_data (slot 54 of the
// utility callbacks, at byte 432) to find the effect library beside it.
inline SlotMap expectedSlots(bool throughLoader) {
    SlotMap m = {
        {"SPBasicSuite", {0, 1}},                 // AcquireSuite, ReleaseSuite
        {"PF_InteractCallbacks", {0, 1, 2}},      // checkout_param, checkin_param, add_param
        {"PF_UtilCallbacks", {20, 21, 22, 23}},   // host_new/lock/unlock/dispose_handle
        {"PF_HandleSuite1", {0, 1, 2, 3}},        // new, lock, unlock, dispose
        {"AEGP_UtilitySuite4", {8}},              // AEGP_RegisterWithAEGP
        {"AEGP_PFInterfaceSuite1", {0}},          // AEGP_GetEffectLayer
        {"AEGP_MaskSuite4", {0, 1, 2, 5, 9, 14}}, // count, by index, dispose, mode, name, colour
        {"AEGP_StreamSuite2", {6, 7, 13, 14}},    // mask stream, dispose, value, dispose value
        {"AEGP_MaskOutlineSuite1", {1, 2}},       // segments, vertex
        {"PF_PathQuerySuite1", {0, 1, 2, 3}},     // count, info, checkout, checkin
        {"PF_PathDataSuite1", {10}},              // PF_PathGetName
        {"PF_ParamUtilsSuite1", {0}},             // PF_UpdateParamUI
        {"PF_PreRenderCallbacks", {0}},           // checkout_layer
        {"PF_SmartRenderCallbacks", {0, 2}},      // checkout_layer_pixels, checkout_output
        {"PF_EffectSequenceDataSuite1", {0}},     // PF_GetConstSequenceData
        // class register and unregister, compute and check out, value, check in
        {"AEGP_ComputeCacheSuite1", {0, 1, 2, 4, 5}},
        {"AEGP_HashSuite1", {0, 1}}, // hash, mix in
    };
    if (throughLoader)
        m["PF_UtilCallbacks"].insert(54);
    return m;
}

// Runs the session; returns the first command error (0 when every command succeeded).
inline PF_Err runFullSession(headless::Host& host) {
    PF_Err first = PF_Err_NONE;
    const auto keep = [&first](PF_Err err) {
        if (first == PF_Err_NONE)
            first = err;
    };
    keep(host.send(PF_Cmd_GLOBAL_SETUP));
    keep(host.send(PF_Cmd_PARAMS_SETUP));
    keep(host.send(PF_Cmd_SEQUENCE_SETUP));
    crossrender::applyScene(host);

    keep(host.send(PF_Cmd_UPDATE_PARAMS_UI));
    host.setCheckbox(params::kForceUpdate, 1);
    PF_UserChangedParamExtra changed{params::kForceUpdate};
    keep(host.send(PF_Cmd_USER_CHANGED_PARAM, &changed));

    // Masks linked by name (the default), then by colour, at two depths.
    keep(crossrender::renderScene(host, 8).err);
    host.setPopup(params::kLinkMasks, params::kLinkMaskColor);
    keep(crossrender::renderScene(host, 32).err);

    headless::HostWorld in(crossrender::kWidth, crossrender::kHeight, 2);
    crossrender::paintScene(in);
    headless::HostWorld out(crossrender::kWidth, crossrender::kHeight, 2);
    keep(host.extension<headless::RenderProtocol>().renderPlain(in, out));

    keep(host.send(PF_Cmd_SEQUENCE_FLATTEN));
    keep(host.send(PF_Cmd_SEQUENCE_RESETUP));
    keep(host.send(PF_Cmd_SEQUENCE_SETDOWN));
    keep(host.send(PF_Cmd_GLOBAL_SETDOWN));
    return first;
}

} // namespace hostsession
