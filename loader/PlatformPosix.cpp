#include "loader/Platform.h"

#include <dlfcn.h>

namespace loader::platform {

char pathSeparator() {
    return '/';
}
const char* libraryExtension() {
    return ".so";
}

void* openLibrary(const char* path) {
    // Local binding keeps the effect library's symbols out of the host's global namespace,
    // as a Windows library's would be.
    return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

void* findSymbol(void* library, const char* name) {
    return dlsym(library, name);
}

void closeLibrary(void* library) {
    dlclose(library);
}

} // namespace loader::platform
