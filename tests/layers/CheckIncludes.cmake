# Refuses an #include that points up the layers: each folder may include only itself and the
# folders listed for it below (the same lists as the README's "Layout" table). In render/ only
# the files that read the host's masks and parameters may include host/.
# Usage: cmake -DSOURCE_DIR=... [-DPRETEND="folder/File.h|#include \"other/Header.h\""] -P CheckIncludes.cmake
# PRETEND adds one include line to one file as if it were there, so a test can prove that an
# upward include is refused without touching the sources.

cmake_minimum_required(VERSION 3.25)

set(allowed_host)
set(allowed_image)
set(allowed_fx image)
set(allowed_color fx image)
set(allowed_render color fx image host)
set(allowed_effect render color fx image host)
set(allowed_loader effect render color fx image host)
set(allowed_headless effect render color fx image host)
set(allowed_cli headless effect render color fx image host)
set(allowed_python cli headless effect render color fx image host)
set(allowed_bench cli headless loader effect render color fx image host tests)
set(allowed_fuzz cli headless effect render color fx image host)
set(allowed_tests cli headless loader effect render color fx image host)
set(folders host image fx color render effect loader headless cli python bench fuzz tests)

# render/ files (by name without extension) that may include host/.
set(render_host_files MaskGathering Pipeline EffectPasses ParamReaders RenderState SuiteHolder
                      SuiteTraits HostError HostMapCache)

set(pretend_file "")
if(PRETEND)
  string(FIND "${PRETEND}" "|" bar)
  string(SUBSTRING "${PRETEND}" 0 ${bar} pretend_file)
  math(EXPR bar "${bar} + 1")
  string(SUBSTRING "${PRETEND}" ${bar} -1 pretend_line)
endif()

set(faults "")
set(checked 0)
foreach(folder IN LISTS folders)
  file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}"
       "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.hpp" "${SOURCE_DIR}/${folder}/*.c"
       "${SOURCE_DIR}/${folder}/*.cpp" "${SOURCE_DIR}/${folder}/*.cc" "${SOURCE_DIR}/${folder}/*.rc")
  foreach(source IN LISTS sources)
    file(STRINGS "${SOURCE_DIR}/${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
    if(source STREQUAL pretend_file)
      list(APPEND lines "${pretend_line}")
    endif()
    get_filename_component(stem "${source}" NAME_WE)
    foreach(line IN LISTS lines)
      if(NOT line MATCHES "#[ \t]*include[ \t]*[\"<]([^/\">]+)/")
        continue()
      endif()
      set(target "${CMAKE_MATCH_1}")
      # Only our own folders are layered; system and library headers pass.
      if(NOT target IN_LIST folders OR target STREQUAL folder)
        continue()
      endif()
      math(EXPR checked "${checked} + 1")
      if(NOT target IN_LIST allowed_${folder})
        list(JOIN allowed_${folder} ", " may)
        string(APPEND faults "  ${source}: ${line}  (${folder}/ may include: ${may})\n")
      elseif(folder STREQUAL "render" AND target STREQUAL "host" AND NOT stem IN_LIST
                                                                     render_host_files)
        list(JOIN render_host_files ", " may)
        string(APPEND faults "  ${source}: ${line}  (in render/ only ${may} read the host)\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults)
  message(FATAL_ERROR "includes that point up the layers:\n${faults}")
endif()
if(checked EQUAL 0)
  message(FATAL_ERROR "no include between our folders was found under ${SOURCE_DIR}")
endif()
message(STATUS "${checked} includes between folders, all pointing down")
