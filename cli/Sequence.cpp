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
void fail(SequenceFrame& f, int exitCode, const char* prefix, const char* what) noexcept {
    f.ended = true;
    f.still.reset();
    f.outcome.status = FrameOutcome::Status::Failed;
    f.outcome.exitCode = exitCode;
    try {
        f.outcome.reason = std::string(prefix) + what;
    } catch (...) {
        f.outcome.reason.clear();
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

namespace {

// Runs one step of a frame: its time counts towards the frame's, and what it throws becomes the
// frame's failure.
template <class Step> void runStep(SequenceFrame& f, Step&& step) noexcept {
    if (f.ended)
        return;
    const auto start = std::chrono::steady_clock::now();
    FrameOutcome& outcome = f.outcome;
    try {
        step();
    } catch (const PluginError& e) {
        fail(f, 1, "", e.what());
    } catch (const headless::SceneError& e) {
        fail(f, 2, "scene error: ", e.what());
    } catch (const std::bad_alloc&) {
        fail(f, 2, "", "out of memory");
    } catch (const std::exception& e) {
        fail(f, 2, "", e.what());
    } catch (...) {
        fail(f, 2, "", "unknown error");
    }
    outcome.ms +=
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

SequenceFrame readSequenceFrame(const RenderOptions& options, int frame) noexcept {
    SequenceFrame f;
    f.outcome.frame = frame;
    runStep(f, [&] {
        const Patterns p(options);
        RenderOptions one = options;
        one.scene = p.scene.expand(frame);
        one.input = p.input.expand(frame);
        one.output = p.output.expand(frame);
        std::error_code ec;
        if (options.skipExisting && fs::exists(one.output, ec) &&
            !fs::is_directory(one.output, ec)) {
            f.outcome.status = FrameOutcome::Status::Skipped;
            f.outcome.reason = "'" + one.output + "' exists";
            f.ended = true;
            return;
        }
        f.still.emplace(readStill(one));
    });
    return f;
}

void renderReadFrame(SequenceFrame& f, ShotInstance* shot) noexcept {
    runStep(f, [&] {
        std::ostringstream out;
        renderRead(*f.still, out, shot, f.outcome.frame);
        f.outcome.timings = out.str();
    });
}

void writeRenderedFrame(SequenceFrame& f) noexcept {
    runStep(f, [&] {
        std::ostringstream notes;
        writeRendered(*f.still, notes);
        f.outcome.notes = notes.str();
        f.outcome.status = FrameOutcome::Status::Rendered;
        f.ended = true;
        // The frame's pictures go now, on whichever thread wrote them, not with the outcome.
        f.still.reset();
    });
}

FrameOutcome renderSequenceFrame(const RenderOptions& options, int frame,
                                 ShotInstance* shot) noexcept {
    SequenceFrame f = readSequenceFrame(options, frame);
    renderReadFrame(f, shot);
    writeRenderedFrame(f);
    return std::move(f.outcome);
}

} // namespace zpcli
