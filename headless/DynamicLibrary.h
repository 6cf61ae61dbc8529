// The host's platform layer for loading a plug-in file and finding its exports.
#pragma once

#include <string>

namespace headless {

void* openLibrary(const std::string& path, std::string& error);
void* findSymbol(void* library, const char* name);
void closeLibrary(void* library);

} // namespace headless
