# Proves that the layout table (host/LayoutChecks.h) catches drift in host/: each mutation below
# changes one member's offset or size, or one slot's position, in a copy of host/, and every
# given compiler must then refuse the table, while the untouched copy compiles.
# Usage: cmake -DSOURCE_DIR=... -DWORK_DIR=... "-DCOMPILERS=g++|x86_64-w64-mingw32-g++-posix"
#        -P CheckLayoutDrift.cmake
# Each mutation is file|text|replacement, with @ standing for a semicolon.
cmake_policy(SET CMP0007 NEW)
set(mutations
  "EffectRecords.h|    PF_SoundWorld dest_snd@|    A_long dest_snd@"
  "EffectRecords.h|    A_char value_desc[PF_MAX_EFFECT_PARAM_NAME_LEN + 1]@\n    PF_FpShort valid_min|    A_long value_desc@\n    PF_FpShort valid_min"
  "EffectRecords.h|    A_long current_time@\n    A_long time_step@|    A_long time_step@\n    A_long current_time@"
  "EffectRecords.h|    PF_Boolean solid@\n    PF_Boolean reservedB[3]@|    A_long solid@\n    PF_Boolean reservedB[3]@"
  "UtilCallbacks.h|    PF_ColorCallbacks colorCB@\n|"
  "AegpSuites.h|    A_Err (*AEGP_SetMaskInvert)(AEGP_MaskRefH mask_refH, A_Boolean invertB)@\n|"
  "EffectSuites.h|    void* (*host_lock_handle)(PF_Handle pf_handle)@\n    void (*host_unlock_handle)(PF_Handle pf_handle)@|    void (*host_unlock_handle)(PF_Handle pf_handle)@\n    void* (*host_lock_handle)(PF_Handle pf_handle)@"
  "BasicSuite.h|    SPBoolean (*IsEqual)(const char* token1, const char* token2)@\n|")

string(REPLACE "|" ";" COMPILERS "${COMPILERS}")
file(REMOVE_RECURSE "${WORK_DIR}")
file(WRITE "${WORK_DIR}/Checks.cpp" "#include \"host/LayoutChecks.h\"\n")

function(compile_checks root compiler result)
  execute_process(COMMAND "${compiler}" -std=c++20 -fsyntax-only -I "${root}"
                          "${WORK_DIR}/Checks.cpp"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(${result} ${rc} PARENT_SCOPE)
  set(${result}_text "${out}${err}" PARENT_SCOPE)
endfunction()

file(COPY "${SOURCE_DIR}/host" DESTINATION "${WORK_DIR}/original")
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
  file(COPY "${SOURCE_DIR}/host" DESTINATION "${root}")
  file(READ "${root}/host/${file}" text)
  string(FIND "${text}" "${from}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "mutation ${index} no longer matches host/${file}: ${from}")
  endif()
  string(REPLACE "${from}" "${to}" text "${text}")
  file(WRITE "${root}/host/${file}" "${text}")
  foreach(compiler IN LISTS COMPILERS)
    compile_checks("${root}" "${compiler}" rc)
    if(rc EQUAL 0)
      message(FATAL_ERROR "${compiler} accepted host/${file} with '${from}' made '${to}'")
    endif()
    if(NOT rc_text MATCHES "static assert|static_assert")
      message(FATAL_ERROR "mutation ${index} failed for another reason than the table:\n${rc_text}")
    endif()
  endforeach()
endforeach()
file(REMOVE_RECURSE "${WORK_DIR}")
list(LENGTH mutations n)
message(STATUS "${n} mutations of host/, each refused by: ${COMPILERS}")
