# Proves that ZP_HOST_SDK_DIR builds the effect code against the official headers only:
#  - a folder without them stops the configure, naming the missing header;
#  - a folder whose headers are all #error stubs configures, and compiling the effect's command
#    dispatch and the loader then stops at those stubs, never reaching host/'s declarations;
#  - the version AE_Effect.h states decides multi-frame rendering: the stubs state 13.29 and come
#    with the compute cache and hash suites' headers, and the build's property list declares the
#    threading flags and 13.29; the same folder stating 13.24 builds without them (13.0).
# Usage: cmake -DSOURCE_DIR=... -DWORK_DIR=... -P CheckSdkOption.cmake
include("${CMAKE_CURRENT_LIST_DIR}/PiplWords.cmake")
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/empty-sdk" "${WORK_DIR}/stub-sdk/SP")
set(common -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release -DZP_BUILD_TESTS=OFF
           -DZP_BUILD_BENCH=OFF -DZP_BUILD_CLI=OFF)

execute_process(COMMAND "${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${WORK_DIR}/empty" ${common}
                        "-DZP_HOST_SDK_DIR=${WORK_DIR}/empty-sdk"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(rc EQUAL 0)
  message(FATAL_ERROR "a folder without the official headers was accepted:\n${out}")
endif()
if(NOT err MATCHES "AE_Effect\\.h[ \n]+does[ \n]+not[ \n]+exist")
  message(FATAL_ERROR "the configure failed without naming the missing header:\n${err}")
endif()

foreach(header AE_Effect.h AE_EffectCB.h AE_EffectCBSuites.h AE_EffectSuites.h AE_GeneralPlug.h
               SP/SPBasic.h AE_ComputeCacheSuite.h AE_HashSuite.h)
  file(WRITE "${WORK_DIR}/stub-sdk/${header}" "#error \"stub official header ${header}\"\n")
endforeach()
file(APPEND "${WORK_DIR}/stub-sdk/AE_Effect.h"
     "#define PF_PLUG_IN_VERSION 13\n#define PF_PLUG_IN_SUBVERS 29\n")
file(COPY "${WORK_DIR}/stub-sdk/" DESTINATION "${WORK_DIR}/old-sdk")
file(READ "${WORK_DIR}/stub-sdk/AE_Effect.h" text)
string(REPLACE "SUBVERS 29" "SUBVERS 24" text "${text}")
file(WRITE "${WORK_DIR}/old-sdk/AE_Effect.h" "${text}")

# Configures against a folder, expects the configure to report `mode`, and generates the
# property list only (no compiler is run), whose version and flags must then match.
set(failures "")
function(check_mode folder mode svr gl2)
  execute_process(COMMAND "${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${WORK_DIR}/${folder}"
                          ${common} "-DZP_HOST_SDK_DIR=${WORK_DIR}/${folder}-sdk"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "a folder holding the headers was refused:\n${out}\n${err}")
  endif()
  string(REGEX REPLACE "[ \n]+" " " said "${out}")
  if(NOT said MATCHES "${mode}")
    message(FATAL_ERROR "${folder}: the configure did not say \"${mode}\":\n${out}")
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" --build "${WORK_DIR}/${folder}" --target zp_pipl
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${folder}: the property list was not generated:\n${out}\n${err}")
  endif()
  expect_pipl_property("${WORK_DIR}/${folder}" eSVR ${svr} failures)
  expect_pipl_property("${WORK_DIR}/${folder}" eGL2 ${gl2} failures)
  set(failures "${failures}" PARENT_SCOPE)
endfunction()
check_mode(stub "effect API 13.29, multi-frame rendering on" 0d001d00 00148008)
check_mode(old "effect API 13.24 is older than 13.25: building without multi-frame rendering"
           0d000000 00140000)
if(failures)
  message(FATAL_ERROR "the property list does not match the headers' version:${failures}")
endif()

# Single objects, so that nothing else is built first (the makefiles name them per folder).
foreach(object effect/Command.cpp.o loader/PluginMain.cpp.o)
  get_filename_component(folder "${object}" DIRECTORY)
  get_filename_component(name "${object}" NAME)
  set(binary "${WORK_DIR}/stub")
  if(folder STREQUAL "loader")
    set(binary "${binary}/loader")
    set(target "${name}")
  else()
    set(target "${object}")
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" --build "${binary}" --target "${target}"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(all "${out}\n${err}")
  if(rc EQUAL 0)
    message(FATAL_ERROR "${object} compiled although the official headers are stubs:\n${all}")
  endif()
  if(NOT all MATCHES "stub official header AE_Effect\\.h")
    message(FATAL_ERROR "${object} did not stop at the official headers:\n${all}")
  endif()
  if(all MATCHES "host/(BasicTypes|EffectRecords|UtilCallbacks|EffectSuites|AegpSuites|BasicSuite)")
    message(FATAL_ERROR "${object} reached the project's own declarations:\n${all}")
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK_DIR}")
message(STATUS "the official headers are used, and only they; their version decides threading")
