#include "cli/ImageIO.h"

#include "cli/Messages.h"
#include "cli/TempFile.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

namespace zpcli {

namespace fs = std::filesystem;
using OIIO::TypeDesc;

namespace {

std::string quoted(const std::string& path) {
    return "'" + path + "'";
}

std::string lowerExtension(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

// --- reading -----------------------------------------------------------------------------------

// OpenImageIO 2.4 decodes a file's ICC profile with name tables it grows by every code it has
// not met before (each tag signature, platform, device class of the profile), and two threads
// growing or reading them at once corrupt them: crashes, or a lookup that never ends. Fixed in
// later releases by lookups that never insert. Growing the tables once at start-up cannot help,
// as the next file may bring codes of its own; so the calls that decode profiles run one at a
// time in this process. Most readers decode while a file is opened, which reads its header
// only; pixels are still read side by side. The ICO reader decodes while reading pixels (from
// an embedded PNG), so its pixels are read under the same lock.
std::mutex g_profileDecoding;

bool decodesProfilesWhileReading(OIIO::ImageInput& in) {
    return std::string(in.format_name()) == "ico";
}

// Opens a file for reading with its alpha left as stored; OpenImageIO would otherwise
// premultiply unassociated alpha (PNG, some TIFFs) and the values would not round-trip.
std::unique_ptr<OIIO::ImageInput> openInput(const std::string& path) {
    std::error_code ec;
    if (!fs::exists(path, ec))
        throw UsageError("cannot read " + quoted(path) + ": no such file");
    if (fs::is_directory(path, ec))
        throw UsageError("cannot read " + quoted(path) + ": it is a folder");
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    std::unique_ptr<OIIO::ImageInput> in;
    {
        const std::lock_guard<std::mutex> lock(g_profileDecoding);
        in = OIIO::ImageInput::open(path, &config);
    }
    if (!in)
        throw UsageError("cannot read " + quoted(path) + ": " + oneLine(OIIO::geterror()));
    return in;
}

int depthOfFormat(TypeDesc format) {
    if (format == TypeDesc::UINT8)
        return 8;
    if (format == TypeDesc::UINT16)
        return 16;
    return 32;
}

} // namespace

int fileDepthOf(const std::string& path) {
    auto in = openInput(path);
    return depthOfFormat(in->spec().format);
}

Picture readPicture(const std::string& path, int depth) {
    auto in = openInput(path);
    const OIIO::ImageSpec spec = in->spec();
    const int w = spec.width;
    const int h = spec.height;
    const int channels = spec.nchannels;
    if (w > kMaxImageSide || h > kMaxImageSide)
        throw UsageError(quoted(path) + " is " + std::to_string(w) + "x" + std::to_string(h) +
                         " pixels; at most " + std::to_string(kMaxImageSide) +
                         " pixels on a side are supported");
    if (w < 1 || h < 1 || spec.depth > 1)
        throw UsageError(quoted(path) + " holds no two-dimensional image");
    // Cropped or overscanned images: the host hands the effect a whole layer, and a data window
    // that differs from the display window has no place in one.
    if (spec.x != spec.full_x || spec.y != spec.full_y || w != spec.full_width ||
        h != spec.full_height)
        throw UsageError(quoted(path) + ": the pixel data (" + std::to_string(w) + "x" +
                         std::to_string(h) + " at " + std::to_string(spec.x) + "," +
                         std::to_string(spec.y) + ") does not match the image size (" +
                         std::to_string(spec.full_width) + "x" + std::to_string(spec.full_height) +
                         "); crop it to its display window");
    if (channels < 1 || channels > 4)
        throw UsageError(quoted(path) + " has " + std::to_string(channels) +
                         " channels; 1 to 4 (grey, grey + alpha, RGB, RGBA) are supported");

    Picture pic;
    pic.fileDepth = depthOfFormat(spec.format);
    pic.hasAlpha = channels == 2 || channels == 4;
    const int worldDepth = depth == 0 ? pic.fileDepth : depth;
    if (worldDepth != 8 && worldDepth != 16 && worldDepth != 32)
        throw UsageError("depth " + std::to_string(worldDepth) + " is not 8, 16 or 32");

    const size_t count =
        static_cast<size_t>(w) * static_cast<size_t>(h) * static_cast<size_t>(channels);
    auto readAs = [&](auto sample) {
        using S = decltype(sample);
        const TypeDesc type = std::is_same_v<S, uint8_t>    ? TypeDesc::UINT8
                              : std::is_same_v<S, uint16_t> ? TypeDesc::UINT16
                                                            : TypeDesc::FLOAT;
        std::vector<S> samples(count);
        std::unique_lock<std::mutex> lock(g_profileDecoding, std::defer_lock);
        if (decodesProfilesWhileReading(*in))
            lock.lock();
        if (!in->read_image(0, 0, 0, channels, type, samples.data()))
            throw UsageError("cannot read " + quoted(path) + ": " + oneLine(in->geterror()));
        if (lock.owns_lock())
            lock.unlock();
        pic.world = std::make_unique<headless::HostWorld>(w, h, worldDepth / 8, 0, 0);
        samplesToWorld(samples.data(), channels, *pic.world);
    };
    if (pic.fileDepth == 8)
        readAs(uint8_t{});
    else if (pic.fileDepth == 16)
        readAs(uint16_t{});
    else
        readAs(float{});
    return pic;
}

// --- writing -----------------------------------------------------------------------------------

namespace {

enum class Format { Png, Tiff, Exr, Jpeg };

Format formatOf(const std::string& path) {
    const std::string ext = lowerExtension(path);
    if (ext == ".png")
        return Format::Png;
    if (ext == ".tif" || ext == ".tiff")
        return Format::Tiff;
    if (ext == ".exr")
        return Format::Exr;
    if (ext == ".jpg" || ext == ".jpeg")
        return Format::Jpeg;
    throw UsageError("cannot write " + quoted(path) + ": unsupported format " +
                     (ext.empty() ? std::string("(no extension)") : quoted(ext)) +
                     "; use .png, .tif, .tiff, .exr, .jpg or .jpeg");
}

const char* depthName(int bytesPerChannel) {
    return bytesPerChannel == 1 ? "8-bit" : bytesPerChannel == 2 ? "16-bit" : "float";
}

// What a format gets for a world depth: the sample type handed to OpenImageIO and the type
// stored in the file (they differ only for half, which OpenImageIO makes from float).
struct Stored {
    TypeDesc given;
    TypeDesc stored;
    const char* name; // the stored depth, for notes
};

Stored storedFor(Format f, int bpc) {
    const Stored u8{TypeDesc::UINT8, TypeDesc::UINT8, "8-bit"};
    const Stored u16{TypeDesc::UINT16, TypeDesc::UINT16, "16-bit"};
    const Stored f32{TypeDesc::FLOAT, TypeDesc::FLOAT, "float"};
    const Stored half{TypeDesc::FLOAT, TypeDesc::HALF, "half float"};
    switch (f) {
    case Format::Png:
        return bpc == 1 ? u8 : u16;
    case Format::Tiff:
        return bpc == 1 ? u8 : bpc == 2 ? u16 : f32;
    case Format::Exr:
        return bpc == 4 ? f32 : half;
    case Format::Jpeg:
        return u8;
    }
    return u8;
}

} // namespace

void checkOutputPath(const std::string& path, bool folderMayBeMissing) {
    formatOf(path);
    const fs::path p(path);
    const fs::path dir = p.parent_path().empty() ? fs::path(".") : p.parent_path();
    std::error_code ec;
    if (!folderMayBeMissing && !fs::is_directory(dir, ec))
        throw UsageError("cannot write " + quoted(path) + ": folder " + quoted(dir.string()) +
                         " does not exist; make it, or add --mkdir");
    if (fs::is_directory(p, ec))
        throw UsageError("cannot write " + quoted(path) + ": it is a folder");
}

namespace {

// The compression methods each format's writer knows, as OpenImageIO names them; those marked
// take a ":level" (or quality). A name the writer does not know would be ignored silently and
// the file written with its default, which is not what was asked for.
struct Method {
    const char* name;
    bool level;
};

const std::vector<Method>& methodsOf(Format f) {
    static const std::vector<Method> png = {{"zip", true}, {"none", false}};
    static const std::vector<Method> tiff = {
        {"none", false}, {"lzw", false}, {"zip", true}, {"packbits", false}, {"ccittrle", false}};
    static const std::vector<Method> exr = {
        {"none", false},  {"rle", false}, {"zip", false},  {"zips", false}, {"piz", false},
        {"pxr24", false}, {"b44", false}, {"b44a", false}, {"dwaa", true},  {"dwab", true}};
    static const std::vector<Method> jpeg = {{"jpeg", true}};
    switch (f) {
    case Format::Png:
        return png;
    case Format::Tiff:
        return tiff;
    case Format::Exr:
        return exr;
    case Format::Jpeg:
        return jpeg;
    }
    return png;
}

} // namespace

void checkCompression(const std::string& path, const std::string& compression) {
    if (compression.empty())
        return;
    const Format format = formatOf(path);
    const size_t colon = compression.find(':');
    const std::string name = compression.substr(0, colon);
    const std::vector<Method>& methods = methodsOf(format);
    std::string known;
    for (const Method& m : methods)
        known += (known.empty() ? "" : ", ") + std::string(m.name) + (m.level ? "[:N]" : "");
    for (const Method& m : methods) {
        if (name != m.name)
            continue;
        if (colon == std::string::npos)
            return;
        const std::string level = compression.substr(colon + 1);
        if (m.level && !level.empty() && level.size() <= 3 &&
            level.find_first_not_of("0123456789") == std::string::npos)
            return;
        break;
    }
    throw UsageError("--compression " + compression + ": " + lowerExtension(path) + " files take " +
                     known);
}

std::string defaultCompression(const std::string& path) {
    switch (formatOf(path)) {
    case Format::Png:
        // zlib's fastest level: OpenImageIO's default level takes several times as long for a
        // file only a little smaller, and writing is much of a shot's time.
        return "zip:1";
    case Format::Jpeg:
        return "jpeg:95";
    default:
        return {};
    }
}

void writePicture(const std::string& path, const headless::HostWorld& world, bool withAlpha,
                  std::ostream& notes, const std::string& compression, bool noReplace) {
    checkOutputPath(path);
    checkCompression(path, compression);
    const Format format = formatOf(path);
    const int bpc = world.bytesPerChannel();
    const Stored st = storedFor(format, bpc);
    if (st.stored != storedFor(Format::Tiff, bpc).stored)
        notes << "zonepainter: " << path << ": this format holds no " << depthName(bpc)
              << " samples; writing " << st.name << "\n";
    bool alpha = withAlpha;
    if (alpha && format == Format::Jpeg) {
        notes << "zonepainter: " << path << ": JPEG holds no alpha; writing colour only\n";
        alpha = false;
    }
    const int channels = alpha ? 4 : 3;

    OIIO::ImageSpec spec(world.width(), world.height(), channels, st.stored);
    if (alpha)
        spec.alpha_channel = 3;
    // The samples are written as they are held: no division by alpha on the way out.
    spec.attribute("oiio:UnassociatedAlpha", 1);
    const std::string method = compression.empty() ? defaultCompression(path) : compression;
    if (format == Format::Png) {
        // OpenImageIO's PNG writer takes its zlib level from its own attribute, not from
        // "compression"; "none" is level 0 and a bare "zip" zlib's default, 6.
        const size_t colon = method.find(':');
        const int level = method == "none"             ? 0
                          : colon == std::string::npos ? 6
                                                       : std::stoi(method.substr(colon + 1));
        spec.attribute("png:compressionLevel", std::clamp(level, 0, 9));
    } else if (!method.empty()) {
        spec.attribute("compression", method);
    }

    std::vector<uint8_t> s8;
    std::vector<uint16_t> s16;
    std::vector<float> s32;
    const void* data = nullptr;
    const size_t count = static_cast<size_t>(world.width()) * static_cast<size_t>(world.height()) *
                         static_cast<size_t>(channels);
    if (st.given == TypeDesc::UINT8) {
        s8.resize(count);
        worldToSamples(world, channels, s8.data());
        data = s8.data();
    } else if (st.given == TypeDesc::UINT16) {
        s16.resize(count);
        worldToSamples(world, channels, s16.data());
        data = s16.data();
    } else {
        s32.resize(count);
        worldToSamples(world, channels, s32.data());
        data = s32.data();
    }

    // The temporary file keeps the target's extension, so OpenImageIO picks the same writer.
    TempFile temp{fs::path(path)};
    auto out = OIIO::ImageOutput::create(path);
    if (!out)
        throw UsageError("cannot write " + quoted(path) + ": " + oneLine(OIIO::geterror()));
    if (!out->open(temp.writePath(), spec) || !out->write_image(st.given, data) ||
        !out->close()) {
        // The library names the file as it was given it; the user knows it by its own name.
        std::string why = out->geterror();
        const std::string& given = temp.writePath();
        for (size_t at = 0; (at = why.find(given, at)) != std::string::npos; at += path.size())
            why.replace(at, given.size(), path);
        throw UsageError("cannot write " + quoted(path) + ": " + oneLine(why));
    }
    out.reset();
    temp.commit(noReplace);
}

} // namespace zpcli
