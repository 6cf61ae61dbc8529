// The loader's only contact with the operating system: how a path is split and how a library
// is opened, searched and closed. One implementation per platform, chosen by the build.
#pragma once

namespace loader::platform {

// Separator between folders in the path the host gives ('\\' on Windows, '/' elsewhere).
char pathSeparator();
// Extension of the effect library beside the loader (".dll" on Windows, ".so" elsewhere).
const char* libraryExtension();

// Null when the library cannot be loaded.
void* openLibrary(const char* path);
// Null when the library has no such export.
void* findSymbol(void* library, const char* name);
void closeLibrary(void* library);

} // namespace loader::platform
