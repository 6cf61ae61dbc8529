#include "tests/windows/WindowsPlugin.h"

#include <stdexcept>

namespace wintest {

namespace {

std::string lastErrorText(const std::string& what) {
    return what + " failed (error " + std::to_string(GetLastError()) + ")";
}

} // namespace

std::string PluginFolder::buildFolder() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        throw std::runtime_error(lastErrorText("GetModuleFileNameA"));
    std::string folder(path, n);
    return folder.substr(0, folder.find_last_of('\\'));
}

namespace {

constexpr const char* kFolderPrefix = "Zone Painter test ";

std::string tempFolder() {
    char temp[MAX_PATH];
    const DWORD n = GetTempPathA(MAX_PATH, temp);
    if (n == 0 || n >= MAX_PATH)
        throw std::runtime_error(lastErrorText("GetTempPathA"));
    return temp;
}

// Removes what earlier runs could not: a loader that loaded itself stays loaded until its
// process ends, so its folder outlives the test that made it.
void sweepEarlierFolders(const std::string& temp) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((temp + kFolderPrefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string folder = temp + found.cFileName;
        DeleteFileA((folder + "\\Zonepainter.aex").c_str());
        DeleteFileA((folder + "\\Zonepainter.dll").c_str());
        RemoveDirectoryA(folder.c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

} // namespace

PluginFolder::PluginFolder(bool withLibrary) {
    const std::string temp = tempFolder();
    static bool swept = false;
    if (!swept)
        sweepEarlierFolders(temp);
    swept = true;
    // Spaces and dots in the name, as in real plug-in folders. Process numbers repeat across
    // Wine sessions, so a taken name moves on to the next number.
    static int counter = 0;
    for (;;) {
        folder_ = temp + kFolderPrefix + std::to_string(GetCurrentProcessId()) + "." +
                  std::to_string(counter++);
        if (CreateDirectoryA(folder_.c_str(), nullptr))
            break;
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            throw std::runtime_error(lastErrorText("CreateDirectoryA " + folder_));
        }
    }
    const std::string from = buildFolder();
    if (!CopyFileA((from + "\\Zonepainter.aex").c_str(), loaderPath().c_str(), TRUE)) {
        throw std::runtime_error(lastErrorText("copying Zonepainter.aex"));
    }
    if (withLibrary &&
        !CopyFileA((from + "\\Zonepainter.dll").c_str(), libraryPath().c_str(), TRUE)) {
        throw std::runtime_error(lastErrorText("copying Zonepainter.dll"));
    }
}

PluginFolder::~PluginFolder() {
    DeleteFileA(libraryPath().c_str());
    DeleteFileA(loaderPath().c_str());
    RemoveDirectoryA(folder_.c_str());
}

LoadedPlugin::LoadedPlugin(bool withLibrary)
    : folder(withLibrary), host(headless::Plugin::loadLoader(folder.loaderPath())) {}

HMODULE LoadedPlugin::loaderModule() const {
    return GetModuleHandleA(folder.loaderPath().c_str());
}

std::vector<unsigned char> resourceBytes(HMODULE module, const char* type, const char* name,
                                         WORD language) {
    HRSRC info = FindResourceExA(module, type, name, language);
    if (info == nullptr)
        return {};
    HGLOBAL loaded = LoadResource(module, info);
    const DWORD size = SizeofResource(module, info);
    const auto* bytes = static_cast<const unsigned char*>(LockResource(loaded));
    if (bytes == nullptr)
        return {};
    return std::vector<unsigned char>(bytes, bytes + size);
}

} // namespace wintest
