// The command handlers that `command` routes to. Each returns the host's error code; any of
// them may throw (std::bad_alloc, HostError), and `command` turns that into a code.
#pragma once

#include "host/HostApi.h"

struct RenderState;

PF_Err aboutCommand(PF_OutData* out_data);
PF_Err globalSetup(PF_OutData* out_data);
PF_Err paramsSetup(PF_InData* in_data, PF_OutData* out_data);
