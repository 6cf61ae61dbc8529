// Reading the layer's masks at the frame's time, and linking a group's chosen mask to every
// mask of the same colour or whose name begins with its name.
#pragma once

#include "host/HostApi.h"
#include "render/Mask.h"

#include <cstdint>

struct RenderState;
struct RenderContext;

// Rebuilds context.all_masks for the in-data's time through the suites the state holds. Host
// failures only shorten the list: after the first failed mask query no further mask is read.
// Every mask handle, stream and stream value taken is given back, on every path.
void gatherMasks(const RenderState& state, RenderContext& context, PF_InData* in_data);

// Link modes: the "Link Masks" popup value minus 1.
enum : uint32_t { kLinkByColor = 0, kLinkByName = 1 };

// Clears `out` and fills it with the masks of context.all_masks that the group whose selector
// names path `pathId` drives: for each mask carrying the path's name (in list order), every
// mask of exactly equal colour (by colour) or whose name begins with that mask's name (by
// name), in list order. Path 0, an unknown path or another mode link nothing.
void linkMasks(const RenderState& state, const RenderContext& context, PF_PathID pathId,
               MaskList& out, PF_InData* in_data, uint32_t mode);
