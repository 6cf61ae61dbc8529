// The AEGP suites the effect uses to reach its layer's masks and to register itself, with the
// AEGP types they pass. Each struct is the table the host returns for the (name, version) pair
// of its macros; the version number asked for is not the number in the struct's name.
#pragma once

#include "host/EffectRecords.h"

extern "C" {

// ---------------------------------------------------------------------------------------------
// Types
typedef A_long AEGP_PluginID;
typedef void* AEGP_GlobalRefcon;
struct _AEGP_CompH;
typedef struct _AEGP_CompH* AEGP_CompH;
struct _AEGP_ItemH;
typedef struct _AEGP_ItemH* AEGP_ItemH;
struct _AEGP_LayerH;
typedef struct _AEGP_LayerH* AEGP_LayerH;
struct _AEGP_EffectRefH;
typedef struct _AEGP_EffectRefH* AEGP_EffectRefH;
struct _AEGP_MaskRefH;
typedef struct _AEGP_MaskRefH* AEGP_MaskRefH;
struct _AEGP_StreamRefH;
typedef struct _AEGP_StreamRefH* AEGP_StreamRefH;
struct _AEGP_MemHandle;
typedef struct _AEGP_MemHandle* AEGP_MemHandle;
struct _AEGP_MaskOutlineVal;
typedef struct _AEGP_MaskOutlineVal** AEGP_MaskOutlineValH;
struct _AEGP_TextDocument;
typedef struct _AEGP_TextDocument** AEGP_TextDocumentH;
struct _AEGP_MarkerVal;
typedef struct _AEGP_MarkerVal* AEGP_MarkerValP;
typedef PF_Handle AEGP_ArbBlockVal;

typedef A_long AEGP_MaskIndex;
typedef A_long AEGP_VertexIndex;
typedef A_long AEGP_MaskStream;
typedef A_long AEGP_LTimeMode;
typedef A_long AEGP_LayerStream;
typedef A_long AEGP_LayerIDVal;
typedef A_long AEGP_MaskIDVal;
typedef A_long AEGP_LayerQuality;
typedef A_long AEGP_LayerFlags;
typedef A_long AEGP_ObjectType;
typedef A_long AEGP_MaskMBlur;
typedef A_long AEGP_StreamFlags;
typedef A_long AEGP_StreamType;
typedef A_long AEGP_KeyInterpolationMask;

typedef struct {
    A_long mode;
    A_long flags;
    A_long track_matte;
} AEGP_LayerTransferMode;

typedef struct {
    A_long dummy1;
    A_long dummy2;
} AEGP_ErrReportState;

enum {
    AEGP_MaskStream_OUTLINE = 400,
    AEGP_MaskStream_OPACITY = 401,
    AEGP_MaskStream_FEATHER = 402,
    AEGP_MaskStream_EXPANSION = 403,
};
enum { AEGP_LTimeMode_LayerTime = 0, AEGP_LTimeMode_CompTime = 1 };
enum { AEGP_MAX_MASK_NAME_SIZE = 32 };

typedef struct {
    A_FpLong alphaF, redF, greenF, blueF;
} AEGP_ColorVal;

// A mask outline point in layer pixels; the tangents are offsets from the point.
typedef struct {
    PF_FpLong x, y;
    PF_FpLong tan_in_x, tan_in_y;
    PF_FpLong tan_out_x, tan_out_y;
} AEGP_MaskVertex;

typedef A_FpLong AEGP_OneDVal;
typedef struct {
    A_FpLong x, y;
} AEGP_TwoDVal;
typedef struct {
    A_FpLong x, y, z;
} AEGP_ThreeDVal;
typedef struct {
    A_FpLong x, y, z, w;
} AEGP_FourDVal;

typedef union {
    AEGP_FourDVal four_d;
    AEGP_ThreeDVal three_d;
    AEGP_TwoDVal two_d;
    AEGP_OneDVal one_d;
    AEGP_ColorVal color;
    AEGP_ArbBlockVal arbH;
    AEGP_MarkerValP markerP;
    AEGP_LayerIDVal layer_id;
    AEGP_MaskIDVal mask_id;
    AEGP_MaskOutlineValH mask;
    AEGP_TextDocumentH text_documentH;
} AEGP_StreamVal2;

typedef struct {
    AEGP_StreamRefH streamH;
    AEGP_StreamVal2 val;
} AEGP_StreamValue2;

// The value record of the older stream suite the effect is handed ("AEGP Stream Suite" 7):
// the same members at the same offsets as AEGP_StreamValue2.
typedef union {
    AEGP_FourDVal four_d;
    AEGP_ThreeDVal three_d;
    AEGP_TwoDVal two_d;
    AEGP_OneDVal one_d;
    AEGP_ColorVal color;
    AEGP_ArbBlockVal arbH;
    AEGP_MarkerValP markerP;
    AEGP_LayerIDVal layer_id;
    AEGP_MaskIDVal mask_id;
    AEGP_MaskOutlineValH mask;
    AEGP_TextDocumentH text_documentH;
} AEGP_StreamVal;

typedef struct {
    AEGP_StreamRefH streamH;
    AEGP_StreamVal val;
} AEGP_StreamValue;

// ---------------------------------------------------------------------------------------------
// "AEGP Utility Suite" 10
#define kAEGPUtilitySuite "AEGP Utility Suite"
#define kAEGPUtilitySuiteVersion4 10

typedef struct AEGP_UtilitySuite4 {
    A_Err (*AEGP_ReportInfo)(AEGP_PluginID aegp_plugin_id, const A_char* info_stringZ);
    A_Err (*AEGP_GetDriverPluginInitFuncVersion)(A_short* major_versionPS,
                                                 A_short* minor_versionPS);
    A_Err (*AEGP_GetDriverImplementationVersion)(A_short* major_versionPS,
                                                 A_short* minor_versionPS);
    A_Err (*AEGP_StartQuietErrors)(AEGP_ErrReportState* err_stateP);
    A_Err (*AEGP_EndQuietErrors)(A_Boolean report_quieted_errorsB, AEGP_ErrReportState* err_stateP);
    A_Err (*AEGP_GetLastErrorMessage)(A_long buffer_size, A_char* error_string, A_Err* error_num);
    A_Err (*AEGP_StartUndoGroup)(const A_char* undo_nameZ);
    A_Err (*AEGP_EndUndoGroup)(void);
    A_Err (*AEGP_RegisterWithAEGP)(AEGP_GlobalRefcon global_refcon, const A_char* plugin_nameZ,
                                   AEGP_PluginID* plugin_id);
    A_Err (*AEGP_GetMainHWND)(void* main_hwnd);
    A_Err (*AEGP_ShowHideAllFloaters)(A_Boolean include_tool_palB);
    A_Err (*AEGP_PaintPalGetForeColor)(AEGP_ColorVal* fore_colorP);
    A_Err (*AEGP_PaintPalGetBackColor)(AEGP_ColorVal* back_colorP);
    A_Err (*AEGP_PaintPalSetForeColor)(const AEGP_ColorVal* fore_colorP);
    A_Err (*AEGP_PaintPalSetBackColor)(const AEGP_ColorVal* back_colorP);
    A_Err (*AEGP_CharPalGetFillColor)(A_Boolean* is_fill_color_definedPB,
                                      AEGP_ColorVal* fill_colorP);
    A_Err (*AEGP_CharPalGetStrokeColor)(A_Boolean* is_stroke_color_definedPB,
                                        AEGP_ColorVal* stroke_colorP);
    A_Err (*AEGP_CharPalSetFillColor)(const AEGP_ColorVal* fill_colorP);
    A_Err (*AEGP_CharPalSetStrokeColor)(const AEGP_ColorVal* stroke_colorP);
    A_Err (*AEGP_CharPalIsFillColorUIFrontmost)(A_Boolean* is_fill_color_selectedPB);
    A_Err (*AEGP_ConvertFpLongToHSFRatio)(A_FpLong numberF, A_Ratio* ratioPR);
    A_Err (*AEGP_ConvertHSFRatioToFpLong)(A_Ratio ratioR, A_FpLong* numberPF);
    A_Err (*AEGP_CauseIdleRoutinesToBeCalled)(void);
    A_Err (*AEGP_GetSuppressInteractiveUI)(A_Boolean* ui_is_suppressedPB);
    A_Err (*AEGP_WriteToOSConsole)(const A_char* textZ);
    A_Err (*AEGP_WriteToDebugLog)(const A_char* subsystemZ, const A_char* event_typeZ,
                                  const A_char* infoZ);
    A_Err (*AEGP_IsScriptingAvailable)(A_Boolean* outAvailablePB);
    A_Err (*AEGP_ExecuteScript)(AEGP_PluginID plugin_id, const A_char* scriptZ,
                                const A_Boolean platform_encodingB, AEGP_MemHandle* outResultPH0,
                                AEGP_MemHandle* outErrorStringPH0);
    A_Err (*AEGP_HostIsActivated)(A_Boolean* is_activatedPB);
    A_Err (*AEGP_GetPluginPlatformRef)(AEGP_PluginID plug_id, void** plat_refPPV);
} AEGP_UtilitySuite4;

// ---------------------------------------------------------------------------------------------
// "AEGP PF Interface Suite" 1
#define kAEGPPFInterfaceSuite "AEGP PF Interface Suite"
#define kAEGPPFInterfaceSuiteVersion1 1

typedef struct AEGP_PFInterfaceSuite1 {
    A_Err (*AEGP_GetEffectLayer)(PF_ProgPtr effect_ref, AEGP_LayerH* layerPH);
    A_Err (*AEGP_GetNewEffectForEffect)(AEGP_PluginID aegp_plugin_id, PF_ProgPtr effect_ref,
                                        AEGP_EffectRefH* effectPH);
    A_Err (*AEGP_ConvertEffectToCompTime)(PF_ProgPtr effect_ref, A_long what_timeL,
                                          A_u_long time_scaleLu, A_Time* comp_timePT);
    A_Err (*AEGP_GetEffectCamera)(PF_ProgPtr effect_ref, const A_Time* comp_timePT,
                                  AEGP_LayerH* camera_layerPH);
    A_Err (*AEGP_GetEffectCameraMatrix)(PF_ProgPtr effect_ref, const A_Time* comp_timePT,
                                        A_Matrix4* camera_matrixP, A_FpLong* dist_to_image_planePF,
                                        A_short* image_plane_widthPL,
                                        A_short* image_plane_heightPL);
} AEGP_PFInterfaceSuite1;

// ---------------------------------------------------------------------------------------------
// "AEGP Layer Suite" 11 (held for the sequence's life; the effect calls none of it)
#define kAEGPLayerSuite "AEGP Layer Suite"
#define kAEGPLayerSuiteVersion5 11

typedef struct AEGP_LayerSuite5 {
    A_Err (*AEGP_GetCompNumLayers)(AEGP_CompH compH, A_long* num_layersPL);
    A_Err (*AEGP_GetCompLayerByIndex)(AEGP_CompH compH, A_long layer_indexL, AEGP_LayerH* layerPH);
    A_Err (*AEGP_GetActiveLayer)(AEGP_LayerH* layerPH);
    A_Err (*AEGP_GetLayerIndex)(AEGP_LayerH layerH, A_long* layer_indexPL);
    A_Err (*AEGP_GetLayerSourceItem)(AEGP_LayerH layerH, AEGP_ItemH* source_itemPH);
    A_Err (*AEGP_GetLayerSourceItemID)(AEGP_LayerH layerH, A_long* source_item_idPL);
    A_Err (*AEGP_GetLayerParentComp)(AEGP_LayerH layerH, AEGP_CompH* compPH);
    A_Err (*AEGP_GetLayerName)(AEGP_LayerH layerH, A_char* layer_nameZ0, A_char* source_nameZ0);
    A_Err (*AEGP_GetLayerQuality)(AEGP_LayerH layerH, AEGP_LayerQuality* qualityP);
    A_Err (*AEGP_SetLayerQuality)(AEGP_LayerH layerH, AEGP_LayerQuality quality);
    A_Err (*AEGP_GetLayerFlags)(AEGP_LayerH layerH, AEGP_LayerFlags* layer_flagsP);
    A_Err (*AEGP_SetLayerFlag)(AEGP_LayerH layerH, AEGP_LayerFlags single_flag, A_Boolean valueB);
    A_Err (*AEGP_IsLayerVideoReallyOn)(AEGP_LayerH layerH, A_Boolean* onPB);
    A_Err (*AEGP_IsLayerAudioReallyOn)(AEGP_LayerH layerH, A_Boolean* onPB);
    A_Err (*AEGP_GetLayerCurrentTime)(AEGP_LayerH layerH, AEGP_LTimeMode time_mode,
                                      A_Time* curr_timePT);
    A_Err (*AEGP_GetLayerInPoint)(AEGP_LayerH layerH, AEGP_LTimeMode time_mode, A_Time* in_pointPT);
    A_Err (*AEGP_GetLayerDuration)(AEGP_LayerH layerH, AEGP_LTimeMode time_mode,
                                   A_Time* durationPT);
    A_Err (*AEGP_SetLayerInPointAndDuration)(AEGP_LayerH layerH, AEGP_LTimeMode time_mode,
                                             const A_Time* in_pointPT, const A_Time* durationPT);
    A_Err (*AEGP_GetLayerOffset)(AEGP_LayerH layerH, A_Time* offsetPT);
    A_Err (*AEGP_SetLayerOffset)(AEGP_LayerH layerH, const A_Time* offsetPT);
    A_Err (*AEGP_GetLayerStretch)(AEGP_LayerH layerH, A_Ratio* stretchPRt);
    A_Err (*AEGP_SetLayerStretch)(AEGP_LayerH layerH, const A_Ratio* stretchPRt);
    A_Err (*AEGP_GetLayerTransferMode)(AEGP_LayerH layerH, AEGP_LayerTransferMode* transferP);
    A_Err (*AEGP_SetLayerTransferMode)(AEGP_LayerH layerH, const AEGP_LayerTransferMode* transferP);
    A_Err (*AEGP_IsAddLayerValid)(AEGP_ItemH item_to_addH, AEGP_CompH into_compH,
                                  A_Boolean* validPB);
    A_Err (*AEGP_AddLayer)(AEGP_ItemH item_to_addH, AEGP_CompH into_compH,
                           AEGP_LayerH* added_layerPH0);
    A_Err (*AEGP_ReorderLayer)(AEGP_LayerH layerH, A_long layer_indexL);
    A_Err (*AEGP_GetLayerMaskedBounds)(AEGP_LayerH layerH, AEGP_LTimeMode time_mode,
                                       const A_Time* timePT, A_FloatRect* boundsPR);
    A_Err (*AEGP_GetLayerObjectType)(AEGP_LayerH layerH, AEGP_ObjectType* object_type);
    A_Err (*AEGP_IsLayer3D)(AEGP_LayerH layerH, A_Boolean* is_3DPB);
    A_Err (*AEGP_IsLayer2D)(AEGP_LayerH layerH, A_Boolean* is_2DPB);
    A_Err (*AEGP_IsVideoActive)(AEGP_LayerH layerH, AEGP_LTimeMode time_mode, const A_Time* timePT,
                                A_Boolean* is_activePB);
    A_Err (*AEGP_IsLayerUsedAsTrackMatte)(AEGP_LayerH layerH, A_Boolean fill_must_be_activeB,
                                          A_Boolean* is_track_mattePB);
    A_Err (*AEGP_DoesLayerHaveTrackMatte)(AEGP_LayerH layerH, A_Boolean* has_track_mattePB);
    A_Err (*AEGP_ConvertCompToLayerTime)(AEGP_LayerH layerH, const A_Time* comp_timeP,
                                         A_Time* layer_timeP);
    A_Err (*AEGP_ConvertLayerToCompTime)(AEGP_LayerH layerH, const A_Time* layer_timeP,
                                         A_Time* comp_timeP);
    A_Err (*AEGP_GetLayerDancingRandValue)(AEGP_LayerH layerH, const A_Time* comp_timePT,
                                           A_long* rand_valuePL);
    A_Err (*AEGP_GetLayerID)(AEGP_LayerH layerH, AEGP_LayerIDVal* id_valP);
    A_Err (*AEGP_GetLayerToWorldXform)(AEGP_LayerH aegp_layerH, const A_Time* comp_timeP,
                                       A_Matrix4* transform);
    A_Err (*AEGP_GetLayerToWorldXformFromView)(AEGP_LayerH aegp_layerH, const A_Time* view_timeP,
                                               const A_Time* comp_timeP, A_Matrix4* transform);
    A_Err (*AEGP_SetLayerName)(AEGP_LayerH aegp_layerH, const A_char* new_nameZ);
    A_Err (*AEGP_GetLayerParent)(const AEGP_LayerH layerH, AEGP_LayerH* parent_layerPH);
    A_Err (*AEGP_SetLayerParent)(AEGP_LayerH layerH, const AEGP_LayerH parent_layerH);
    A_Err (*AEGP_DeleteLayer)(AEGP_LayerH layerH);
    A_Err (*AEGP_DuplicateLayer)(AEGP_LayerH orig_layerH, AEGP_LayerH* duplicate_layerPH);
    A_Err (*AEGP_GetLayerFromLayerID)(AEGP_CompH parent_compH, AEGP_LayerIDVal id,
                                      AEGP_LayerH* layerPH);
} AEGP_LayerSuite5;

// ---------------------------------------------------------------------------------------------
// "AEGP Layer Mask Suite" 5
#define kAEGPMaskSuite "AEGP Layer Mask Suite"
#define kAEGPMaskSuiteVersion4 5

typedef struct AEGP_MaskSuite4 {
    A_Err (*AEGP_GetLayerNumMasks)(AEGP_LayerH aegp_layerH, A_long* num_masksPL);
    A_Err (*AEGP_GetLayerMaskByIndex)(AEGP_LayerH aegp_layerH, AEGP_MaskIndex mask_indexL,
                                      AEGP_MaskRefH* maskPH);
    A_Err (*AEGP_DisposeMask)(AEGP_MaskRefH mask_refH);
    A_Err (*AEGP_GetMaskInvert)(AEGP_MaskRefH mask_refH, A_Boolean* invertPB);
    A_Err (*AEGP_SetMaskInvert)(AEGP_MaskRefH mask_refH, A_Boolean invertB);
    A_Err (*AEGP_GetMaskMode)(AEGP_MaskRefH mask_refH, PF_MaskMode* modeP);
    A_Err (*AEGP_SetMaskMode)(AEGP_MaskRefH maskH, PF_MaskMode mode);
    A_Err (*AEGP_GetMaskMotionBlurState)(AEGP_MaskRefH mask_refH, AEGP_MaskMBlur* blur_stateP);
    A_Err (*AEGP_SetMaskMotionBlurState)(AEGP_MaskRefH mask_refH, AEGP_MaskMBlur blur_state);
    // nameZ holds at least AEGP_MAX_MASK_NAME_SIZE bytes.
    A_Err (*AEGP_GetMaskName)(AEGP_MaskRefH mask_refH, A_char* nameZ);
    A_Err (*AEGP_SetMaskName)(AEGP_MaskRefH mask_refH, A_char* nameZ);
    A_Err (*AEGP_GetMaskID)(AEGP_MaskRefH mask_refH, AEGP_MaskIDVal* id_valP);
    A_Err (*AEGP_CreateNewMask)(AEGP_LayerH layerH, AEGP_MaskRefH* mask_refPH,
                                A_long* mask_indexPL0);
    A_Err (*AEGP_DeleteMaskFromLayer)(AEGP_MaskRefH mask_refH);
    A_Err (*AEGP_GetMaskColor)(AEGP_MaskRefH mask_refH, AEGP_ColorVal* colorP);
    A_Err (*AEGP_SetMaskColor)(AEGP_MaskRefH mask_refH, const AEGP_ColorVal* colorP);
    A_Err (*AEGP_GetMaskLockState)(AEGP_MaskRefH mask_refH, A_Boolean* is_lockedPB);
    A_Err (*AEGP_SetMaskLockState)(AEGP_MaskRefH mask_refH, A_Boolean lockB);
    A_Err (*AEGP_GetMaskIsRotoBezier)(AEGP_MaskRefH mask_refH, A_Boolean* is_roto_bezierPB);
    A_Err (*AEGP_SetMaskIsRotoBezier)(AEGP_MaskRefH mask_refH, A_Boolean is_roto_bezierB);
    A_Err (*AEGP_DuplicateMask)(AEGP_MaskRefH orig_mask_refH, AEGP_MaskRefH* dupe_mask_refPH);
} AEGP_MaskSuite4;

// ---------------------------------------------------------------------------------------------
// "AEGP Stream Suite" 7
#define kAEGPStreamSuite "AEGP Stream Suite"
#define kAEGPStreamSuiteVersion2 7

typedef struct AEGP_StreamSuite2 {
    A_Err (*AEGP_IsStreamLegal)(AEGP_LayerH layerH, AEGP_LayerStream which_stream,
                                A_Boolean* is_legalP);
    A_Err (*AEGP_CanVaryOverTime)(AEGP_StreamRefH streamH, A_Boolean* can_varyPB);
    A_Err (*AEGP_GetValidInterpolations)(AEGP_StreamRefH streamH,
                                         AEGP_KeyInterpolationMask* valid_interpP);
    A_Err (*AEGP_GetNewLayerStream)(AEGP_PluginID aegp_plugin_id, AEGP_LayerH layerH,
                                    AEGP_LayerStream which_stream, AEGP_StreamRefH* streamPH);
    A_Err (*AEGP_GetEffectNumParamStreams)(AEGP_EffectRefH effect_refH, A_long* num_paramsPL);
    A_Err (*AEGP_GetNewEffectStreamByIndex)(AEGP_PluginID aegp_plugin_id,
                                            AEGP_EffectRefH effect_refH, PF_ParamIndex param_index,
                                            AEGP_StreamRefH* streamPH);
    A_Err (*AEGP_GetNewMaskStream)(AEGP_PluginID aegp_plugin_id, AEGP_MaskRefH mask_refH,
                                   AEGP_MaskStream which_stream, AEGP_StreamRefH* mask_streamPH);
    A_Err (*AEGP_DisposeStream)(AEGP_StreamRefH streamH);
    A_Err (*AEGP_GetStreamName)(AEGP_StreamRefH streamH, A_Boolean force_englishB, A_char* nameZ);
    A_Err (*AEGP_GetStreamUnitsText)(AEGP_StreamRefH streamH, A_Boolean force_englishB,
                                     A_char* unitsZ);
    A_Err (*AEGP_GetStreamProperties)(AEGP_StreamRefH streamH, AEGP_StreamFlags* flagsP,
                                      A_FpLong* minP0, A_FpLong* maxP0);
    A_Err (*AEGP_IsStreamTimevarying)(AEGP_StreamRefH streamH, A_Boolean* is_timevaryPB);
    A_Err (*AEGP_GetStreamType)(AEGP_StreamRefH streamH, AEGP_StreamType* stream_typeP);
    A_Err (*AEGP_GetNewStreamValue)(AEGP_PluginID aegp_plugin_id, AEGP_StreamRefH streamH,
                                    AEGP_LTimeMode time_mode, const A_Time* timePT,
                                    A_Boolean pre_expressionB, AEGP_StreamValue* valueP);
    A_Err (*AEGP_DisposeStreamValue)(AEGP_StreamValue* valueP);
    A_Err (*AEGP_SetStreamValue)(AEGP_PluginID aegp_plugin_id, AEGP_StreamRefH streamH,
                                 AEGP_StreamValue* valueP);
    A_Err (*AEGP_GetLayerStreamValue)(AEGP_LayerH layerH, AEGP_LayerStream which_stream,
                                      AEGP_LTimeMode time_mode, const A_Time* timePT,
                                      A_Boolean pre_expressionB, AEGP_StreamVal* stream_valP,
                                      AEGP_StreamType* stream_typeP0);
    A_Err (*AEGP_GetExpressionState)(AEGP_PluginID aegp_plugin_id, AEGP_StreamRefH streamH,
                                     A_Boolean* enabledPB);
    A_Err (*AEGP_SetExpressionState)(AEGP_PluginID aegp_plugin_id, AEGP_StreamRefH streamH,
                                     A_Boolean enabledB);
    A_Err (*AEGP_GetExpression)(AEGP_PluginID aegp_plugin_id, AEGP_StreamRefH streamH,
                                AEGP_MemHandle* unicodeHZ);
    A_Err (*AEGP_SetExpression)(AEGP_PluginID aegp_plugin_id, AEGP_StreamRefH streamH,
                                const A_char* expressionP);
    A_Err (*AEGP_DuplicateStreamRef)(AEGP_PluginID aegp_plugin_id, AEGP_StreamRefH streamH,
                                     AEGP_StreamRefH* dup_streamPH);
} AEGP_StreamSuite2;

// ---------------------------------------------------------------------------------------------
// "AEGP Mask Outline Suite" 2
#define kAEGPMaskOutlineSuite "AEGP Mask Outline Suite"
#define kAEGPMaskOutlineSuiteVersion1 2

typedef struct AEGP_MaskOutlineSuite1 {
    A_Err (*AEGP_IsMaskOutlineOpen)(AEGP_MaskOutlineValH mask_outlineH, A_Boolean* openPB);
    A_Err (*AEGP_GetMaskOutlineNumSegments)(AEGP_MaskOutlineValH mask_outlineH,
                                            A_long* num_segmentsPL);
    A_Err (*AEGP_GetMaskOutlineVertexInfo)(AEGP_MaskOutlineValH mask_outlineH,
                                           AEGP_VertexIndex which_pointL, AEGP_MaskVertex* vertexP);
    A_Err (*AEGP_SetMaskOutlineVertexInfo)(AEGP_MaskOutlineValH mask_outlineH,
                                           AEGP_VertexIndex which_pointL,
                                           const AEGP_MaskVertex* vertexP);
    A_Err (*AEGP_CreateVertex)(AEGP_MaskOutlineValH mask_outlineH,
                               AEGP_VertexIndex insert_position);
    A_Err (*AEGP_DeleteVertex)(AEGP_MaskOutlineValH mask_outlineH, AEGP_VertexIndex index);
} AEGP_MaskOutlineSuite1;

} // extern "C"
