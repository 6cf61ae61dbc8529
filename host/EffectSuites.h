// Effect-side suites: handle memory, the effect's paths, parameter UI updates, and the read-only
// sequence data of a threaded render. The version number asked for is not the number in the
// struct's name; the macros pair each name with the number that returns that struct.
#pragma once

#include "host/EffectRecords.h"

extern "C" {

#define kPFHandleSuite "PF Handle Suite"
#define kPFHandleSuiteVersion1 2

typedef struct PF_HandleSuite1 {
    PF_Handle (*host_new_handle)(A_HandleSize size);
    void* (*host_lock_handle)(PF_Handle pf_handle);
    void (*host_unlock_handle)(PF_Handle pf_handle);
    void (*host_dispose_handle)(PF_Handle pf_handle);
    A_HandleSize (*host_get_handle_size)(PF_Handle pf_handle);
    PF_Err (*host_resize_handle)(A_HandleSize new_sizeL, PF_Handle* handlePH);
} PF_HandleSuite1;

#define kPFPathQuerySuite "PF Path Query Suite"
#define kPFPathQuerySuiteVersion1 1

typedef struct PF_PathQuerySuite1 {
    PF_Err (*PF_NumPaths)(PF_ProgPtr effect_ref, A_long* num_pathsPL);
    PF_Err (*PF_PathInfo)(PF_ProgPtr effect_ref, A_long indexL, PF_PathID* unique_idP);
    PF_Err (*PF_CheckoutPath)(PF_ProgPtr effect_ref, PF_PathID unique_id, A_long what_time,
                              A_long time_step, A_u_long time_scale, PF_PathOutlinePtr* pathPP);
    PF_Err (*PF_CheckinPath)(PF_ProgPtr effect_ref, PF_PathID unique_id, PF_Boolean changedB,
                             PF_PathOutlinePtr pathP);
} PF_PathQuerySuite1;

typedef struct {
    PF_FpLong x, y;
    PF_FpLong tan_in_x, tan_in_y;
    PF_FpLong tan_out_x, tan_out_y;
} PF_PathVertex;

#define kPFPathDataSuite "PF Path Data Suite"
#define kPFPathDataSuiteVersion1 1

typedef struct PF_PathDataSuite1 {
    PF_Err (*PF_PathIsOpen)(PF_ProgPtr effect_ref, PF_PathOutlinePtr pathP, PF_Boolean* openPB);
    PF_Err (*PF_PathNumSegments)(PF_ProgPtr effect_ref, PF_PathOutlinePtr pathP,
                                 A_long* num_segmentsPL);
    PF_Err (*PF_PathVertexInfo)(PF_ProgPtr effect_ref, PF_PathOutlinePtr pathP, A_long which_pointL,
                                PF_PathVertex* vertexP);
    PF_Err (*PF_PathPrepareSegLength)(PF_ProgPtr effect_ref, PF_PathOutlinePtr pathP,
                                      A_long which_segL, A_long frequencyL,
                                      PF_PathSegPrepPtr* lengthPrepPP);
    PF_Err (*PF_PathGetSegLength)(PF_ProgPtr effect_ref, PF_PathOutlinePtr pathP, A_long which_segL,
                                  PF_PathSegPrepPtr* lengthPrepP0, PF_FpLong* lengthPF);
    PF_Err (*PF_PathEvalSegLength)(PF_ProgPtr effect_ref, PF_PathOutlinePtr pathP,
                                   PF_PathSegPrepPtr* lengthPrepPP0, A_long which_segL,
                                   PF_FpLong lengthF, PF_FpLong* x, PF_FpLong* y);
    PF_Err (*PF_PathEvalSegLengthDeriv1)(PF_ProgPtr effect_ref, PF_PathOutlinePtr pathP,
                                         PF_PathSegPrepPtr* lengthPrepPP0, A_long which_segL,
                                         PF_FpLong lengthF, PF_FpLong* x, PF_FpLong* y,
                                         PF_FpLong* deriv1x, PF_FpLong* deriv1y);
    PF_Err (*PF_PathCleanupSegLength)(PF_ProgPtr effect_ref, PF_PathOutlinePtr pathP,
                                      A_long which_segL, PF_PathSegPrepPtr* lengthPrepPP);
    PF_Err (*PF_PathIsInverted)(PF_ProgPtr effect_ref, PF_PathID unique_id, PF_Boolean* invertedB);
    PF_Err (*PF_PathGetMaskMode)(PF_ProgPtr effect_ref, PF_PathID unique_id, PF_MaskMode* modeP);
    // nameZ holds at least PF_MAX_PATH_NAME_LEN + 1 bytes.
    PF_Err (*PF_PathGetName)(PF_ProgPtr effect_ref, PF_PathID unique_id, A_char* nameZ);
} PF_PathDataSuite1;

#define kPFParamUtilsSuite "PF Param Utils Suite"
#define kPFParamUtilsSuiteVersion1 2

typedef struct PF_ParamUtilsSuite1 {
    PF_Err (*PF_UpdateParamUI)(PF_ProgPtr effect_ref, PF_ParamIndex param_index,
                               const PF_ParamDef* defP);
    PF_Err (*PF_GetCurrentStateObsolete)(PF_ProgPtr effect_ref, PF_State* stateP);
    PF_Err (*PF_HasParamChangedObsolete)(PF_ProgPtr effect_ref, const PF_State* stateP,
                                         PF_ParamIndex param_index, PF_Boolean* changedPB);
    PF_Err (*PF_HaveInputsChangedOverTimeSpanObsolete)(PF_ProgPtr effect_ref,
                                                       const PF_State* stateP,
                                                       const A_Time* startPT0,
                                                       const A_Time* durationPT0,
                                                       PF_Boolean* changedPB);
    PF_Err (*PF_IsIdenticalCheckout)(PF_ProgPtr effect_ref, PF_ParamIndex param_index,
                                     A_long what_time1, A_long time_step1, A_u_long time_scale1,
                                     A_long what_time2, A_long time_step2, A_u_long time_scale2,
                                     PF_Boolean* identicalPB);
    PF_Err (*PF_FindKeyframeTime)(PF_ProgPtr effect_ref, PF_ParamIndex param_index,
                                  A_long what_time, A_u_long time_scale, PF_TimeDir time_dir,
                                  PF_Boolean* foundPB, PF_KeyIndex* key_indexP0, A_long* key_timeP0,
                                  A_u_long* key_timescaleP0);
    PF_Err (*PF_GetKeyframeCount)(PF_ProgPtr effect_ref, PF_ParamIndex param_index,
                                  PF_KeyIndex* key_countP);
    PF_Err (*PF_CheckoutKeyframe)(PF_ProgPtr effect_ref, PF_ParamIndex param_index,
                                  PF_KeyIndex key_index, A_long* key_timeP0,
                                  A_u_long* key_timescaleP0, PF_ParamDef* paramP0);
    PF_Err (*PF_CheckinKeyframe)(PF_ProgPtr effect_ref, PF_ParamDef* paramP);
    PF_Err (*PF_KeyIndexToTime)(PF_ProgPtr effect_ref, PF_ParamIndex param_index,
                                PF_KeyIndex key_indexP, A_long* key_timeP,
                                A_u_long* key_timescaleP);
} PF_ParamUtilsSuite1;

#define kPFEffectSequenceDataSuite "PF Effect Sequence Data Suite"
#define kPFEffectSequenceDataSuiteVersion1 1

// With threaded rendering in_data->sequence_data is null at render time; this is how a render
// reads the sequence data instead. The handle is locked like any sequence handle, and only read.
typedef struct PF_EffectSequenceDataSuite1 {
    PF_Err (*PF_GetConstSequenceData)(PF_ProgPtr effect_ref, PF_ConstHandle* sequence_data);
} PF_EffectSequenceDataSuite1;

} // extern "C"
