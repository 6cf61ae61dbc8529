# Checks that the Windows deliverables stand alone: every import is a Windows system library
# (no C++, GCC, OpenMP or thread runtime to ship beside them), and each exports only its entries.
#
#   cmake -DOBJDUMP=<x86_64-w64-mingw32-objdump> -DLOADER=<Zonepainter.aex>
#         -DLIBRARY=<Zonepainter.dll> [-DPROGRAMS=<exe;...>] -P CheckImports.cmake
cmake_minimum_required(VERSION 3.25)

# Lower-case names of the libraries Windows itself provides that a build may use.
set(system_libraries
    kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll ole32.dll oleaut32.dll
    msvcrt.dll ucrtbase.dll ntdll.dll ws2_32.dll bcrypt.dll shlwapi.dll version.dll)

set(failures "")

# Fills imports_var with the imported library names and exports_var with the exported names.
function(read_tables file imports_var exports_var)
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "${file} does not exist; build the windows preset first")
  endif()
  execute_process(COMMAND ${OBJDUMP} -p "${file}" OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${file} failed")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\n]+" lines "${dump}")
  set(imports "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^DLL Name: " "" name "${line}")
    string(STRIP "${name}" name)
    list(APPEND imports "${name}")
  endforeach()
  # Export names follow the "[Ordinal/Name Pointer] Table" heading as "[   n] name".
  set(exports "")
  string(FIND "${dump}" "[Ordinal/Name Pointer] Table" at)
  if(at GREATER -1)
    string(SUBSTRING "${dump}" ${at} -1 table)
    string(REGEX MATCH "Table[^\n]*\n(([ \t]+\\[[ 0-9]+\\] [^\n]+\n)*)" block "${table}")
    string(REGEX MATCHALL "\\[[ 0-9]+\\] [^\n]+" entries "${CMAKE_MATCH_1}")
    foreach(entry IN LISTS entries)
      string(REGEX REPLACE "^\\[[ 0-9]+\\] " "" name "${entry}")
      list(APPEND exports "${name}")
    endforeach()
  endif()
  set(${imports_var} "${imports}" PARENT_SCOPE)
  set(${exports_var} "${exports}" PARENT_SCOPE)
endfunction()

function(check_imports file imports)
  foreach(name IN LISTS imports)
    string(TOLOWER "${name}" lower)
    if(NOT lower IN_LIST system_libraries AND NOT lower MATCHES "^api-ms-win-")
      set(failures "${failures}\n  ${file} imports ${name}, which is not a Windows library")
    endif()
  endforeach()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

function(check_exports file exports expected)
  if(NOT exports STREQUAL expected)
    set(failures "${failures}\n  ${file} exports [${exports}], expected [${expected}]")
  endif()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

read_tables("${LOADER}" loader_imports loader_exports)
check_imports("${LOADER}" "${loader_imports}")
check_exports("${LOADER}" "${loader_exports}" "PluginDataEntryFunction2;PluginMain")
message(STATUS "${LOADER}: imports ${loader_imports}; exports ${loader_exports}")

read_tables("${LIBRARY}" library_imports library_exports)
check_imports("${LIBRARY}" "${library_imports}")
check_exports("${LIBRARY}" "${library_exports}" "command")
message(STATUS "${LIBRARY}: imports ${library_imports}; exports ${library_exports}")

# The test host must run in a bare Wine prefix too.
foreach(program IN LISTS PROGRAMS)
  read_tables("${program}" program_imports program_exports)
  check_imports("${program}" "${program_imports}")
endforeach()

if(failures)
  message(FATAL_ERROR "Windows deliverables depend on more than Windows:${failures}")
endif()
message(STATUS "imports and exports as shipped")
