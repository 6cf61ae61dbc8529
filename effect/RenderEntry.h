// The host's two ways of asking for a frame: the plain render command (8/16-bit, input as
// parameter 0) and the smart pre-render / smart render pair (8, 16 or 32-bit float).
#pragma once

#include "host/HostApi.h"
#include "image/PixelBuffer.h"

struct RenderState;

// Both render commands refuse (PF_Err_BAD_CALLBACK_PARAM, nothing written) a world whose data
// address or row bytes is not a multiple of its channel size.
PF_Err renderCommand(RenderState* state, PF_InData* in_data, PF_ParamDef* params[],
                     PF_LayerDef* output);
PF_Err smartPreRender(PF_InData* in_data, PF_PreRenderExtra* extra);
PF_Err smartRender(RenderState* state, PF_InData* in_data, PF_SmartRenderExtra* extra);

// Merges `src` into `dst` (left, top, right, bottom; empty when left >= right or top >=
// bottom): an empty destination becomes a copy of the source, otherwise a non-empty source
// widens it; on equal values the destination keeps its own.
void unionRect(const PF_LRect& src, PF_LRect& dst);

// The smart render's areas: the input area (−oy, −ox, H − oy, W − ox) and the output area
// (oy, ox, oy + H, ox + W), both cut down to what lies inside both buffers at the same offset,
// so nothing outside either world is read or written.
void smartRenderRects(int32_t originX, int32_t originY, const PixelBuffer& input,
                      const PixelBuffer& output, Rect& inputRect, Rect& outputRect);
