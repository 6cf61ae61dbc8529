# ZP_HOST_SDK_DIR: build the effect library and the loader against the official effect SDK
# headers in that folder instead of the project's own declarations in host/. Nothing falls back:
# a folder without the headers stops the configure, and in such a build the effect code sees no
# declaration of host/ (those headers refuse to compile when ZP_HOST_SDK is defined).
#
# The official headers include each other with inconsistent letter case, which a case-sensitive
# file system refuses; the folder is mirrored into the build tree as links, with a lower-case
# alias for every header whose name has capitals.
set(ZP_HOST_SDK_DIR "" CACHE PATH
    "Folder of the official effect SDK headers (AE_Effect.h ...); empty uses host/")

set(ZP_HOST_SDK_HEADERS AE_Effect.h AE_EffectCB.h AE_EffectCBSuites.h AE_EffectSuites.h
                        AE_GeneralPlug.h SP/SPBasic.h)

add_library(zp_host_api INTERFACE)
if(NOT ZP_HOST_SDK_DIR)
  return()
endif()

get_filename_component(zp_sdk_dir "${ZP_HOST_SDK_DIR}" ABSOLUTE)
foreach(header IN LISTS ZP_HOST_SDK_HEADERS)
  if(NOT EXISTS "${zp_sdk_dir}/${header}")
    message(FATAL_ERROR "ZP_HOST_SDK_DIR is set, but ${zp_sdk_dir}/${header} does not exist. "
                        "Point it at the SDK's headers folder, or leave it empty to build "
                        "with the project's own declarations in host/.")
  endif()
endforeach()

set(zp_sdk_mirror ${PROJECT_BINARY_DIR}/host-sdk)
file(REMOVE_RECURSE ${zp_sdk_mirror})
file(GLOB_RECURSE zp_sdk_files RELATIVE ${zp_sdk_dir} ${zp_sdk_dir}/*.h ${zp_sdk_dir}/*.H)
foreach(file IN LISTS zp_sdk_files)
  get_filename_component(folder "${file}" DIRECTORY)
  get_filename_component(name "${file}" NAME)
  string(TOLOWER "${name}" lower)
  file(MAKE_DIRECTORY "${zp_sdk_mirror}/${folder}")
  file(CREATE_LINK "${zp_sdk_dir}/${file}" "${zp_sdk_mirror}/${folder}/${name}" SYMBOLIC)
  if(NOT lower STREQUAL name AND NOT EXISTS "${zp_sdk_mirror}/${folder}/${lower}")
    file(CREATE_LINK "${zp_sdk_dir}/${file}" "${zp_sdk_mirror}/${folder}/${lower}" SYMBOLIC)
  endif()
endforeach()

# The headers pick their platform from _WINDOWS. Their own warnings are not the project's.
target_include_directories(zp_host_api SYSTEM INTERFACE ${zp_sdk_mirror} ${zp_sdk_mirror}/SP)
# Win/ is searched only after the compiler's own headers (-idirafter). Some SDKs keep there a
# stdint.h for compilers that had none, which makes int32_t a long and leaves C++ without the
# INT*_MAX limits; as an ordinary include folder it would stand in for the compiler's
# <stdint.h> in every file of the build, <cstdint> included. Searched last, a header named like
# one of the compiler's is never read, whichever SDK version the folder comes from, while any
# other header an SDK keeps there is still found. The fixed-width types are then the
# compiler's, as the rest of the program sees them: the image, blur, colour and render
# libraries are built without the SDK's folders, and effect code that took int32_t for a long
# would not even link against their functions.
if(IS_DIRECTORY ${zp_sdk_mirror}/Win)
  target_compile_options(zp_host_api INTERFACE "-idirafter${zp_sdk_mirror}/Win")
endif()
target_compile_definitions(zp_host_api INTERFACE ZP_HOST_SDK $<$<BOOL:${WIN32}>:_WINDOWS>)
message(STATUS "Effect library and loader use the official headers in ${zp_sdk_dir}")

# Multi-frame rendering needs effect API 13.25 (the sequence data suite, get-flattened) and the
# compute cache and hash suites' headers. Older headers build the effect as it was before:
# rendered by one thread at a time, reporting effect API 13.0 and neither threading flag
# (effect/ProductInfo.h). The version is the one AE_Effect.h states.
set(ZP_HOST_SDK_THREADED OFF)
file(STRINGS "${zp_sdk_dir}/AE_Effect.h" zp_sdk_version_lines
     REGEX "^[ \t]*#[ \t]*define[ \t]+PF_PLUG_IN_(VERSION|SUBVERS)[ \t]+[0-9]+")
set(zp_sdk_version "")
set(zp_sdk_subversion "")
foreach(line IN LISTS zp_sdk_version_lines)
  if(line MATCHES "PF_PLUG_IN_VERSION[ \t]+([0-9]+)")
    set(zp_sdk_version ${CMAKE_MATCH_1})
  elseif(line MATCHES "PF_PLUG_IN_SUBVERS[ \t]+([0-9]+)")
    set(zp_sdk_subversion ${CMAKE_MATCH_1})
  endif()
endforeach()
if(zp_sdk_version STREQUAL "" OR zp_sdk_subversion STREQUAL "")
  message(STATUS "official headers: AE_Effect.h states no effect API version: building without "
                 "multi-frame rendering (one render thread at a time, effect API 13.0 reported)")
elseif("${zp_sdk_version}.${zp_sdk_subversion}" VERSION_LESS 13.25)
  message(STATUS "official headers: effect API ${zp_sdk_version}.${zp_sdk_subversion} is older "
                 "than 13.25: building without multi-frame rendering (one render thread at a "
                 "time, effect API 13.0 reported)")
elseif(NOT EXISTS "${zp_sdk_dir}/AE_ComputeCacheSuite.h" OR NOT EXISTS "${zp_sdk_dir}/AE_HashSuite.h")
  message(STATUS "official headers: effect API ${zp_sdk_version}.${zp_sdk_subversion} without "
                 "AE_ComputeCacheSuite.h and AE_HashSuite.h: building without multi-frame "
                 "rendering (one render thread at a time, effect API 13.0 reported)")
else()
  set(ZP_HOST_SDK_THREADED ON)
  target_compile_definitions(zp_host_api INTERFACE ZP_HOST_SDK_THREADED)
  message(STATUS "official headers: effect API ${zp_sdk_version}.${zp_sdk_subversion}, "
                 "multi-frame rendering on")
endif()

# The native tests, tools, benchmarks and fuzzers link the effect code into programs built with
# the project's declarations; only the deliverables and the Windows test host (which meets them
# through their entry points alone) are built in this mode.
foreach(zp_option ZP_BUILD_TESTS ZP_BUILD_BENCH ZP_BUILD_CLI)
  if(${zp_option})
    message(STATUS "${zp_option} is switched off in a build against the official headers")
    set(${zp_option} OFF CACHE BOOL "" FORCE)
  endif()
endforeach()
