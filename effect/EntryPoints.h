// The two entry points of the deliverables: the loader's `PluginMain`, which the host calls, and
// the effect library's `command`, which the loader calls with its own base name in front of the
// host's arguments.
#pragma once

#include "host/HostApi.h"

extern "C" {
typedef PF_Err (*PluginMainFunc)(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                 PF_ParamDef* params[], PF_LayerDef* output, void* extra);
typedef PF_Err (*EffectCommandFunc)(const char* base_name, PF_Cmd cmd, PF_InData* in_data,
                                    PF_OutData* out_data, PF_ParamDef* params[],
                                    PF_LayerDef* output, void* extra);
}
