// Image files in and out of host pixel worlds, through OpenImageIO.
//
// Reading: PNG, TIFF, OpenEXR, JPEG and whatever else OpenImageIO reads, with 1 (grey), 2 (grey,
// alpha), 3 (RGB) or 4 (RGBA) channels. Grey becomes r = g = b; an image without alpha gets full
// alpha. Alpha is taken as stored: never premultiplied or divided on the way in or out. 8-bit
// files become 8-bit worlds, 16-bit files 16-bit worlds, half, float and other sample types float
// worlds, unless a depth is asked for.
//
// Writing: PNG (8/16-bit), TIFF (8/16-bit, float), OpenEXR (half, float) and JPEG (8-bit). The
// world's depth is kept where the format holds it; otherwise the nearest depth the format holds
// is written and a note says so.
#pragma once

#include "cli/Commands.h"
#include "cli/SampleConversion.h"
#include "headless/Worlds.h"

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

namespace zpcli {

// Images wider or taller than this are refused before any pixel memory is taken.
inline constexpr int kMaxImageSide = 30000;

// A picture in the host's layout as read from a file.
struct Picture {
    std::unique_ptr<headless::HostWorld> world;
    bool hasAlpha = false; // the file had an alpha channel
    int fileDepth = 8;     // 8, 16, or 32 for half, float and any other sample type
};

// The world depth a file's samples become when no depth is asked for: 8, 16 or 32. Reads the
// header only. Throws UsageError for a missing or unreadable file.
int fileDepthOf(const std::string& path);

// Reads `path` into a world of `depth` bits per channel (8, 16, 32; 0 follows the file).
// Throws UsageError for a missing, unreadable or unsupported file, an unsupported channel
// count, a data window that is not the whole image, or a side beyond kMaxImageSide (checked
// before any pixel memory is taken).
Picture readPicture(const std::string& path, int depth);

// Throws UsageError unless `path` has an extension this tool writes (.png, .tif, .tiff, .exr,
// .jpg, .jpeg, in any case) and names a file in an existing folder (or, with
// `folderMayBeMissing`, in a folder that does not exist yet).
void checkOutputPath(const std::string& path, bool folderMayBeMissing = false);

// Throws UsageError unless `compression` (OpenImageIO's "compression" attribute as oiiotool
// spells it: a method and, for some, ":level") is one the format of `path` takes. Empty passes.
void checkCompression(const std::string& path, const std::string& compression);

// The compression written when none is asked for: "zip:1" for PNG (zlib's fastest level: a
// 1080p frame encodes in about 0.24 s instead of 0.86 s at OpenImageIO's level 6, for a file
// about 14% larger), the library's default for the other formats (and JPEG quality 95).
std::string defaultCompression(const std::string& path);

// Writes a world's colour, and its alpha when `withAlpha` and the format holds alpha. Every
// conversion the format forces is one line on `notes`. The file is written beside `path` under
// a temporary name and renamed into place once complete, so a failed write leaves `path` as it
// was; with `noReplace` an existing `path` is never replaced, not even one made while the file
// was written. `compression` (checkCompression) empty takes defaultCompression. Throws
// UsageError when the file can't be written, with OpenImageIO's reason on the same line.
void writePicture(const std::string& path, const headless::HostWorld& world, bool withAlpha,
                  std::ostream& notes, const std::string& compression = {}, bool noReplace = false);

} // namespace zpcli
