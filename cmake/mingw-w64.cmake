# Cross-compiling the Windows x64 deliverables with Debian's mingw-w64 (posix thread model,
# which the OpenMP runtime needs).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZP_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZP_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZP_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZP_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZP_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The plug-in folder holds Zonepainter.aex and Zonepainter.dll and nothing else, so the C++,
# GCC, OpenMP and thread runtimes are linked in: the only imports left are Windows' own.
set(ZP_MINGW_STATIC_RUNTIME "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${ZP_MINGW_STATIC_RUNTIME}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${ZP_MINGW_STATIC_RUNTIME}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${ZP_MINGW_STATIC_RUNTIME}")
# FindOpenMP records the runtime by full path, and would take the import library of
# libgomp-1.dll; point it at the static archive instead.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgomp.a
                OUTPUT_VARIABLE ZP_MINGW_LIBGOMP OUTPUT_STRIP_TRAILING_WHITESPACE)
set(OpenMP_gomp_LIBRARY "${ZP_MINGW_LIBGOMP}" CACHE FILEPATH "Static OpenMP runtime")
# Shipped files carry no symbol tables.
set(CMAKE_SHARED_LINKER_FLAGS_RELEASE_INIT "-s")
set(CMAKE_MODULE_LINKER_FLAGS_RELEASE_INIT "-s")
