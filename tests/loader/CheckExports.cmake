# Checks that each native deliverable's dynamic symbol table defines its entries and nothing else:
# any other export (a weak template instantiation, say) could interpose on the host's own code.
#
#   cmake -DNM=<nm> -DLOADER=<Zonepainter.aex> -DLIBRARY=<Zonepainter.so> -P CheckExports.cmake
cmake_minimum_required(VERSION 3.25)

set(failures "")
function(check_exports file expected)
  execute_process(COMMAND ${NM} -D --defined-only "${file}" RESULT_VARIABLE rc
                  OUTPUT_VARIABLE dump ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${NM} -D --defined-only ${file} failed:\n${err}")
  endif()
  # Lines read "<address> <type> <name>"; the name is kept mangled, as the loader sees it.
  string(REGEX MATCHALL "[0-9a-fA-F]+ [A-Za-z] [^\n]+" lines "${dump}")
  set(names "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[0-9a-fA-F]+ [A-Za-z] " "" name "${line}")
    list(APPEND names "${name}")
  endforeach()
  list(SORT names)
  if(NOT names STREQUAL expected)
    set(failures "${failures}\n  ${file} exports [${names}], expected [${expected}]")
  endif()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

check_exports("${LOADER}" "PluginDataEntryFunction2;PluginMain")
check_exports("${LIBRARY}" "command")
if(failures)
  message(FATAL_ERROR "a deliverable exports more than its entry:${failures}")
endif()
message(STATUS "each deliverable exports its entry only")
