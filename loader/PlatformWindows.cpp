#include "loader/Platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace loader::platform {

char pathSeparator() {
    return '\\';
}
const char* libraryExtension() {
    return ".dll";
}

void* openLibrary(const char* path) {
    // The altered search path makes the library's own dependencies resolve from its folder
    // first, not from the host application's.
    return reinterpret_cast<void*>(LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

void* findSymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void closeLibrary(void* library) {
    FreeLibrary(static_cast<HMODULE>(library));
}

} // namespace loader::platform
