#include "cli/Sequence.h"

#include "cli/Frame.h"
#include "cli/FramePattern.h"
#include "cli/ImageIO.h"
#include "headless/Scene.h"

#include <chrono>
#include <filesystem>
#include <new>
#include <sstream>

namespace zpcli {

namespace fs = std::filesystem;

namespace {

struct Patterns {
    FramePattern scene, input, output;
    explicit Patterns(const RenderOptions& o)
        : scene(o.scene, "--scene"), input(o.input, "--input"), output(o.output, "--output") {}
};

// Whatever goes wrong while the outcome itself is being filled in (memory) must not escape.
void fail(FrameOutcome& outcome, int exitCode, const char* prefix, const char* what) noexcept {
    outcome.status = FrameOutcome::Status::Failed;
    outcome.exitCode = exitCode;
    try {
        outcome.reason = std::string(prefix) + what;
    } catch (...) {
        outcome.reason.clear();
    }
}

} // namespace

void checkSequence(const RenderOptions& o, const std::vector<int>& frames) {
    const Patterns p(o);
    checkRenderSettings(o);
    if (frames.empty()) {
        for (const FramePattern* named : {&p.scene, &p.input, &p.output}) {
            if (named->hasToken())
                throw UsageError(std::string(named == &p.scene   ? "--scene"
                                             : named == &p.input ? "--input"
                                                                 : "--output") +
                                 " '" + named->text() +
                                 "' has a frame token but no --frames says which frames to "
                                 "render, e.g. --frames 1001-1100");
        }
        return;
    }
    if (!p.scene.hasToken() && !p.input.hasToken() && !p.output.hasToken())
        throw UsageError("--frames needs a frame token (#### or %04d) in --output and in --input "
                         "or --scene, e.g. --input plate.####.exr --output graded.####.exr");
    if (frames.size() > 1 && !p.output.hasToken())
        throw UsageError("--output '" + o.output + "' has no frame token: all " +
                         std::to_string(frames.size()) +
                         " frames would be written to that one file; add #### or %04d");
    if (frames.size() > 1 && !p.input.hasToken() && !p.scene.hasToken())
        throw UsageError("neither --input nor --scene has a frame token: all " +
                         std::to_string(frames.size()) +
                         " frames would be the same picture; add #### or %04d to one of them");

    if (o.depth != 0 && o.depth != 8 && o.depth != 16 && o.depth != 32)
        throw UsageError("--depth must be 8, 16 or 32");
    const bool plain = o.kind == RenderKind::Plain;
    if (plain && o.depth == 32)
        throw UsageError(kPlainFloatMessage);
    checkOutputPath(p.output.expand(frames.front()), o.makeFolders);
    // Shared by every frame: refused once here rather than once per frame.
    if (!p.input.hasToken()) {
        const int fileDepth = fileDepthOf(p.input.expand(0));
        if (plain && o.depth == 0 && fileDepth == 32)
            throw UsageError(kPlainFloatMessage);
    }
    if (!p.scene.hasToken())
        checkSceneFile(p.scene.expand(0));
}

FrameOutcome renderSequenceFrame(const RenderOptions& options, int frame,
                                 ShotInstance* shot) noexcept {
    FrameOutcome outcome;
    outcome.frame = frame;
    const auto start = std::chrono::steady_clock::now();
    try {
        const Patterns p(options);
        RenderOptions one = options;
        one.scene = p.scene.expand(frame);
        one.input = p.input.expand(frame);
        one.output = p.output.expand(frame);
        std::error_code ec;
        if (options.skipExisting && fs::exists(one.output, ec) &&
            !fs::is_directory(one.output, ec)) {
            outcome.status = FrameOutcome::Status::Skipped;
            outcome.reason = "'" + one.output + "' exists";
        } else {
            std::ostringstream out, notes;
            renderStill(one, out, notes, shot, frame);
            outcome.status = FrameOutcome::Status::Rendered;
            outcome.timings = out.str();
            outcome.notes = notes.str();
        }
    } catch (const PluginError& e) {
        fail(outcome, 1, "", e.what());
    } catch (const headless::SceneError& e) {
        fail(outcome, 2, "scene error: ", e.what());
    } catch (const std::bad_alloc&) {
        fail(outcome, 2, "", "out of memory");
    } catch (const std::exception& e) {
        fail(outcome, 2, "", e.what());
    } catch (...) {
        fail(outcome, 2, "", "unknown error");
    }
    outcome.ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return outcome;
}

} // namespace zpcli
