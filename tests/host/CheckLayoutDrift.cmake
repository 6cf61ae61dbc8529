# Proves that the layout table (host/LayoutChecks.h) catches drift in host/, and that the suite
# bindings (render/SuiteTraits.h) catch a table paired with another suite's name or version: each
# mutation below changes one member's offset or size, one slot's position or signature, or one
# binding, in a copy of those files, and every given compiler must then refuse them, while the
# untouched copy compiles.
# Usage: cmake -DSOURCE_DIR=... -DWORK_DIR=... "-DCOMPILERS=g++|x86_64-w64-mingw32-g++-posix"
#        -P CheckLayoutDrift.cmake
# Each mutation is file|text|replacement, the file relative to the source folder, with @ standing
# for a semicolon.
cmake_policy(SET CMP0007 NEW)
set(mutations
  "host/EffectRecords.h|    PF_SoundWorld dest_snd@|    A_long dest_snd@"
  "host/EffectRecords.h|    A_char value_desc[PF_MAX_EFFECT_PARAM_NAME_LEN + 1]@\n    PF_FpShort valid_min|    A_long value_desc@\n    PF_FpShort valid_min"
  "host/EffectRecords.h|    A_long current_time@\n    A_long time_step@|    A_long time_step@\n    A_long current_time@"
  "host/EffectRecords.h|    PF_Boolean solid@\n    PF_Boolean reservedB[3]@|    A_long solid@\n    PF_Boolean reservedB[3]@"
  "host/UtilCallbacks.h|    PF_ColorCallbacks colorCB@\n|"
  "host/AegpSuites.h|    A_Err (*AEGP_SetMaskInvert)(AEGP_MaskRefH mask_refH, A_Boolean invertB)@\n|"
  "host/EffectSuites.h|    void* (*host_lock_handle)(PF_Handle pf_handle)@\n    void (*host_unlock_handle)(PF_Handle pf_handle)@|    void (*host_unlock_handle)(PF_Handle pf_handle)@\n    void* (*host_lock_handle)(PF_Handle pf_handle)@"
  "host/BasicSuite.h|    SPBoolean (*IsEqual)(const char* token1, const char* token2)@\n|"
  "host/EffectSuites.h|(PF_ProgPtr effect_ref, PF_ConstHandle* sequence_data)@|(PF_ProgPtr effect_ref, PF_Handle* sequence_data)@"
  "host/ComputeCacheSuites.h|    A_Err (*AEGP_ClassUnregister)(AEGP_CCComputeClassIdP compute_classP)@\n|"
  "host/ComputeCacheSuites.h|                                             bool wait_for_other_threadB,|                                             A_Boolean wait_for_other_threadB,"
  "host/ComputeCacheSuites.h|    size_t (*approx_size_value)(AEGP_CCComputeValueRefconP valueP)@\n    void (*delete_compute_value)(AEGP_CCComputeValueRefconP valueP)@|    void (*delete_compute_value)(AEGP_CCComputeValueRefconP valueP)@\n    size_t (*approx_size_value)(AEGP_CCComputeValueRefconP valueP)@"
  "host/ComputeCacheSuites.h|    A_Err (*AEGP_HashMixInPtr)(const A_u_longlong buf_sizeLu, const void* bufPV, AEGP_GUID* hashP)@\n|"
  "render/SuiteTraits.h|(AEGP_MaskSuite4, kAEGPMaskSuite, kAEGPMaskSuiteVersion4)|(AEGP_MaskSuite4, kAEGPMaskOutlineSuite, kAEGPMaskOutlineSuiteVersion1)")
set(copied host render/SuiteTraits.h)

string(REPLACE "|" ";" COMPILERS "${COMPILERS}")
file(REMOVE_RECURSE "${WORK_DIR}")
file(WRITE "${WORK_DIR}/Checks.cpp"
     "#include \"host/LayoutChecks.h\"\n#include \"render/SuiteTraits.h\"\n")

# Copies the checked files into root, each at its place under the source folder.
function(copy_sources root)
  foreach(path IN LISTS copied)
    get_filename_component(folder "${path}" DIRECTORY)
    file(COPY "${SOURCE_DIR}/${path}" DESTINATION "${root}/${folder}")
  endforeach()
endfunction()

function(compile_checks root compiler result)
  execute_process(COMMAND "${compiler}" -std=c++20 -fsyntax-only -I "${root}"
                          "${WORK_DIR}/Checks.cpp"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(${result} ${rc} PARENT_SCOPE)
  set(${result}_text "${out}${err}" PARENT_SCOPE)
endfunction()

copy_sources("${WORK_DIR}/original")
foreach(compiler IN LISTS COMPILERS)
  compile_checks("${WORK_DIR}/original" "${compiler}" rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${compiler} refuses the untouched declarations:\n${rc_text}")
  endif()
endforeach()

set(index 0)
foreach(mutation IN LISTS mutations)
  math(EXPR index "${index} + 1")
  string(REPLACE "|" ";" parts "${mutation}")
  list(GET parts 0 file)
  list(GET parts 1 from)
  list(LENGTH parts count)
  set(to "")
  if(count GREATER 2)
    list(GET parts 2 to)
  endif()
  string(REPLACE "@" ";" from "${from}")
  string(REPLACE "@" ";" to "${to}")
  set(root "${WORK_DIR}/mutation-${index}")
  copy_sources("${root}")
  file(READ "${root}/${file}" text)
  string(FIND "${text}" "${from}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "mutation ${index} no longer matches ${file}: ${from}")
  endif()
  string(REPLACE "${from}" "${to}" text "${text}")
  file(WRITE "${root}/${file}" "${text}")
  foreach(compiler IN LISTS COMPILERS)
    compile_checks("${root}" "${compiler}" rc)
    if(rc EQUAL 0)
      message(FATAL_ERROR "${compiler} accepted ${file} with '${from}' made '${to}'")
    endif()
    if(NOT rc_text MATCHES "static assert|static_assert")
      message(FATAL_ERROR "mutation ${index} failed for another reason than the table:\n${rc_text}")
    endif()
  endforeach()
endforeach()
file(REMOVE_RECURSE "${WORK_DIR}")
list(LENGTH mutations n)
message(STATUS "${n} mutations of host/ and the suite bindings, each refused by: ${COMPILERS}")
