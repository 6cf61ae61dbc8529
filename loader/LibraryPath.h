// Where the loader finds the effect library: beside itself, named after its own file name.
// Pure text work, kept apart from the loading so that both the Windows rules (backslash,
// ".dll") and the POSIX ones ('/', ".so") can be exercised on any system.
#pragma once

#include <cstddef>

namespace loader {

// The host writes the plug-in's own path into a buffer of this size (NUL included).
constexpr std::size_t kPluginPathSize = 272;
// The library path is the plug-in path with its extension replaced by the library's; a file
// name without any extension grows by the whole library extension, hence the spare room.
constexpr std::size_t kLibraryPathSize = kPluginPathSize + 16;
// The base name is a piece of the plug-in path, so a buffer of the path's size always holds it.
constexpr std::size_t kBaseNameSize = kPluginPathSize;

enum class LibraryPathResult {
    BesideLoader, // library path names <folder><separator><base name><extension>
    NoSeparator,  // the plug-in path is used unchanged; the base name was not touched
    TooLong,      // the library path or base name did not fit; both hold cut, terminated text
};

// From the loader's path (NUL-terminated) builds the effect library's path: the folder up to
// and including the last `separator`, then the file name up to its last '.', then `extension`
// (".dll"). The file name up to that '.' (all of it when it has no '.') is the base name.
// Only a '.' inside the file name counts, so a dotted folder name never cuts the path.
// Every write is bounded by the given sizes and NUL-terminated.
LibraryPathResult makeLibraryPath(const char* pluginPath, char separator, const char* extension,
                                  char* libraryPath, std::size_t libraryPathSize, char* baseName,
                                  std::size_t baseNameSize);

} // namespace loader
