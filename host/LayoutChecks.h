// The host's record and suite layouts, pinned. Every number here is the host's own (Windows
// x64; Linux x86-64 lays the records out the same, since every member has a fixed width): the
// size and alignment of each record and suite table, the offset and size of each member, the
// constants, the version number each suite table is asked for by, and the exact types of the
// slots added for threaded rendering. Our own test hosts are built from the same declarations,
// so they cannot notice a layout that drifts; this table can, and any drift stops the build on
// every platform. It is checked against whichever declarations the build uses, the project's
// own or the official headers.
#pragma once

#include "host/HostApi.h"

#include <cstddef>
#include <string_view>
#include <type_traits>

#define ZP_HOST_SIZE(type, size, align)                                                            \
    static_assert(sizeof(type) == (size) && alignof(type) == (align), "layout of " #type)
#define ZP_HOST_MEMBER(type, member, offset, size)                                                 \
    static_assert(offsetof(type, member) == (offset) && sizeof(type::member) == (size),            \
                  "offset or size of " #type "::" #member)
#define ZP_HOST_CONSTANT(name, value) static_assert((name) == (value), "value of " #name)
#define ZP_HOST_TYPE(type, ...)                                                                    \
    static_assert(std::is_same_v<type, __VA_ARGS__>, "spelling of " #type)
#define ZP_HOST_SUITE(nameMacro, text, versionMacro, version)                                      \
    static_assert(std::string_view(nameMacro) == (text) && (versionMacro) == (version),            \
                  "name or version of " #nameMacro)

namespace zp_host_layout {

// PF_InData
ZP_HOST_SIZE(PF_InData, 408, 8);
ZP_HOST_MEMBER(PF_InData, inter, 0, 176);
ZP_HOST_MEMBER(PF_InData, utils, 176, 8);
ZP_HOST_MEMBER(PF_InData, effect_ref, 184, 8);
ZP_HOST_MEMBER(PF_InData, quality, 192, 4);
ZP_HOST_MEMBER(PF_InData, version, 196, 4);
ZP_HOST_MEMBER(PF_InData, serial_num, 200, 4);
ZP_HOST_MEMBER(PF_InData, appl_id, 204, 4);
ZP_HOST_MEMBER(PF_InData, num_params, 208, 4);
ZP_HOST_MEMBER(PF_InData, reserved, 212, 4);
ZP_HOST_MEMBER(PF_InData, what_cpu, 216, 4);
ZP_HOST_MEMBER(PF_InData, what_fpu, 220, 4);
ZP_HOST_MEMBER(PF_InData, current_time, 224, 4);
ZP_HOST_MEMBER(PF_InData, time_step, 228, 4);
ZP_HOST_MEMBER(PF_InData, total_time, 232, 4);
ZP_HOST_MEMBER(PF_InData, local_time_step, 236, 4);
ZP_HOST_MEMBER(PF_InData, time_scale, 240, 4);
ZP_HOST_MEMBER(PF_InData, field, 244, 4);
ZP_HOST_MEMBER(PF_InData, shutter_angle, 248, 4);
ZP_HOST_MEMBER(PF_InData, width, 252, 4);
ZP_HOST_MEMBER(PF_InData, height, 256, 4);
ZP_HOST_MEMBER(PF_InData, extent_hint, 260, 16);
ZP_HOST_MEMBER(PF_InData, output_origin_x, 276, 4);
ZP_HOST_MEMBER(PF_InData, output_origin_y, 280, 4);
ZP_HOST_MEMBER(PF_InData, downsample_x, 284, 8);
ZP_HOST_MEMBER(PF_InData, downsample_y, 292, 8);
ZP_HOST_MEMBER(PF_InData, pixel_aspect_ratio, 300, 8);
ZP_HOST_MEMBER(PF_InData, in_flags, 308, 4);
ZP_HOST_MEMBER(PF_InData, global_data, 312, 8);
ZP_HOST_MEMBER(PF_InData, sequence_data, 320, 8);
ZP_HOST_MEMBER(PF_InData, frame_data, 328, 8);
ZP_HOST_MEMBER(PF_InData, start_sampL, 336, 4);
ZP_HOST_MEMBER(PF_InData, dur_sampL, 340, 4);
ZP_HOST_MEMBER(PF_InData, total_sampL, 344, 4);
ZP_HOST_MEMBER(PF_InData, src_snd, 352, 32);
ZP_HOST_MEMBER(PF_InData, pica_basicP, 384, 8);
ZP_HOST_MEMBER(PF_InData, pre_effect_source_origin_x, 392, 4);
ZP_HOST_MEMBER(PF_InData, pre_effect_source_origin_y, 396, 4);
ZP_HOST_MEMBER(PF_InData, shutter_phase, 400, 4);

// PF_OutData
ZP_HOST_SIZE(PF_OutData, 408, 8);
ZP_HOST_MEMBER(PF_OutData, my_version, 0, 4);
ZP_HOST_MEMBER(PF_OutData, name, 4, 32);
ZP_HOST_MEMBER(PF_OutData, global_data, 40, 8);
ZP_HOST_MEMBER(PF_OutData, num_params, 48, 4);
ZP_HOST_MEMBER(PF_OutData, sequence_data, 56, 8);
ZP_HOST_MEMBER(PF_OutData, flat_sdata_size, 64, 4);
ZP_HOST_MEMBER(PF_OutData, frame_data, 72, 8);
ZP_HOST_MEMBER(PF_OutData, width, 80, 4);
ZP_HOST_MEMBER(PF_OutData, height, 84, 4);
ZP_HOST_MEMBER(PF_OutData, origin, 88, 8);
ZP_HOST_MEMBER(PF_OutData, out_flags, 96, 4);
ZP_HOST_MEMBER(PF_OutData, return_msg, 100, 256);
ZP_HOST_MEMBER(PF_OutData, start_sampL, 356, 4);
ZP_HOST_MEMBER(PF_OutData, dur_sampL, 360, 4);
ZP_HOST_MEMBER(PF_OutData, dest_snd, 368, 32);
ZP_HOST_MEMBER(PF_OutData, out_flags2, 400, 4);

// PF_InteractCallbacks
ZP_HOST_SIZE(PF_InteractCallbacks, 176, 8);
ZP_HOST_MEMBER(PF_InteractCallbacks, checkout_param, 0, 8);
ZP_HOST_MEMBER(PF_InteractCallbacks, checkin_param, 8, 8);
ZP_HOST_MEMBER(PF_InteractCallbacks, add_param, 16, 8);
ZP_HOST_MEMBER(PF_InteractCallbacks, abort, 24, 8);
ZP_HOST_MEMBER(PF_InteractCallbacks, progress, 32, 8);
ZP_HOST_MEMBER(PF_InteractCallbacks, register_ui, 40, 8);
ZP_HOST_MEMBER(PF_InteractCallbacks, checkout_layer_audio, 48, 8);
ZP_HOST_MEMBER(PF_InteractCallbacks, checkin_layer_audio, 56, 8);
ZP_HOST_MEMBER(PF_InteractCallbacks, get_audio_data, 64, 8);
ZP_HOST_MEMBER(PF_InteractCallbacks, reserved_str, 72, 24);
ZP_HOST_MEMBER(PF_InteractCallbacks, reserved, 96, 80);

// PF_UtilCallbacks
ZP_HOST_SIZE(PF_UtilCallbacks, 552, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, begin_sampling, 0, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, subpixel_sample, 8, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, area_sample, 16, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, get_batch_func_is_deprecated, 24, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, end_sampling, 32, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, composite_rect, 40, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, blend, 48, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, convolve, 56, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, copy, 64, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, fill, 72, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, gaussian_kernel, 80, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, iterate, 88, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, premultiply, 96, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, premultiply_color, 104, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, new_world, 112, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, dispose_world, 120, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, iterate_origin, 128, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, iterate_lut, 136, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, transfer_rect, 144, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, transform_world, 152, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, host_new_handle, 160, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, host_lock_handle, 168, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, host_unlock_handle, 176, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, host_dispose_handle, 184, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, get_callback_addr, 192, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, app, 200, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, ansi, 208, 160);
ZP_HOST_MEMBER(PF_UtilCallbacks, colorCB, 368, 64);
ZP_HOST_MEMBER(PF_UtilCallbacks, get_platform_data, 432, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, host_get_handle_size, 440, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, iterate_origin_non_clip_src, 448, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, iterate_generic, 456, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, host_resize_handle, 464, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, subpixel_sample16, 472, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, area_sample16, 480, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, fill16, 488, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, premultiply_color16, 496, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, iterate16, 504, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, iterate_origin16, 512, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, iterate_origin_non_clip_src16, 520, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, get_pixel_data8, 528, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, get_pixel_data16, 536, 8);
ZP_HOST_MEMBER(PF_UtilCallbacks, reserved, 544, 4);

// PF_LayerDef
ZP_HOST_SIZE(PF_LayerDef, 120, 8);
ZP_HOST_MEMBER(PF_LayerDef, reserved0, 0, 8);
ZP_HOST_MEMBER(PF_LayerDef, reserved1, 8, 8);
ZP_HOST_MEMBER(PF_LayerDef, world_flags, 16, 4);
ZP_HOST_MEMBER(PF_LayerDef, data, 24, 8);
ZP_HOST_MEMBER(PF_LayerDef, rowbytes, 32, 4);
ZP_HOST_MEMBER(PF_LayerDef, width, 36, 4);
ZP_HOST_MEMBER(PF_LayerDef, height, 40, 4);
ZP_HOST_MEMBER(PF_LayerDef, extent_hint, 44, 16);
ZP_HOST_MEMBER(PF_LayerDef, platform_ref, 64, 8);
ZP_HOST_MEMBER(PF_LayerDef, reserved_long1, 72, 4);
ZP_HOST_MEMBER(PF_LayerDef, reserved_long4, 80, 8);
ZP_HOST_MEMBER(PF_LayerDef, pix_aspect_ratio, 88, 8);
ZP_HOST_MEMBER(PF_LayerDef, reserved_long2, 96, 8);
ZP_HOST_MEMBER(PF_LayerDef, origin_x, 104, 4);
ZP_HOST_MEMBER(PF_LayerDef, origin_y, 108, 4);
ZP_HOST_MEMBER(PF_LayerDef, reserved_long3, 112, 4);
ZP_HOST_MEMBER(PF_LayerDef, dephault, 116, 4);

// PF_ParamDef
ZP_HOST_SIZE(PF_ParamDef, 176, 8);
ZP_HOST_MEMBER(PF_ParamDef, uu, 0, 4);
ZP_HOST_MEMBER(PF_ParamDef, ui_flags, 4, 4);
ZP_HOST_MEMBER(PF_ParamDef, ui_width, 8, 2);
ZP_HOST_MEMBER(PF_ParamDef, ui_height, 10, 2);
ZP_HOST_MEMBER(PF_ParamDef, param_type, 12, 4);
ZP_HOST_MEMBER(PF_ParamDef, name, 16, 32);
ZP_HOST_MEMBER(PF_ParamDef, flags, 48, 4);
ZP_HOST_MEMBER(PF_ParamDef, unused, 52, 4);
ZP_HOST_MEMBER(PF_ParamDef, u, 56, 120);

// PF_ParamDefUnion
ZP_HOST_SIZE(PF_ParamDefUnion, 120, 8);
ZP_HOST_MEMBER(PF_ParamDefUnion, ld, 0, 120);
ZP_HOST_MEMBER(PF_ParamDefUnion, sd, 0, 88);
ZP_HOST_MEMBER(PF_ParamDefUnion, fd, 0, 92);
ZP_HOST_MEMBER(PF_ParamDefUnion, ad, 0, 16);
ZP_HOST_MEMBER(PF_ParamDefUnion, bd, 0, 16);
ZP_HOST_MEMBER(PF_ParamDefUnion, cd, 0, 8);
ZP_HOST_MEMBER(PF_ParamDefUnion, td, 0, 20);
ZP_HOST_MEMBER(PF_ParamDefUnion, pd, 0, 16);
ZP_HOST_MEMBER(PF_ParamDefUnion, fs_d, 0, 88);
ZP_HOST_MEMBER(PF_ParamDefUnion, arb_d, 0, 32);
ZP_HOST_MEMBER(PF_ParamDefUnion, path_d, 0, 12);
ZP_HOST_MEMBER(PF_ParamDefUnion, button_d, 0, 16);
ZP_HOST_MEMBER(PF_ParamDefUnion, point3d_d, 0, 64);

// PF_FloatSliderDef
ZP_HOST_SIZE(PF_FloatSliderDef, 88, 8);
ZP_HOST_MEMBER(PF_FloatSliderDef, value, 0, 8);
ZP_HOST_MEMBER(PF_FloatSliderDef, phase, 8, 8);
ZP_HOST_MEMBER(PF_FloatSliderDef, value_desc, 16, 32);
ZP_HOST_MEMBER(PF_FloatSliderDef, valid_min, 48, 4);
ZP_HOST_MEMBER(PF_FloatSliderDef, valid_max, 52, 4);
ZP_HOST_MEMBER(PF_FloatSliderDef, slider_min, 56, 4);
ZP_HOST_MEMBER(PF_FloatSliderDef, slider_max, 60, 4);
ZP_HOST_MEMBER(PF_FloatSliderDef, dephault, 64, 4);
ZP_HOST_MEMBER(PF_FloatSliderDef, precision, 68, 2);
ZP_HOST_MEMBER(PF_FloatSliderDef, display_flags, 70, 2);
ZP_HOST_MEMBER(PF_FloatSliderDef, fs_flags, 72, 4);
ZP_HOST_MEMBER(PF_FloatSliderDef, curve_tolerance, 76, 4);
ZP_HOST_MEMBER(PF_FloatSliderDef, useExponent, 80, 1);
ZP_HOST_MEMBER(PF_FloatSliderDef, exponent, 84, 4);

// PF_CheckBoxDef
ZP_HOST_SIZE(PF_CheckBoxDef, 16, 8);
ZP_HOST_MEMBER(PF_CheckBoxDef, value, 0, 4);
ZP_HOST_MEMBER(PF_CheckBoxDef, dephault, 4, 1);
ZP_HOST_MEMBER(PF_CheckBoxDef, reserved, 5, 1);
ZP_HOST_MEMBER(PF_CheckBoxDef, reserved1, 6, 2);
ZP_HOST_MEMBER(PF_CheckBoxDef, u, 8, 8);

// PF_ColorDef
ZP_HOST_SIZE(PF_ColorDef, 8, 1);
ZP_HOST_MEMBER(PF_ColorDef, value, 0, 4);
ZP_HOST_MEMBER(PF_ColorDef, dephault, 4, 4);

// PF_PopupDef
ZP_HOST_SIZE(PF_PopupDef, 16, 8);
ZP_HOST_MEMBER(PF_PopupDef, value, 0, 4);
ZP_HOST_MEMBER(PF_PopupDef, num_choices, 4, 2);
ZP_HOST_MEMBER(PF_PopupDef, dephault, 6, 2);
ZP_HOST_MEMBER(PF_PopupDef, u, 8, 8);

// PF_PathDef
ZP_HOST_SIZE(PF_PathDef, 12, 4);
ZP_HOST_MEMBER(PF_PathDef, path_id, 0, 4);
ZP_HOST_MEMBER(PF_PathDef, reserved0, 4, 4);
ZP_HOST_MEMBER(PF_PathDef, dephault, 8, 4);

// PF_UserChangedParamExtra
ZP_HOST_SIZE(PF_UserChangedParamExtra, 4, 4);
ZP_HOST_MEMBER(PF_UserChangedParamExtra, param_index, 0, 4);

// PF_RenderRequest
ZP_HOST_SIZE(PF_RenderRequest, 44, 4);
ZP_HOST_MEMBER(PF_RenderRequest, rect, 0, 16);
ZP_HOST_MEMBER(PF_RenderRequest, field, 16, 4);
ZP_HOST_MEMBER(PF_RenderRequest, channel_mask, 20, 4);
ZP_HOST_MEMBER(PF_RenderRequest, preserve_rgb_of_zero_alpha, 24, 1);
ZP_HOST_MEMBER(PF_RenderRequest, unused, 25, 3);
ZP_HOST_MEMBER(PF_RenderRequest, reserved, 28, 16);

// PF_CheckoutResult
ZP_HOST_SIZE(PF_CheckoutResult, 76, 4);
ZP_HOST_MEMBER(PF_CheckoutResult, result_rect, 0, 16);
ZP_HOST_MEMBER(PF_CheckoutResult, max_result_rect, 16, 16);
ZP_HOST_MEMBER(PF_CheckoutResult, par, 32, 8);
ZP_HOST_MEMBER(PF_CheckoutResult, solid, 40, 1);
ZP_HOST_MEMBER(PF_CheckoutResult, reservedB, 41, 3);
ZP_HOST_MEMBER(PF_CheckoutResult, ref_width, 44, 4);
ZP_HOST_MEMBER(PF_CheckoutResult, ref_height, 48, 4);
ZP_HOST_MEMBER(PF_CheckoutResult, reserved, 52, 24);

// PF_PreRenderInput
ZP_HOST_SIZE(PF_PreRenderInput, 48, 4);
ZP_HOST_MEMBER(PF_PreRenderInput, output_request, 0, 44);
ZP_HOST_MEMBER(PF_PreRenderInput, bitdepth, 44, 2);

// PF_PreRenderOutput
ZP_HOST_SIZE(PF_PreRenderOutput, 56, 8);
ZP_HOST_MEMBER(PF_PreRenderOutput, result_rect, 0, 16);
ZP_HOST_MEMBER(PF_PreRenderOutput, max_result_rect, 16, 16);
ZP_HOST_MEMBER(PF_PreRenderOutput, solid, 32, 1);
ZP_HOST_MEMBER(PF_PreRenderOutput, reserved, 33, 1);
ZP_HOST_MEMBER(PF_PreRenderOutput, flags, 34, 2);
ZP_HOST_MEMBER(PF_PreRenderOutput, pre_render_data, 40, 8);
ZP_HOST_MEMBER(PF_PreRenderOutput, delete_pre_render_data_func, 48, 8);

// PF_PreRenderCallbacks
ZP_HOST_SIZE(PF_PreRenderCallbacks, 8, 8);
ZP_HOST_MEMBER(PF_PreRenderCallbacks, checkout_layer, 0, 8);

// PF_PreRenderExtra
ZP_HOST_SIZE(PF_PreRenderExtra, 24, 8);
ZP_HOST_MEMBER(PF_PreRenderExtra, input, 0, 8);
ZP_HOST_MEMBER(PF_PreRenderExtra, output, 8, 8);
ZP_HOST_MEMBER(PF_PreRenderExtra, cb, 16, 8);

// PF_SmartRenderInput
ZP_HOST_SIZE(PF_SmartRenderInput, 56, 8);
ZP_HOST_MEMBER(PF_SmartRenderInput, output_request, 0, 44);
ZP_HOST_MEMBER(PF_SmartRenderInput, bitdepth, 44, 2);
ZP_HOST_MEMBER(PF_SmartRenderInput, pre_render_data, 48, 8);

// PF_SmartRenderCallbacks
ZP_HOST_SIZE(PF_SmartRenderCallbacks, 24, 8);
ZP_HOST_MEMBER(PF_SmartRenderCallbacks, checkout_layer_pixels, 0, 8);
ZP_HOST_MEMBER(PF_SmartRenderCallbacks, checkin_layer_pixels, 8, 8);
ZP_HOST_MEMBER(PF_SmartRenderCallbacks, checkout_output, 16, 8);

// PF_SmartRenderExtra
ZP_HOST_SIZE(PF_SmartRenderExtra, 16, 8);
ZP_HOST_MEMBER(PF_SmartRenderExtra, input, 0, 8);
ZP_HOST_MEMBER(PF_SmartRenderExtra, cb, 8, 8);

// PF_LRect
ZP_HOST_SIZE(PF_LRect, 16, 4);
ZP_HOST_MEMBER(PF_LRect, left, 0, 4);
ZP_HOST_MEMBER(PF_LRect, top, 4, 4);
ZP_HOST_MEMBER(PF_LRect, right, 8, 4);
ZP_HOST_MEMBER(PF_LRect, bottom, 12, 4);

// PF_RationalScale
ZP_HOST_SIZE(PF_RationalScale, 8, 4);
ZP_HOST_MEMBER(PF_RationalScale, num, 0, 4);
ZP_HOST_MEMBER(PF_RationalScale, den, 4, 4);

// PF_Pixel
ZP_HOST_SIZE(PF_Pixel, 4, 1);
ZP_HOST_MEMBER(PF_Pixel, alpha, 0, 1);
ZP_HOST_MEMBER(PF_Pixel, red, 1, 1);
ZP_HOST_MEMBER(PF_Pixel, green, 2, 1);
ZP_HOST_MEMBER(PF_Pixel, blue, 3, 1);

// PF_Pixel16
ZP_HOST_SIZE(PF_Pixel16, 8, 2);
ZP_HOST_MEMBER(PF_Pixel16, alpha, 0, 2);
ZP_HOST_MEMBER(PF_Pixel16, red, 2, 2);
ZP_HOST_MEMBER(PF_Pixel16, green, 4, 2);
ZP_HOST_MEMBER(PF_Pixel16, blue, 6, 2);

// PF_PixelFloat
ZP_HOST_SIZE(PF_PixelFloat, 16, 4);
ZP_HOST_MEMBER(PF_PixelFloat, alpha, 0, 4);
ZP_HOST_MEMBER(PF_PixelFloat, red, 4, 4);
ZP_HOST_MEMBER(PF_PixelFloat, green, 8, 4);
ZP_HOST_MEMBER(PF_PixelFloat, blue, 12, 4);

// A_Time
ZP_HOST_SIZE(A_Time, 8, 4);
ZP_HOST_MEMBER(A_Time, value, 0, 4);
ZP_HOST_MEMBER(A_Time, scale, 4, 4);

// AEGP_ColorVal
ZP_HOST_SIZE(AEGP_ColorVal, 32, 8);
ZP_HOST_MEMBER(AEGP_ColorVal, alphaF, 0, 8);
ZP_HOST_MEMBER(AEGP_ColorVal, redF, 8, 8);
ZP_HOST_MEMBER(AEGP_ColorVal, greenF, 16, 8);
ZP_HOST_MEMBER(AEGP_ColorVal, blueF, 24, 8);

// AEGP_MaskVertex
ZP_HOST_SIZE(AEGP_MaskVertex, 48, 8);
ZP_HOST_MEMBER(AEGP_MaskVertex, x, 0, 8);
ZP_HOST_MEMBER(AEGP_MaskVertex, y, 8, 8);
ZP_HOST_MEMBER(AEGP_MaskVertex, tan_in_x, 16, 8);
ZP_HOST_MEMBER(AEGP_MaskVertex, tan_in_y, 24, 8);
ZP_HOST_MEMBER(AEGP_MaskVertex, tan_out_x, 32, 8);
ZP_HOST_MEMBER(AEGP_MaskVertex, tan_out_y, 40, 8);

// AEGP_StreamVal2
ZP_HOST_SIZE(AEGP_StreamVal2, 32, 8);
ZP_HOST_MEMBER(AEGP_StreamVal2, four_d, 0, 32);
ZP_HOST_MEMBER(AEGP_StreamVal2, three_d, 0, 24);
ZP_HOST_MEMBER(AEGP_StreamVal2, two_d, 0, 16);
ZP_HOST_MEMBER(AEGP_StreamVal2, one_d, 0, 8);
ZP_HOST_MEMBER(AEGP_StreamVal2, color, 0, 32);
ZP_HOST_MEMBER(AEGP_StreamVal2, arbH, 0, 8);
ZP_HOST_MEMBER(AEGP_StreamVal2, markerP, 0, 8);
ZP_HOST_MEMBER(AEGP_StreamVal2, layer_id, 0, 4);
ZP_HOST_MEMBER(AEGP_StreamVal2, mask_id, 0, 4);
ZP_HOST_MEMBER(AEGP_StreamVal2, mask, 0, 8);
ZP_HOST_MEMBER(AEGP_StreamVal2, text_documentH, 0, 8);

// AEGP_StreamValue2
ZP_HOST_SIZE(AEGP_StreamValue2, 40, 8);
ZP_HOST_MEMBER(AEGP_StreamValue2, streamH, 0, 8);
ZP_HOST_MEMBER(AEGP_StreamValue2, val, 8, 32);

// SPBasicSuite
ZP_HOST_SIZE(SPBasicSuite, 56, 8);
ZP_HOST_MEMBER(SPBasicSuite, AcquireSuite, 0, 8);
ZP_HOST_MEMBER(SPBasicSuite, ReleaseSuite, 8, 8);
ZP_HOST_MEMBER(SPBasicSuite, IsEqual, 16, 8);
ZP_HOST_MEMBER(SPBasicSuite, AllocateBlock, 24, 8);
ZP_HOST_MEMBER(SPBasicSuite, FreeBlock, 32, 8);
ZP_HOST_MEMBER(SPBasicSuite, ReallocateBlock, 40, 8);
ZP_HOST_MEMBER(SPBasicSuite, Undefined, 48, 8);

// PF_HandleSuite1
ZP_HOST_SIZE(PF_HandleSuite1, 48, 8);
ZP_HOST_MEMBER(PF_HandleSuite1, host_new_handle, 0, 8);
ZP_HOST_MEMBER(PF_HandleSuite1, host_lock_handle, 8, 8);
ZP_HOST_MEMBER(PF_HandleSuite1, host_unlock_handle, 16, 8);
ZP_HOST_MEMBER(PF_HandleSuite1, host_dispose_handle, 24, 8);
ZP_HOST_MEMBER(PF_HandleSuite1, host_get_handle_size, 32, 8);
ZP_HOST_MEMBER(PF_HandleSuite1, host_resize_handle, 40, 8);

// AEGP_UtilitySuite4
ZP_HOST_SIZE(AEGP_UtilitySuite4, 240, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_ReportInfo, 0, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_GetDriverPluginInitFuncVersion, 8, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_GetDriverImplementationVersion, 16, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_StartQuietErrors, 24, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_EndQuietErrors, 32, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_GetLastErrorMessage, 40, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_StartUndoGroup, 48, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_EndUndoGroup, 56, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_RegisterWithAEGP, 64, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_GetMainHWND, 72, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_ShowHideAllFloaters, 80, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_PaintPalGetForeColor, 88, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_PaintPalGetBackColor, 96, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_PaintPalSetForeColor, 104, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_PaintPalSetBackColor, 112, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_CharPalGetFillColor, 120, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_CharPalGetStrokeColor, 128, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_CharPalSetFillColor, 136, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_CharPalSetStrokeColor, 144, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_CharPalIsFillColorUIFrontmost, 152, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_ConvertFpLongToHSFRatio, 160, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_ConvertHSFRatioToFpLong, 168, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_CauseIdleRoutinesToBeCalled, 176, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_GetSuppressInteractiveUI, 184, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_WriteToOSConsole, 192, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_WriteToDebugLog, 200, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_IsScriptingAvailable, 208, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_ExecuteScript, 216, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_HostIsActivated, 224, 8);
ZP_HOST_MEMBER(AEGP_UtilitySuite4, AEGP_GetPluginPlatformRef, 232, 8);

// AEGP_PFInterfaceSuite1
ZP_HOST_SIZE(AEGP_PFInterfaceSuite1, 40, 8);
ZP_HOST_MEMBER(AEGP_PFInterfaceSuite1, AEGP_GetEffectLayer, 0, 8);
ZP_HOST_MEMBER(AEGP_PFInterfaceSuite1, AEGP_GetNewEffectForEffect, 8, 8);
ZP_HOST_MEMBER(AEGP_PFInterfaceSuite1, AEGP_ConvertEffectToCompTime, 16, 8);
ZP_HOST_MEMBER(AEGP_PFInterfaceSuite1, AEGP_GetEffectCamera, 24, 8);
ZP_HOST_MEMBER(AEGP_PFInterfaceSuite1, AEGP_GetEffectCameraMatrix, 32, 8);

// AEGP_LayerSuite5
ZP_HOST_SIZE(AEGP_LayerSuite5, 368, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_GetCompNumLayers, 0, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_GetCompLayerByIndex, 8, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_GetActiveLayer, 16, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_GetLayerIndex, 24, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_GetLayerSourceItem, 32, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_GetLayerSourceItemID, 40, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_GetLayerParentComp, 48, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_GetLayerName, 56, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_GetLayerQuality, 64, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_SetLayerQuality, 72, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_GetLayerFlags, 80, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_SetLayerFlag, 88, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_IsLayerVideoReallyOn, 96, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_IsLayerAudioReallyOn, 104, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_GetLayerCurrentTime, 112, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_GetLayerInPoint, 120, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_GetLayerDuration, 128, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_SetLayerInPointAndDuration, 136, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_GetLayerOffset, 144, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_SetLayerOffset, 152, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_GetLayerStretch, 160, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_SetLayerStretch, 168, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_GetLayerTransferMode, 176, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_SetLayerTransferMode, 184, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_IsAddLayerValid, 192, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_AddLayer, 200, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_ReorderLayer, 208, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_GetLayerMaskedBounds, 216, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_GetLayerObjectType, 224, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_IsLayer3D, 232, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_IsLayer2D, 240, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_IsVideoActive, 248, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_IsLayerUsedAsTrackMatte, 256, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_DoesLayerHaveTrackMatte, 264, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_ConvertCompToLayerTime, 272, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_ConvertLayerToCompTime, 280, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_GetLayerDancingRandValue, 288, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_GetLayerID, 296, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_GetLayerToWorldXform, 304, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_GetLayerToWorldXformFromView, 312, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_SetLayerName, 320, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_GetLayerParent, 328, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_SetLayerParent, 336, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_DeleteLayer, 344, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_DuplicateLayer, 352, 8);
ZP_HOST_MEMBER(AEGP_LayerSuite5, AEGP_GetLayerFromLayerID, 360, 8);

// AEGP_MaskSuite4
ZP_HOST_SIZE(AEGP_MaskSuite4, 168, 8);
ZP_HOST_MEMBER(AEGP_MaskSuite4, AEGP_GetLayerNumMasks, 0, 8);
ZP_HOST_MEMBER(AEGP_MaskSuite4, AEGP_GetLayerMaskByIndex, 8, 8);
ZP_HOST_MEMBER(AEGP_MaskSuite4, AEGP_DisposeMask, 16, 8);
ZP_HOST_MEMBER(AEGP_MaskSuite4, AEGP_GetMaskInvert, 24, 8);
ZP_HOST_MEMBER(AEGP_MaskSuite4, AEGP_SetMaskInvert, 32, 8);
ZP_HOST_MEMBER(AEGP_MaskSuite4, AEGP_GetMaskMode, 40, 8);
ZP_HOST_MEMBER(AEGP_MaskSuite4, AEGP_SetMaskMode, 48, 8);
ZP_HOST_MEMBER(AEGP_MaskSuite4, AEGP_GetMaskMotionBlurState, 56, 8);
ZP_HOST_MEMBER(AEGP_MaskSuite4, AEGP_SetMaskMotionBlurState, 64, 8);
ZP_HOST_MEMBER(AEGP_MaskSuite4, AEGP_GetMaskName, 72, 8);
ZP_HOST_MEMBER(AEGP_MaskSuite4, AEGP_SetMaskName, 80, 8);
ZP_HOST_MEMBER(AEGP_MaskSuite4, AEGP_GetMaskID, 88, 8);
ZP_HOST_MEMBER(AEGP_MaskSuite4, AEGP_CreateNewMask, 96, 8);
ZP_HOST_MEMBER(AEGP_MaskSuite4, AEGP_DeleteMaskFromLayer, 104, 8);
ZP_HOST_MEMBER(AEGP_MaskSuite4, AEGP_GetMaskColor, 112, 8);
ZP_HOST_MEMBER(AEGP_MaskSuite4, AEGP_SetMaskColor, 120, 8);
ZP_HOST_MEMBER(AEGP_MaskSuite4, AEGP_GetMaskLockState, 128, 8);
ZP_HOST_MEMBER(AEGP_MaskSuite4, AEGP_SetMaskLockState, 136, 8);
ZP_HOST_MEMBER(AEGP_MaskSuite4, AEGP_GetMaskIsRotoBezier, 144, 8);
ZP_HOST_MEMBER(AEGP_MaskSuite4, AEGP_SetMaskIsRotoBezier, 152, 8);
ZP_HOST_MEMBER(AEGP_MaskSuite4, AEGP_DuplicateMask, 160, 8);

// AEGP_StreamSuite2
ZP_HOST_SIZE(AEGP_StreamSuite2, 176, 8);
ZP_HOST_MEMBER(AEGP_StreamSuite2, AEGP_IsStreamLegal, 0, 8);
ZP_HOST_MEMBER(AEGP_StreamSuite2, AEGP_CanVaryOverTime, 8, 8);
ZP_HOST_MEMBER(AEGP_StreamSuite2, AEGP_GetValidInterpolations, 16, 8);
ZP_HOST_MEMBER(AEGP_StreamSuite2, AEGP_GetNewLayerStream, 24, 8);
ZP_HOST_MEMBER(AEGP_StreamSuite2, AEGP_GetEffectNumParamStreams, 32, 8);
ZP_HOST_MEMBER(AEGP_StreamSuite2, AEGP_GetNewEffectStreamByIndex, 40, 8);
ZP_HOST_MEMBER(AEGP_StreamSuite2, AEGP_GetNewMaskStream, 48, 8);
ZP_HOST_MEMBER(AEGP_StreamSuite2, AEGP_DisposeStream, 56, 8);
ZP_HOST_MEMBER(AEGP_StreamSuite2, AEGP_GetStreamName, 64, 8);
ZP_HOST_MEMBER(AEGP_StreamSuite2, AEGP_GetStreamUnitsText, 72, 8);
ZP_HOST_MEMBER(AEGP_StreamSuite2, AEGP_GetStreamProperties, 80, 8);
ZP_HOST_MEMBER(AEGP_StreamSuite2, AEGP_IsStreamTimevarying, 88, 8);
ZP_HOST_MEMBER(AEGP_StreamSuite2, AEGP_GetStreamType, 96, 8);
ZP_HOST_MEMBER(AEGP_StreamSuite2, AEGP_GetNewStreamValue, 104, 8);
ZP_HOST_MEMBER(AEGP_StreamSuite2, AEGP_DisposeStreamValue, 112, 8);
ZP_HOST_MEMBER(AEGP_StreamSuite2, AEGP_SetStreamValue, 120, 8);
ZP_HOST_MEMBER(AEGP_StreamSuite2, AEGP_GetLayerStreamValue, 128, 8);
ZP_HOST_MEMBER(AEGP_StreamSuite2, AEGP_GetExpressionState, 136, 8);
ZP_HOST_MEMBER(AEGP_StreamSuite2, AEGP_SetExpressionState, 144, 8);
ZP_HOST_MEMBER(AEGP_StreamSuite2, AEGP_GetExpression, 152, 8);
ZP_HOST_MEMBER(AEGP_StreamSuite2, AEGP_SetExpression, 160, 8);
ZP_HOST_MEMBER(AEGP_StreamSuite2, AEGP_DuplicateStreamRef, 168, 8);

// AEGP_MaskOutlineSuite1
ZP_HOST_SIZE(AEGP_MaskOutlineSuite1, 48, 8);
ZP_HOST_MEMBER(AEGP_MaskOutlineSuite1, AEGP_IsMaskOutlineOpen, 0, 8);
ZP_HOST_MEMBER(AEGP_MaskOutlineSuite1, AEGP_GetMaskOutlineNumSegments, 8, 8);
ZP_HOST_MEMBER(AEGP_MaskOutlineSuite1, AEGP_GetMaskOutlineVertexInfo, 16, 8);
ZP_HOST_MEMBER(AEGP_MaskOutlineSuite1, AEGP_SetMaskOutlineVertexInfo, 24, 8);
ZP_HOST_MEMBER(AEGP_MaskOutlineSuite1, AEGP_CreateVertex, 32, 8);
ZP_HOST_MEMBER(AEGP_MaskOutlineSuite1, AEGP_DeleteVertex, 40, 8);

// PF_PathQuerySuite1
ZP_HOST_SIZE(PF_PathQuerySuite1, 32, 8);
ZP_HOST_MEMBER(PF_PathQuerySuite1, PF_NumPaths, 0, 8);
ZP_HOST_MEMBER(PF_PathQuerySuite1, PF_PathInfo, 8, 8);
ZP_HOST_MEMBER(PF_PathQuerySuite1, PF_CheckoutPath, 16, 8);
ZP_HOST_MEMBER(PF_PathQuerySuite1, PF_CheckinPath, 24, 8);

// PF_PathDataSuite1
ZP_HOST_SIZE(PF_PathDataSuite1, 88, 8);
ZP_HOST_MEMBER(PF_PathDataSuite1, PF_PathIsOpen, 0, 8);
ZP_HOST_MEMBER(PF_PathDataSuite1, PF_PathNumSegments, 8, 8);
ZP_HOST_MEMBER(PF_PathDataSuite1, PF_PathVertexInfo, 16, 8);
ZP_HOST_MEMBER(PF_PathDataSuite1, PF_PathPrepareSegLength, 24, 8);
ZP_HOST_MEMBER(PF_PathDataSuite1, PF_PathGetSegLength, 32, 8);
ZP_HOST_MEMBER(PF_PathDataSuite1, PF_PathEvalSegLength, 40, 8);
ZP_HOST_MEMBER(PF_PathDataSuite1, PF_PathEvalSegLengthDeriv1, 48, 8);
ZP_HOST_MEMBER(PF_PathDataSuite1, PF_PathCleanupSegLength, 56, 8);
ZP_HOST_MEMBER(PF_PathDataSuite1, PF_PathIsInverted, 64, 8);
ZP_HOST_MEMBER(PF_PathDataSuite1, PF_PathGetMaskMode, 72, 8);
ZP_HOST_MEMBER(PF_PathDataSuite1, PF_PathGetName, 80, 8);

// PF_ParamUtilsSuite1
ZP_HOST_SIZE(PF_ParamUtilsSuite1, 80, 8);
ZP_HOST_MEMBER(PF_ParamUtilsSuite1, PF_UpdateParamUI, 0, 8);
ZP_HOST_MEMBER(PF_ParamUtilsSuite1, PF_GetCurrentStateObsolete, 8, 8);
ZP_HOST_MEMBER(PF_ParamUtilsSuite1, PF_HasParamChangedObsolete, 16, 8);
ZP_HOST_MEMBER(PF_ParamUtilsSuite1, PF_HaveInputsChangedOverTimeSpanObsolete, 24, 8);
ZP_HOST_MEMBER(PF_ParamUtilsSuite1, PF_IsIdenticalCheckout, 32, 8);
ZP_HOST_MEMBER(PF_ParamUtilsSuite1, PF_FindKeyframeTime, 40, 8);
ZP_HOST_MEMBER(PF_ParamUtilsSuite1, PF_GetKeyframeCount, 48, 8);
ZP_HOST_MEMBER(PF_ParamUtilsSuite1, PF_CheckoutKeyframe, 56, 8);
ZP_HOST_MEMBER(PF_ParamUtilsSuite1, PF_CheckinKeyframe, 64, 8);
ZP_HOST_MEMBER(PF_ParamUtilsSuite1, PF_KeyIndexToTime, 72, 8);

// Threaded rendering: effect API 13.25 and later (see host/HostApi.h).
#if ZP_HOST_THREADED
// PF_EffectSequenceDataSuite1
ZP_HOST_SIZE(PF_EffectSequenceDataSuite1, 8, 8);
ZP_HOST_MEMBER(PF_EffectSequenceDataSuite1, PF_GetConstSequenceData, 0, 8);

// AEGP_GUID
ZP_HOST_SIZE(AEGP_GUID, 16, 4);
ZP_HOST_MEMBER(AEGP_GUID, bytes, 0, 16);

// AEGP_ComputeCacheCallbacks
ZP_HOST_SIZE(AEGP_ComputeCacheCallbacks, 32, 8);
ZP_HOST_MEMBER(AEGP_ComputeCacheCallbacks, generate_key, 0, 8);
ZP_HOST_MEMBER(AEGP_ComputeCacheCallbacks, compute, 8, 8);
ZP_HOST_MEMBER(AEGP_ComputeCacheCallbacks, approx_size_value, 16, 8);
ZP_HOST_MEMBER(AEGP_ComputeCacheCallbacks, delete_compute_value, 24, 8);

// AEGP_ComputeCacheSuite1
ZP_HOST_SIZE(AEGP_ComputeCacheSuite1, 48, 8);
ZP_HOST_MEMBER(AEGP_ComputeCacheSuite1, AEGP_ClassRegister, 0, 8);
ZP_HOST_MEMBER(AEGP_ComputeCacheSuite1, AEGP_ClassUnregister, 8, 8);
ZP_HOST_MEMBER(AEGP_ComputeCacheSuite1, AEGP_ComputeIfNeededAndCheckout, 16, 8);
ZP_HOST_MEMBER(AEGP_ComputeCacheSuite1, AEGP_CheckoutCached, 24, 8);
ZP_HOST_MEMBER(AEGP_ComputeCacheSuite1, AEGP_GetReceiptComputeValue, 32, 8);
ZP_HOST_MEMBER(AEGP_ComputeCacheSuite1, AEGP_CheckinComputeReceipt, 40, 8);

// AEGP_HashSuite1
ZP_HOST_SIZE(AEGP_HashSuite1, 16, 8);
ZP_HOST_MEMBER(AEGP_HashSuite1, AEGP_CreateHashFromPtr, 0, 8);
ZP_HOST_MEMBER(AEGP_HashSuite1, AEGP_HashMixInPtr, 8, 8);

// The types these pass, and the full signature of every slot and callback: the compute cache
// takes a C++ bool, which has no fixed-width stand-in, and the sequence data it hands out
// during a threaded render is const all the way down.
ZP_HOST_TYPE(PF_ConstPtr, const void*);
ZP_HOST_TYPE(PF_ConstHandle, const void* const*);
ZP_HOST_TYPE(AEGP_CCComputeClassIdP, const char*);
ZP_HOST_TYPE(AEGP_CCComputeOptionsRefconP, void*);
ZP_HOST_TYPE(AEGP_CCComputeValueRefconP, void*);
ZP_HOST_TYPE(AEGP_CCCheckoutReceiptP, void*);
ZP_HOST_TYPE(AEGP_CCComputeKey, AEGP_GUID);
ZP_HOST_TYPE(AEGP_CCComputeKeyP, AEGP_GUID*);
ZP_HOST_TYPE(PF_PluginDataPtr, PF_PluginData*);
ZP_HOST_TYPE(PF_PluginDataCB2,
             A_Err (*)(PF_PluginDataPtr, const A_u_char*, const A_u_char*, const A_u_char*,
                       const A_u_char*, A_long, A_long, A_long, A_long, const A_u_char*));
ZP_HOST_TYPE(decltype(PF_EffectSequenceDataSuite1::PF_GetConstSequenceData),
             PF_Err (*)(PF_ProgPtr, PF_ConstHandle*));
ZP_HOST_TYPE(decltype(AEGP_ComputeCacheCallbacks::generate_key),
             A_Err (*)(AEGP_CCComputeOptionsRefconP, AEGP_CCComputeKeyP));
ZP_HOST_TYPE(decltype(AEGP_ComputeCacheCallbacks::compute),
             A_Err (*)(AEGP_CCComputeOptionsRefconP, AEGP_CCComputeValueRefconP*));
ZP_HOST_TYPE(decltype(AEGP_ComputeCacheCallbacks::approx_size_value),
             size_t (*)(AEGP_CCComputeValueRefconP));
ZP_HOST_TYPE(decltype(AEGP_ComputeCacheCallbacks::delete_compute_value),
             void (*)(AEGP_CCComputeValueRefconP));
ZP_HOST_TYPE(decltype(AEGP_ComputeCacheSuite1::AEGP_ClassRegister),
             A_Err (*)(AEGP_CCComputeClassIdP, const AEGP_ComputeCacheCallbacks*));
ZP_HOST_TYPE(decltype(AEGP_ComputeCacheSuite1::AEGP_ClassUnregister),
             A_Err (*)(AEGP_CCComputeClassIdP));
ZP_HOST_TYPE(decltype(AEGP_ComputeCacheSuite1::AEGP_ComputeIfNeededAndCheckout),
             A_Err (*)(AEGP_CCComputeClassIdP, AEGP_CCComputeOptionsRefconP, bool,
                       AEGP_CCCheckoutReceiptP*));
ZP_HOST_TYPE(decltype(AEGP_ComputeCacheSuite1::AEGP_CheckoutCached),
             A_Err (*)(AEGP_CCComputeClassIdP, AEGP_CCComputeOptionsRefconP,
                       AEGP_CCCheckoutReceiptP*));
ZP_HOST_TYPE(decltype(AEGP_ComputeCacheSuite1::AEGP_GetReceiptComputeValue),
             A_Err (*)(AEGP_CCCheckoutReceiptP, AEGP_CCComputeValueRefconP*));
ZP_HOST_TYPE(decltype(AEGP_ComputeCacheSuite1::AEGP_CheckinComputeReceipt),
             A_Err (*)(AEGP_CCCheckoutReceiptP));
ZP_HOST_TYPE(decltype(AEGP_HashSuite1::AEGP_CreateHashFromPtr),
             A_Err (*)(A_u_longlong, const void*, AEGP_GUID*));
ZP_HOST_TYPE(decltype(AEGP_HashSuite1::AEGP_HashMixInPtr),
             A_Err (*)(A_u_longlong, const void*, AEGP_GUID*));
#endif

// The older stream suite's value record: the same members where AEGP_StreamValue2 has them.
ZP_HOST_SIZE(AEGP_StreamValue, 40, 8);
ZP_HOST_MEMBER(AEGP_StreamValue, streamH, 0, 8);
ZP_HOST_MEMBER(AEGP_StreamValue, val, 8, 32);
ZP_HOST_MEMBER(AEGP_StreamVal, one_d, 0, 8);
ZP_HOST_MEMBER(AEGP_StreamVal, mask, 0, 8);

// Constants
ZP_HOST_CONSTANT(PF_Err_NONE, 0);
ZP_HOST_CONSTANT(PF_Err_OUT_OF_MEMORY, 4);
ZP_HOST_CONSTANT(PF_Err_INTERNAL_STRUCT_DAMAGED, 512);
ZP_HOST_CONSTANT(PF_Err_INVALID_INDEX, 513);
ZP_HOST_CONSTANT(PF_Err_UNRECOGNIZED_PARAM_TYPE, 514);
ZP_HOST_CONSTANT(PF_Err_INVALID_CALLBACK, 515);
ZP_HOST_CONSTANT(PF_Err_BAD_CALLBACK_PARAM, 516);
ZP_HOST_CONSTANT(A_Err_NONE, 0);
ZP_HOST_CONSTANT(A_Err_STRUCT, 2);
ZP_HOST_CONSTANT(A_Err_WRONG_THREAD, 5);
ZP_HOST_CONSTANT(A_Err_CONST_PROJECT_MODIFICATION, 6);
ZP_HOST_CONSTANT(A_Err_MISSING_SUITE, 13);
#if ZP_HOST_THREADED
ZP_HOST_CONSTANT(A_Err_NOT_IN_CACHE_OR_COMPUTE_PENDING, 22);
#endif
ZP_HOST_CONSTANT(PF_Cmd_ABOUT, 0);
ZP_HOST_CONSTANT(PF_Cmd_GLOBAL_SETUP, 1);
ZP_HOST_CONSTANT(PF_Cmd_UNUSED_0, 2);
ZP_HOST_CONSTANT(PF_Cmd_GLOBAL_SETDOWN, 3);
ZP_HOST_CONSTANT(PF_Cmd_PARAMS_SETUP, 4);
ZP_HOST_CONSTANT(PF_Cmd_SEQUENCE_SETUP, 5);
ZP_HOST_CONSTANT(PF_Cmd_SEQUENCE_RESETUP, 6);
ZP_HOST_CONSTANT(PF_Cmd_SEQUENCE_FLATTEN, 7);
ZP_HOST_CONSTANT(PF_Cmd_SEQUENCE_SETDOWN, 8);
ZP_HOST_CONSTANT(PF_Cmd_DO_DIALOG, 9);
ZP_HOST_CONSTANT(PF_Cmd_FRAME_SETUP, 10);
ZP_HOST_CONSTANT(PF_Cmd_RENDER, 11);
ZP_HOST_CONSTANT(PF_Cmd_FRAME_SETDOWN, 12);
ZP_HOST_CONSTANT(PF_Cmd_USER_CHANGED_PARAM, 13);
ZP_HOST_CONSTANT(PF_Cmd_UPDATE_PARAMS_UI, 14);
ZP_HOST_CONSTANT(PF_Cmd_EVENT, 15);
ZP_HOST_CONSTANT(PF_Cmd_GET_EXTERNAL_DEPENDENCIES, 16);
ZP_HOST_CONSTANT(PF_Cmd_COMPLETELY_GENERAL, 17);
ZP_HOST_CONSTANT(PF_Cmd_QUERY_DYNAMIC_FLAGS, 18);
ZP_HOST_CONSTANT(PF_Cmd_AUDIO_RENDER, 19);
ZP_HOST_CONSTANT(PF_Cmd_AUDIO_SETUP, 20);
ZP_HOST_CONSTANT(PF_Cmd_AUDIO_SETDOWN, 21);
ZP_HOST_CONSTANT(PF_Cmd_ARBITRARY_CALLBACK, 22);
ZP_HOST_CONSTANT(PF_Cmd_SMART_PRE_RENDER, 23);
ZP_HOST_CONSTANT(PF_Cmd_SMART_RENDER, 24);
#if ZP_HOST_THREADED
ZP_HOST_CONSTANT(PF_Cmd_RESERVED1, 25);
ZP_HOST_CONSTANT(PF_Cmd_RESERVED2, 26);
ZP_HOST_CONSTANT(PF_Cmd_RESERVED3, 27);
ZP_HOST_CONSTANT(PF_Cmd_GET_FLATTENED_SEQUENCE_DATA, 28);
ZP_HOST_CONSTANT(PF_Cmd_TRANSLATE_PARAMS_TO_PREFS, 29);
ZP_HOST_CONSTANT(PF_Cmd_NUM_CMDS, 34);
#endif
ZP_HOST_CONSTANT(PF_OutFlag_KEEP_RESOURCE_OPEN, 1);
ZP_HOST_CONSTANT(PF_OutFlag_SEQUENCE_DATA_NEEDS_FLATTENING, 16);
ZP_HOST_CONSTANT(PF_OutFlag_USE_OUTPUT_EXTENT, 64);
ZP_HOST_CONSTANT(PF_OutFlag_FORCE_RERENDER, 4194304);
ZP_HOST_CONSTANT(PF_OutFlag_DEEP_COLOR_AWARE, 33554432);
ZP_HOST_CONSTANT(PF_OutFlag_SEND_UPDATE_PARAMS_UI, 67108864);
ZP_HOST_CONSTANT(PF_OutFlag2_SUPPORTS_SMART_RENDER, 1024);
ZP_HOST_CONSTANT(PF_OutFlag2_FLOAT_COLOR_AWARE, 4096);
ZP_HOST_CONSTANT(PF_OutFlag2_I_AM_THREADSAFE, 16);
ZP_HOST_CONSTANT(PF_OutFlag2_AE13_5_THREADSAFE, 4194304);
#if ZP_HOST_THREADED
ZP_HOST_CONSTANT(PF_OutFlag2_SUPPORTS_GET_FLATTENED_SEQUENCE_DATA, 8388608);
ZP_HOST_CONSTANT(PF_OutFlag2_SUPPORTS_THREADED_RENDERING, 134217728);
ZP_HOST_CONSTANT(PF_OutFlag2_MUTABLE_RENDER_SEQUENCE_DATA_SLOWER, 268435456);
ZP_HOST_CONSTANT(PF_InFlag_PROJECT_IS_RENDER_ONLY, 1);
#endif
ZP_HOST_CONSTANT(PF_ParamFlag_CANNOT_TIME_VARY, 2);
ZP_HOST_CONSTANT(PF_ParamFlag_COLLAPSE_TWIRLY, 32);
ZP_HOST_CONSTANT(PF_ParamFlag_START_COLLAPSED, 32);
ZP_HOST_CONSTANT(PF_ParamFlag_SUPERVISE, 64);
ZP_HOST_CONSTANT(PF_PUI_DISABLED, 32);
ZP_HOST_CONSTANT(PF_ChangeFlag_CHANGED_VALUE, 1);
ZP_HOST_CONSTANT(PF_WorldFlag_DEEP, 1);
ZP_HOST_CONSTANT(PF_PlatData_EXE_FILE_PATH_DEPRECATED, 1);
ZP_HOST_CONSTANT(PF_Stage_DEVELOP, 0);
ZP_HOST_CONSTANT(PF_Stage_ALPHA, 1);
ZP_HOST_CONSTANT(PF_Stage_BETA, 2);
ZP_HOST_CONSTANT(PF_Stage_RELEASE, 3);
ZP_HOST_CONSTANT(PF_Param_LAYER, 0);
ZP_HOST_CONSTANT(PF_Param_CHECKBOX, 4);
ZP_HOST_CONSTANT(PF_Param_COLOR, 5);
ZP_HOST_CONSTANT(PF_Param_POPUP, 7);
ZP_HOST_CONSTANT(PF_Param_FLOAT_SLIDER, 10);
ZP_HOST_CONSTANT(PF_Param_PATH, 12);
ZP_HOST_CONSTANT(PF_Param_GROUP_START, 13);
ZP_HOST_CONSTANT(PF_Param_GROUP_END, 14);
ZP_HOST_CONSTANT(PF_MAX_EFFECT_PARAM_NAME_LEN, 31);
ZP_HOST_CONSTANT(PF_MAX_EFFECT_MSG_LEN, 255);
ZP_HOST_CONSTANT(PF_MAX_PATH_NAME_LEN, 31);
ZP_HOST_CONSTANT(AEGP_MaskStream_OUTLINE, 400);
ZP_HOST_CONSTANT(AEGP_MaskStream_OPACITY, 401);
ZP_HOST_CONSTANT(AEGP_MaskStream_FEATHER, 402);
ZP_HOST_CONSTANT(AEGP_MaskStream_EXPANSION, 403);
ZP_HOST_CONSTANT(AEGP_LTimeMode_LayerTime, 0);
ZP_HOST_CONSTANT(AEGP_LTimeMode_CompTime, 1);
ZP_HOST_CONSTANT(AEGP_MAX_MASK_NAME_SIZE, 32);
#if ZP_HOST_THREADED && !defined(ZP_HOST_SDK)
ZP_HOST_CONSTANT(PF_PLUG_IN_VERSION, 13);
ZP_HOST_CONSTANT(PF_PLUG_IN_SUBVERS, 29);
ZP_HOST_CONSTANT(PF_AE_PLUG_IN_VERSION, 13);
ZP_HOST_CONSTANT(PF_AE_PLUG_IN_SUBVERS, 29);
#endif

// Registration values the official headers need not declare: the effect kind is a literal in
// their registration macro, the reserved info comes with their samples, and the entry has no
// type of its own. Checked against the project's declarations alone.
#if !defined(ZP_HOST_SDK) && ZP_HOST_THREADED
ZP_HOST_CONSTANT(AE_RESERVED_INFO, 8);
ZP_HOST_CONSTANT(kPluginDataKindEffect, ('e' << 24) | ('F' << 16) | ('K' << 8) | 'T');
ZP_HOST_TYPE(PluginDataEntryFunction2Ptr, PF_Err (*)(PF_PluginDataPtr, PF_PluginDataCB2,
                                                     SPBasicSuite*, const char*, const char*));
#endif

// Suites: the name and the version number that returns the named table
ZP_HOST_SUITE(kPFHandleSuite, "PF Handle Suite", kPFHandleSuiteVersion1, 2);
ZP_HOST_SUITE(kAEGPUtilitySuite, "AEGP Utility Suite", kAEGPUtilitySuiteVersion4, 10);
ZP_HOST_SUITE(kAEGPPFInterfaceSuite, "AEGP PF Interface Suite", kAEGPPFInterfaceSuiteVersion1, 1);
ZP_HOST_SUITE(kAEGPLayerSuite, "AEGP Layer Suite", kAEGPLayerSuiteVersion5, 11);
ZP_HOST_SUITE(kAEGPMaskSuite, "AEGP Layer Mask Suite", kAEGPMaskSuiteVersion4, 5);
ZP_HOST_SUITE(kAEGPStreamSuite, "AEGP Stream Suite", kAEGPStreamSuiteVersion2, 7);
ZP_HOST_SUITE(kAEGPMaskOutlineSuite, "AEGP Mask Outline Suite", kAEGPMaskOutlineSuiteVersion1, 2);
ZP_HOST_SUITE(kPFPathQuerySuite, "PF Path Query Suite", kPFPathQuerySuiteVersion1, 1);
ZP_HOST_SUITE(kPFPathDataSuite, "PF Path Data Suite", kPFPathDataSuiteVersion1, 1);
ZP_HOST_SUITE(kPFParamUtilsSuite, "PF Param Utils Suite", kPFParamUtilsSuiteVersion1, 2);
ZP_HOST_SUITE(kSPBasicSuite, "SP Basic Suite", kSPBasicSuiteVersion, 4);
#if ZP_HOST_THREADED
ZP_HOST_SUITE(kPFEffectSequenceDataSuite, "PF Effect Sequence Data Suite",
              kPFEffectSequenceDataSuiteVersion1, 1);
ZP_HOST_SUITE(kAEGPComputeCacheSuite, "AEGP Compute Cache", kAEGPComputeCacheSuiteVersion1, 1);
ZP_HOST_SUITE(kAEGPHashSuite, "AEGP Hash Suite", kAEGPHashSuiteVersion1, 1);
#endif

} // namespace zp_host_layout

#undef ZP_HOST_SIZE
#undef ZP_HOST_MEMBER
#undef ZP_HOST_CONSTANT
#undef ZP_HOST_TYPE
#undef ZP_HOST_SUITE
