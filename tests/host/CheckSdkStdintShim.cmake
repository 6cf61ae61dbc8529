# Builds the Windows effect library and plug-in against a stand-in for the official headers
# folder that, like the SDKs of the 13.x era, keeps a fixed-width types shim in Win/stdint.h for
# compilers that had none: it makes int32_t a long and declares the INT*_MAX limits for C only,
# and A.h reaches it with #include "stdint.h". The stand-in's other headers carry host/'s
# declarations, so the real sources compile against them, less what came with effect API 13.25
# (the sequence data suite, get-flattened, the compute cache and hash suites, the registration
# entry's callback): AE_Effect.h states 13.7, and every build is one without multi-frame
# rendering, whose property list says so. Every build must succeed:
#  - shim: the folder as a user has it. The compiler's own <stdint.h> has to win: no object may
#    depend on the shim, while a header found only in Win/ is still found;
#  - long-int32: the shim put in front on purpose, so int32_t and A_long are long (32 bits on
#    Windows) and INT32_MAX is undeclared: our code must not care which type int32_t is;
#  - long-a-long: A_long is long while int32_t is int: our code must not take one for the other.
# Usage: cmake -DSOURCE_DIR=... -DWORK_DIR=... -DTOOLCHAIN=<mingw-w64.cmake> [-DLAUNCHER=ccache]
#        [-DVARIANTS=shim;long-int32;long-a-long] -P CheckSdkStdintShim.cmake
cmake_minimum_required(VERSION 3.25)
include("${CMAKE_CURRENT_LIST_DIR}/PiplWords.cmake")
if(NOT VARIANTS)
  set(VARIANTS shim long-int32 long-a-long)
endif()
file(REMOVE_RECURSE "${WORK_DIR}")

# The shim as the fact sheet describes it: every type <cstdint> names, int32_t and uint32_t of
# long unless DVACORE_MATCH_MAC_STDINT_ON_WINDOWS is defined, the limits for C only.
set(shim_text [=[
#ifndef _ADOBE_STDINT_H_
#define _ADOBE_STDINT_H_
typedef signed char int8_t;
typedef short int16_t;
typedef long long int64_t;
typedef unsigned char uint8_t;
typedef unsigned short uint16_t;
typedef unsigned long long uint64_t;
#ifdef DVACORE_MATCH_MAC_STDINT_ON_WINDOWS
typedef int int32_t;
typedef unsigned int uint32_t;
#else
typedef long int int32_t;
typedef unsigned long int uint32_t;
#endif
typedef int8_t int_least8_t;
typedef int16_t int_least16_t;
typedef int32_t int_least32_t;
typedef int64_t int_least64_t;
typedef uint8_t uint_least8_t;
typedef uint16_t uint_least16_t;
typedef uint32_t uint_least32_t;
typedef uint64_t uint_least64_t;
typedef int8_t int_fast8_t;
typedef int16_t int_fast16_t;
typedef int32_t int_fast32_t;
typedef int64_t int_fast64_t;
typedef uint8_t uint_fast8_t;
typedef uint16_t uint_fast16_t;
typedef uint32_t uint_fast32_t;
typedef uint64_t uint_fast64_t;
typedef long long intptr_t;
typedef unsigned long long uintptr_t;
typedef int64_t intmax_t;
typedef uint64_t uintmax_t;
#ifndef __cplusplus
#define INT8_MIN (-127 - 1)
#define INT16_MIN (-32767 - 1)
#define INT32_MIN (-2147483647L - 1)
#define INT64_MIN (-9223372036854775807LL - 1)
#define INT8_MAX 127
#define INT16_MAX 32767
#define INT32_MAX 2147483647L
#define INT64_MAX 9223372036854775807LL
#define UINT8_MAX 0xff
#define UINT16_MAX 0xffff
#define UINT32_MAX 0xffffffffUL
#define UINT64_MAX 0xffffffffffffffffULL
#endif
#endif
]=])

# Takes out a declaration the 13.x-era headers did not have; one that is not found stops the
# check, so that the stand-in follows host/.
function(strip_newer text_var pattern)
  string(REGEX MATCH "${pattern}" found "${${text_var}}")
  if(NOT found)
    message(FATAL_ERROR "the stand-in cannot take out /${pattern}/: host/ changed")
  endif()
  string(REGEX REPLACE "${pattern}" "" stripped "${${text_var}}")
  set(${text_var} "${stripped}" PARENT_SCOPE)
endfunction()

