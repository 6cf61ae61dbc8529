// The effect library's one export. Routes each host command to its handler and makes sure
// that nothing but an error code ever travels back into the host.
#include "effect/Command.h"

#include "effect/Handlers.h"
#include "effect/ParamUI.h"
#include "effect/ProductInfo.h"
#include "effect/RenderEntry.h"
#include "effect/SequenceCommands.h"
#include "host/LayoutChecks.h"
#include "render/HostError.h"
#include "render/HostMapCache.h"
#include "render/KeptStore.h"
#include "render/RenderState.h"

#include <cstdio>
#include <new>

namespace {

struct CommandArgs {
    PF_InData* in_data;
    PF_OutData* out_data;
    PF_ParamDef** params;
    PF_LayerDef* output;
    void* extra;
};

using Handler = PF_Err (*)(const CommandArgs&);

PF_Err routeAbout(const CommandArgs& a) {
    return aboutCommand(a.out_data);
}
// Kept label maps go to the host's compute cache when it has one; a host without it is no
// error (frames then keep them in the library's own store).
PF_Err routeGlobalSetup(const CommandArgs& a) {
    const PF_Err err = globalSetup(a.out_data);
    if (err == PF_Err_NONE && a.in_data != nullptr)
        HostMapCache::registerClass(a.in_data->pica_basicP);
    return err;
}
// Unregistering deletes every map the host keeps for us; the library's store gives back what no
// frame holds.
PF_Err routeGlobalSetdown(const CommandArgs& a) {
    if (a.in_data != nullptr)
        HostMapCache::unregisterClass(a.in_data->pica_basicP);
    KeptStore::library().clear();
    return PF_Err_NONE;
}
PF_Err routeParamsSetup(const CommandArgs& a) {
    return paramsSetup(a.in_data, a.out_data);
}
PF_Err routeSequenceSetup(const CommandArgs& a) {
    return sequenceSetup(a.in_data, a.out_data);
}
PF_Err routeSequenceResetup(const CommandArgs& a) {
    return sequenceResetup(a.in_data, a.out_data);
}
PF_Err routeSequenceFlatten(const CommandArgs& a) {
    return sequenceFlatten(a.in_data, a.out_data);
}
PF_Err routeSequenceSetdown(const CommandArgs& a) {
    return sequenceSetdown(a.in_data, a.out_data);
}
// Routed only where the headers know the command (effect API 13.25 and up).
[[maybe_unused]] PF_Err routeGetFlattened(const CommandArgs& a) {
    return sequenceGetFlattened(a.in_data, a.out_data);
}
PF_Err routeUserChangedParam(const CommandArgs& a) {
    return userChangedParam(a.in_data, a.out_data, a.params,
                            static_cast<const PF_UserChangedParamExtra*>(a.extra));
}
PF_Err routeUpdateParamsUI(const CommandArgs& a) {
    return updateParamsUI(a.in_data, a.params);
}
// The render commands get the sequence's render state, read from the record without locking
// (through the sequence data suite when the host offers it) and never written. A sequence
// without one of its own (flattened, or a record copied from another sequence or left over from
// one set down) is refused before any world is checked out.
PF_Err routeRender(const CommandArgs& a) {
    RenderState* state = nullptr;
    if (const PF_Err err = renderStateFor(a.in_data, state); err != PF_Err_NONE)
        return err;
    if (state == nullptr)
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    return renderCommand(state, a.in_data, a.params, a.output);
}
PF_Err routeSmartPreRender(const CommandArgs& a) {
    if (a.extra == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    return smartPreRender(a.in_data, static_cast<PF_PreRenderExtra*>(a.extra));
}
PF_Err routeSmartRender(const CommandArgs& a) {
    if (a.extra == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    RenderState* state = nullptr;
    if (const PF_Err err = renderStateFor(a.in_data, state); err != PF_Err_NONE)
        return err;
    if (state == nullptr)
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    return smartRender(state, a.in_data, static_cast<PF_SmartRenderExtra*>(a.extra));
}

// Indexed by command number; null entries are commands the effect does not use.
constexpr Handler kRoutes[PF_Cmd_NUM_CMDS] = {
    routeAbout,            // PF_Cmd_ABOUT
    routeGlobalSetup,      // PF_Cmd_GLOBAL_SETUP
    nullptr,               // (no command)
    routeGlobalSetdown,    // PF_Cmd_GLOBAL_SETDOWN
    routeParamsSetup,      // PF_Cmd_PARAMS_SETUP
    routeSequenceSetup,    // PF_Cmd_SEQUENCE_SETUP
    routeSequenceResetup,  // PF_Cmd_SEQUENCE_RESETUP
    routeSequenceFlatten,  // PF_Cmd_SEQUENCE_FLATTEN
    routeSequenceSetdown,  // PF_Cmd_SEQUENCE_SETDOWN
    nullptr,               // PF_Cmd_DO_DIALOG
    nullptr,               // PF_Cmd_FRAME_SETUP
    routeRender,           // PF_Cmd_RENDER
    nullptr,               // PF_Cmd_FRAME_SETDOWN
    routeUserChangedParam, // PF_Cmd_USER_CHANGED_PARAM
    routeUpdateParamsUI,   // PF_Cmd_UPDATE_PARAMS_UI
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,             // 15 to 22
    routeSmartPreRender, // PF_Cmd_SMART_PRE_RENDER
    routeSmartRender,    // PF_Cmd_SMART_RENDER
    nullptr,
    nullptr,
    nullptr, // 25 to 27
#if ZP_HOST_THREADED
    routeGetFlattened, // PF_Cmd_GET_FLATTENED_SEQUENCE_DATA
#endif
};

} // namespace

PF_Err aboutCommand(PF_OutData* out_data) {
    std::snprintf(out_data->return_msg, sizeof out_data->return_msg, "%s v%s",
                  product::kDisplayName, product::kVersionText);
    return PF_Err_NONE;
}

PF_Err globalSetup(PF_OutData* out_data) {
    out_data->out_flags |= static_cast<PF_OutFlags>(product::kOutFlags);
    out_data->out_flags2 |= static_cast<PF_OutFlags2>(product::kReportedOutFlags2);
    out_data->my_version = product::kMyVersion;
    return PF_Err_NONE;
}

PF_Err dispatchCommand(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                       PF_LayerDef* output, void* extra) {
    // Negative numbers become large unsigned values and fall out with the unknown ones.
    const auto number = static_cast<uint32_t>(cmd);
    if (number >= PF_Cmd_NUM_CMDS)
        return PF_Err_NONE;
    const Handler handler = kRoutes[number];
    if (handler == nullptr)
        return PF_Err_NONE;
    try {
        return handler(CommandArgs{in_data, out_data, params, output, extra});
    } catch (const HostError& e) {
        return e.code();
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;
    } catch (...) {
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
}

extern "C" ZP_EXPORT PF_Err command(const char* base_name, PF_Cmd cmd, PF_InData* in_data,
                                    PF_OutData* out_data, PF_ParamDef* params[],
                                    PF_LayerDef* output, void* extra) {
    (void)base_name; // the loader's own name; no handler needs it
    return dispatchCommand(cmd, in_data, out_data, params, output, extra);
}
