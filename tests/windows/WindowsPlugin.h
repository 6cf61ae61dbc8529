// The Windows deliverables as the host application meets them: copied into a plug-in folder
// of their own and loaded through the loader. Windows-only tests build on LoadedPlugin
// (LoaderWindowsTest.cpp for the loader, CrossRenderWindowsTest.cpp for rendering).
#pragma once

#include "headless/Host.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace wintest {

// A fresh folder under the temporary directory holding copies of Zonepainter.aex and (unless
// left out) Zonepainter.dll, taken from the folder of this test program, where the build puts
// all three.
class PluginFolder {
public:
    explicit PluginFolder(bool withLibrary = true);
    // Removes the copies and the folder; the libraries must be unloaded by then.
    ~PluginFolder();
    PluginFolder(const PluginFolder&) = delete;
    PluginFolder& operator=(const PluginFolder&) = delete;

    // Windows paths with backslashes, as the host gives them.
    const std::string& folder() const { return folder_; }
    std::string loaderPath() const { return folder_ + "\\Zonepainter.aex"; }
    std::string libraryPath() const { return folder_ + "\\Zonepainter.dll"; }

    // The folder the build wrote the deliverables (and this program) to.
    static std::string buildFolder();

private:
    std::string folder_;
};

// A host whose plug-in is the loader of a fresh plug-in folder. Nothing is sent yet.
struct LoadedPlugin {
    explicit LoadedPlugin(bool withLibrary = true);

    // The loaded Zonepainter.aex (null if it is not loaded).
    HMODULE loaderModule() const;
    // Null when the folder's Zonepainter.dll is not loaded.
    HMODULE libraryModule() const { return GetModuleHandleA(folder.libraryPath().c_str()); }
    std::string message() { return host.outData().return_msg; }

    // Declared first so that it is removed last, after the libraries are unloaded.
    PluginFolder folder;
    headless::Host host;
};

// A resource of the module, or nothing when it has none of that type, name and language.
std::vector<unsigned char> resourceBytes(HMODULE module, const char* type, const char* name,
                                         WORD language);

} // namespace wintest
