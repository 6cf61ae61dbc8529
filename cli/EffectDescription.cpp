#include "cli/EffectDescription.h"

#include "cli/Commands.h"

namespace zpcli {

EffectDescription describeEffect(const std::shared_ptr<headless::Plugin>& plugin) {
    headless::Host host(plugin);
    EffectDescription d;
    PF_Err err = host.send(PF_Cmd_ABOUT);
    if (err != PF_Err_NONE)
        throw PluginError(err, "about");
    d.about = host.outData().return_msg;
    err = host.send(PF_Cmd_GLOBAL_SETUP);
    if (err != PF_Err_NONE)
        throw PluginError(err, "global setup");
    err = host.send(PF_Cmd_PARAMS_SETUP);
    if (err != PF_Err_NONE) {
        (void)host.send(PF_Cmd_GLOBAL_SETDOWN);
        throw PluginError(err, "parameter setup");
    }
    d.numParams = host.outData().num_params;
    d.params = host.declared();
    (void)host.send(PF_Cmd_GLOBAL_SETDOWN);
    return d;
}

const char* paramKindName(PF_ParamType t) {
    switch (t) {
    case PF_Param_CHECKBOX:
        return "checkbox";
    case PF_Param_COLOR:
        return "color";
    case PF_Param_POPUP:
        return "popup";
    case PF_Param_FLOAT_SLIDER:
        return "slider";
    case PF_Param_PATH:
        return "mask";
    case PF_Param_GROUP_START:
        return "group";
    case PF_Param_GROUP_END:
        return "end";
    default:
        return "?";
    }
}

} // namespace zpcli
