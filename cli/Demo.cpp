#include "cli/Frame.h"
#include "cli/ImageIO.h"

#include <filesystem>
#include <vector>

#ifndef ZP_SOURCE_DIR
#define ZP_SOURCE_DIR ""
#endif

namespace zpcli {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPicture = "astronaut.png";
constexpr const char* kScene = "demo-scene.json";
// The same strokes with the global blur, fill light and glow driven by the groups' "Effects".
constexpr const char* kEffectsScene = "effects-scene.json";

// The example material: an examples folder next to the tool (an installed copy) first, then
// the source tree the tool was built from.
fs::path findExamples() {
    std::vector<fs::path> candidates;
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        candidates.push_back(self.parent_path() / "examples");
        candidates.push_back(self.parent_path().parent_path() / "share" / "zonepainter" /
                             "examples");
    }
    if (ZP_SOURCE_DIR[0] != '\0')
        candidates.push_back(fs::path(ZP_SOURCE_DIR) / "examples");
    for (const fs::path& dir : candidates) {
        if (fs::is_regular_file(dir / kPicture, ec) && fs::is_regular_file(dir / kScene, ec) &&
            fs::is_regular_file(dir / kEffectsScene, ec))
            return dir;
    }
    std::string tried;
    for (const fs::path& dir : candidates)
        tried += "\n  " + dir.string();
    throw UsageError(std::string("cannot find the example material (") + kPicture + ", " + kScene +
                     "); looked in:" + tried);
}

} // namespace

int runDemo(const std::string& outputDir, std::ostream& out, std::ostream& err) {
    const fs::path examples = findExamples();
    std::error_code ec;
    fs::create_directories(outputDir, ec);
    if (!fs::is_directory(outputDir, ec))
        throw UsageError("cannot make the output folder '" + outputDir + "'");

    Picture pic = readPicture((examples / kPicture).string(), 0);
    FrameRequest request;
    request.scenePath = (examples / kScene).string();
    request.keepViews = true;
    const Frame frame = renderFrame(*pic.world, request);

    const fs::path dir(outputDir);
    const auto write = [&](const char* name, const headless::HostWorld& world, bool alpha) {
        const std::string path = (dir / name).string();
        writePicture(path, world, alpha, err);
        out << "wrote " << path << "\n";
    };
    write("result.png", *frame.output, pic.hasAlpha);
    write("strokes.png", *makeStrokesView(*pic.world, *frame.capture), false);
    write("labels.png", *makeLabelsView(*frame.capture, pic.world->bytesPerChannel()), false);
    write("weights.png", *makeWeightsView(*frame.capture), false);
    printTimings(*frame.capture, out);

    FrameRequest effects;
    effects.scenePath = (examples / kEffectsScene).string();
    const Frame withEffects = renderFrame(*pic.world, effects);
    write("effects.png", *withEffects.output, pic.hasAlpha);
    return 0;
}

} // namespace zpcli
