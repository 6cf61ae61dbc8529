#include "cli/ColourSpace.h"
#include "cli/EffectInstance.h"
#include "cli/Frame.h"
#include "cli/ImageIO.h"
#include "cli/ShotInstance.h"
#include "headless/Scene.h"

#include <filesystem>
#include <utility>

namespace zpcli {

namespace {

// Writing over a file the render reads would destroy the user's source plate or scene, with
// nothing to undo it. The same file under another name (a hard link, a
// symbolic link, a path through a linked folder) is the same file.
void refuseOverwritingAnInput(const RenderOptions& o) {
    for (const auto& [read, what] : {std::pair{&o.input, "input"}, std::pair{&o.scene, "scene"}}) {
        std::error_code ec;
        if (std::filesystem::equivalent(o.output, *read, ec))
            throw UsageError("--output '" + o.output + "' is the " + what + " file '" + *read +
                             "': refusing to write over it; choose another output name");
    }
}

// A file at the output's name is replaced unless --no-overwrite says to keep it. Checked before
// the frame is read and rendered, and again as the file is renamed into place.
void refuseReplacing(const RenderOptions& o) {
    std::error_code ec;
    if (o.noOverwrite && std::filesystem::exists(o.output, ec))
        throw UsageError("'" + o.output + "' exists: not replaced (--no-overwrite)");
}

} // namespace

void checkRenderSettings(const RenderOptions& o) {
    checkCompression(o.output, o.compression);
    checkColourSpaces(o.colorspace, o.workingSpace);
}

void checkSceneFile(const std::string& path) {
    EffectInstance instance;
    headless::loadSceneFile(path, instance.host());
}

Still readStill(const RenderOptions& o) {
    if (o.depth != 0 && o.depth != 8 && o.depth != 16 && o.depth != 32)
        throw UsageError("--depth must be 8, 16 or 32");
    const bool plain = o.kind == RenderKind::Plain;
    if (plain && o.depth == 32)
        throw UsageError(kPlainFloatMessage);
    checkOutputPath(o.output, o.makeFolders);
    refuseOverwritingAnInput(o);
    refuseReplacing(o);
    // Known from the header alone: no need to read a whole float image to refuse it.
    if (plain && o.depth == 0 && fileDepthOf(o.input) == 32)
        throw UsageError(kPlainFloatMessage);

    Still still{o, readPicture(o.input, o.depth), {}};
    if (convertsColour(o.colorspace, o.workingSpace))
        convertColour(*still.input.world, o.colorspace, o.workingSpace);
    return still;
}

void renderRead(Still& still, std::ostream& out, ShotInstance* shot, A_long time) {
    const RenderOptions& o = still.options;
    FrameRequest request;
    request.scenePath = o.scene;
    request.kind = o.kind;
    request.downsample = o.downsample;
    request.keepViews = o.view != View::Image;
    request.repeat = o.repeat;
    request.failHostCall = o.failHostCall;
    request.failHostCallNth = o.failHostCallNth;
    headless::HostWorld& input = *still.input.world;
    still.rendered =
        shot != nullptr ? shot->render(input, request, time) : renderFrame(input, request);
    if (o.timings)
        printTimings(*still.rendered.capture, out);
}

void writeRendered(Still& still, std::ostream& err) {
    const RenderOptions& o = still.options;
    if (o.makeFolders) {
        std::error_code ec;
        const std::filesystem::path folder = std::filesystem::path(o.output).parent_path();
        if (!folder.empty() && !std::filesystem::create_directories(folder, ec) && ec)
            throw UsageError("cannot make the folder '" + folder.string() + "' for '" + o.output +
                             "': " + ec.message());
    }
    const Frame& frame = still.rendered;
    // Views show the effect's own working pictures: only the rendered image goes back.
    if (o.view == View::Image) {
        if (convertsColour(o.colorspace, o.workingSpace))
            convertColour(*frame.output, o.workingSpace, o.colorspace);
        writePicture(o.output, *frame.output, still.input.hasAlpha, err, o.compression,
                     o.noOverwrite);
    } else {
        writePicture(o.output, *makeView(o.view, *still.input.world, *frame.capture), false, err,
                     o.compression, o.noOverwrite);
    }
}

void renderStill(const RenderOptions& o, std::ostream& out, std::ostream& err, ShotInstance* shot,
                 A_long time) {
    Still still = readStill(o);
    renderRead(still, out, shot, time);
    writeRendered(still, err);
}

} // namespace zpcli
