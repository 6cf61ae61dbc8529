// The effect library's entry: `command` is the only exported symbol.
#pragma once

#include "host/HostApi.h"

#if defined(_WIN32)
#define ZP_EXPORT __declspec(dllexport)
#else
#define ZP_EXPORT __attribute__((visibility("default")))
#endif

// Routes one host command; never lets an exception escape (out of memory becomes
// PF_Err_OUT_OF_MEMORY, a HostError its own code, anything else PF_Err_INTERNAL_STRUCT_DAMAGED).
PF_Err dispatchCommand(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                       PF_LayerDef* output, void* extra);

extern "C" ZP_EXPORT PF_Err command(const char* base_name, PF_Cmd cmd, PF_InData* in_data,
                                    PF_OutData* out_data, PF_ParamDef* params[],
                                    PF_LayerDef* output, void* extra);