# host/'s declarations under the official headers' names, each including the next as they do.
function(write_stand_in root a_long)
  file(READ "${SOURCE_DIR}/host/BasicTypes.h" basic)
  string(REGEX REPLACE "#ifdef ZP_HOST_SDK[^\n]*\n#error[^\n]*\n#endif\n" "" basic "${basic}")
  string(REPLACE "#include <cstdint>\n" "#include \"stdint.h\"\n" basic "${basic}")
  string(REPLACE "typedef int32_t A_long;" "typedef ${a_long} A_long;" basic "${basic}")
  string(REPLACE "#include \"stdint.h\"\n" "#include \"stdint.h\"\n#include \"WinOnly.h\"\n" basic
                 "${basic}")
  file(WRITE "${root}/A.h" "${basic}")
  set(pairs "AE_Effect.h|EffectRecords.h" "AE_EffectCB.h|UtilCallbacks.h"
            "AE_EffectSuites.h|EffectSuites.h" "AE_GeneralPlug.h|AegpSuites.h"
            "SP/SPBasic.h|BasicSuite.h")
  foreach(pair IN LISTS pairs)
    string(REPLACE "|" ";" pair "${pair}")
    list(GET pair 0 name)
    list(GET pair 1 source)
    file(READ "${SOURCE_DIR}/host/${source}" text)
    if(name STREQUAL "AE_Effect.h")
      strip_newer(text "typedef const void\\* PF_ConstPtr;\n")
      strip_newer(text "typedef const PF_ConstPtr\\* PF_ConstHandle;\n")
      strip_newer(text "[^\n]*PF_Cmd_GET_FLATTENED_SEQUENCE_DATA = 28,\n")
      strip_newer(text "[^\n]*PF_Cmd_TRANSLATE_PARAMS_TO_PREFS = 29,\n")
      strip_newer(text "[^\n]*PF_OutFlag2_SUPPORTS_GET_FLATTENED_SEQUENCE_DATA[^\n]*\n")
      strip_newer(text "[^\n]*PF_OutFlag2_SUPPORTS_THREADED_RENDERING[^\n]*\n")
      string(REPLACE "PF_Cmd_NUM_CMDS = 34" "PF_Cmd_NUM_CMDS = 28" text "${text}")
      string(APPEND text "#define PF_PLUG_IN_VERSION 13\n#define PF_PLUG_IN_SUBVERS 7\n")
    elseif(name STREQUAL "AE_EffectSuites.h")
      strip_newer(text "#define kPFEffectSequenceDataSuite [^}]*} PF_EffectSequenceDataSuite1;\n")
    endif()
    string(REPLACE "#include \"host/BasicTypes.h\"" "#include \"A.h\"" text "${text}")
    string(REPLACE "#include \"host/EffectRecords.h\"" "#include \"AE_Effect.h\"" text "${text}")
    if(text MATCHES "#include \"host/")
      message(FATAL_ERROR "host/${source} includes a header the stand-in does not map")
    endif()
    file(WRITE "${root}/${name}" "${text}")
  endforeach()
  file(WRITE "${root}/AE_EffectCBSuites.h" "#pragma once\n#include \"AE_EffectSuites.h\"\n")
  file(WRITE "${root}/Win/stdint.h" "${shim_text}")
  file(WRITE "${root}/Win/WinOnly.h" "#pragma once\ntypedef int StandInWinOnly;\n")
endfunction()

set(failures "")
foreach(variant IN LISTS VARIANTS)
  set(sdk "${WORK_DIR}/${variant}-sdk")
  set(a_long int32_t)
  set(flags "")
  if(variant STREQUAL "long-a-long")
    set(a_long long)
  elseif(variant STREQUAL "long-int32")
    set(flags "-I${sdk}/Win")
  elseif(NOT variant STREQUAL "shim")
    message(FATAL_ERROR "unknown variant ${variant}")
  endif()
  write_stand_in("${sdk}" "${a_long}")
  set(binary "${WORK_DIR}/${variant}")
  set(launch "")
  if(LAUNCHER)
    set(launch "-DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER}" "-DCMAKE_C_COMPILER_LAUNCHER=${LAUNCHER}")
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${binary}" -G "Unix Makefiles"
                          "-DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}" -DCMAKE_BUILD_TYPE=Release
                          "-DCMAKE_CXX_FLAGS=${flags}" ${launch} -DZP_BUILD_TESTS=OFF
                          -DZP_BUILD_BENCH=OFF -DZP_BUILD_CLI=OFF -DZP_BUILD_PYTHON=OFF
                          "-DZP_HOST_SDK_DIR=${sdk}"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${variant}: the stand-in headers folder was refused:\n${out}\n${err}")
  endif()
  string(REGEX REPLACE "[ \n]+" " " said "${out}")
  if(NOT said MATCHES "effect API 13\\.7 is older than 13\\.25: building without multi-frame")
    string(APPEND failures "\n  ${variant}: the configure did not report a build without "
                           "multi-frame rendering")
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" --build "${binary}" -j2 --target Zonepainter
                          ZonepainterLoader -- -k
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(REGEX MATCHALL "[^\n]*error[^\n]*" errors "${out}\n${err}")
    list(JOIN errors "\n    " errors)
    string(APPEND failures "\n  ${variant}:\n    ${errors}")
    continue()
  endif()
  # Neither threading flag, and effect API 13.0: what this build's global setup reports.
  expect_pipl_property("${binary}" eSVR 0d000000 failures)
  expect_pipl_property("${binary}" eGL2 00140000 failures)
  if(variant STREQUAL "shim")
    # The compiler's dependency lists name every header each object read.
    file(GLOB_RECURSE depends "${binary}/*.d")
    set(read_a_h FALSE)
    set(read_shim "")
    foreach(depend IN LISTS depends)
      file(READ "${depend}" text)
      if(text MATCHES "Win/stdint\\.h")
        list(APPEND read_shim "${depend}")
      endif()
      if(text MATCHES "/A\\.h")
        set(read_a_h TRUE)
      endif()
    endforeach()
    if(read_shim)
      list(GET read_shim 0 first)
      list(LENGTH read_shim count)
      string(APPEND failures "\n  shim: ${count} objects read the shim, ${first} among them")
    endif()
    if(NOT read_a_h)
      string(APPEND failures "\n  shim: no object read the stand-in's A.h")
    endif()
  endif()
  message(STATUS "${variant}: the effect library and the plug-in built")
endforeach()
if(failures)
  message(FATAL_ERROR "building against the stand-in headers failed:${failures}")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
message(STATUS "the official headers' fixed-width types shim changes nothing")
