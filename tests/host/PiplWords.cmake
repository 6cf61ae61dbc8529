# Reads the property list a configured build generated (loader/GeneratedPipl.h, the same bytes
# as its resource) and checks one property's 4 data bytes.
#   expect_pipl_property(<binary dir> <key> <data as 8 hex digits, in file order> <failures var>)
function(expect_pipl_property binary key data failures_var)
  set(header "${binary}/loader/generated/loader/GeneratedPipl.h")
  if(NOT EXISTS "${header}")
    set(${failures_var} "${${failures_var}}\n  ${binary}: no property list was generated"
        PARENT_SCOPE)
    return()
  endif()
  file(READ "${header}" text)
  string(FIND "${text}" "{" start)
  string(SUBSTRING "${text}" ${start} -1 text)
  string(REGEX MATCHALL "0x[0-9A-Fa-f][0-9A-Fa-f]" bytes "${text}")
  list(JOIN bytes "" hex)
  string(REPLACE "0x" "" hex "${hex}")
  string(TOLOWER "${hex}" hex)
  # The key is stored byte-reversed; then identifier 0 and length 4.
  string(SUBSTRING "${key}" 3 1 c3)
  string(SUBSTRING "${key}" 2 1 c2)
  string(SUBSTRING "${key}" 1 1 c1)
  string(SUBSTRING "${key}" 0 1 c0)
  string(HEX "${c3}${c2}${c1}${c0}" code)
  string(HEX "MIB8" vendor) # '8BIM', reversed like every code
  string(TOLOWER "${vendor}${code}0000000004000000" property)
  string(REPEAT "[0-9a-f]" 8 word)
  string(REGEX MATCH "${property}(${word})" found "${hex}")
  if(NOT found)
    set(${failures_var} "${${failures_var}}\n  ${binary}: no '${key}' property" PARENT_SCOPE)
  elseif(NOT CMAKE_MATCH_1 STREQUAL data)
    set(${failures_var}
        "${${failures_var}}\n  ${binary}: '${key}' holds ${CMAKE_MATCH_1}, expected ${data}"
        PARENT_SCOPE)
  endif()
endfunction()
