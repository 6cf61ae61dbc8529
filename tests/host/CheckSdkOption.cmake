# Proves that ZP_HOST_SDK_DIR builds the effect code against the official headers only:
#  - a folder without them stops the configure, naming the missing header;
#  - a folder whose headers are all #error stubs configures, and compiling the effect's command
#    dispatch and the loader then stops at those stubs, never reaching host/'s declarations.
# Usage: cmake -DSOURCE_DIR=... -DWORK_DIR=... -P CheckSdkOption.cmake
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
               SP/SPBasic.h)
  file(WRITE "${WORK_DIR}/stub-sdk/${header}" "#error \"stub official header ${header}\"\n")
endforeach()
execute_process(COMMAND "${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${WORK_DIR}/stub" ${common}
                        "-DZP_HOST_SDK_DIR=${WORK_DIR}/stub-sdk"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "a folder holding the headers was refused:\n${out}\n${err}")
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
message(STATUS "the official headers are used, and only they")
