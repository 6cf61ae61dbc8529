#include "loader/LibraryPath.h"

#include <cstdio>
#include <cstring>

namespace loader {

namespace {

// Writes `first` then `second`, cut to the destination, always terminated; reports whether
// everything fitted.
bool boundedJoin(char* dest, std::size_t size, const char* first, const char* second) {
    const int n = std::snprintf(dest, size, "%s%s", first, second);
    return n >= 0 && static_cast<std::size_t>(n) < size;
}

// Copies `length` bytes of `source`, cut to the destination, always terminated.
bool boundedCopy(char* dest, std::size_t size, const char* source, std::size_t length) {
    const bool fits = length < size;
    const std::size_t copied = fits ? length : size - 1;
    std::memcpy(dest, source, copied);
    dest[copied] = '\0';
    return fits;
}

} // namespace

LibraryPathResult makeLibraryPath(const char* pluginPath, char separator, const char* extension,
                                  char* libraryPath, std::size_t libraryPathSize, char* baseName,
                                  std::size_t baseNameSize) {
    // Neither buffer can even hold its terminator: nothing sensible can be written.
    if (libraryPathSize == 0 || baseNameSize == 0)
        return LibraryPathResult::TooLong;

    const char* lastSeparator = std::strrchr(pluginPath, separator);
    if (lastSeparator == nullptr) {
        return boundedJoin(libraryPath, libraryPathSize, pluginPath, "")
                   ? LibraryPathResult::NoSeparator
                   : LibraryPathResult::TooLong;
    }
    const char* fileName = lastSeparator + 1;
    const char* dot = std::strrchr(fileName, '.');
    const std::size_t baseLength =
        dot != nullptr ? static_cast<std::size_t>(dot - fileName) : std::strlen(fileName);
    bool fits = boundedCopy(baseName, baseNameSize, fileName, baseLength);

    // The folder is copied byte for byte (it may itself contain dots), then the library's
    // file name follows it, the way the library sits beside the loader.
    const std::size_t folderLength = static_cast<std::size_t>(fileName - pluginPath);
    if (!boundedCopy(libraryPath, libraryPathSize, pluginPath, folderLength)) {
        return LibraryPathResult::TooLong;
    }
    fits = boundedJoin(libraryPath + folderLength, libraryPathSize - folderLength, baseName,
                       extension) &&
           fits;
    return fits ? LibraryPathResult::BesideLoader : LibraryPathResult::TooLong;
}

} // namespace loader
