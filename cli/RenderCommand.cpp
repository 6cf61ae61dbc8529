// `zonepainter render`: one picture as it always was, or a shot's frames through the job
// scheduler with progress and a closing summary of the frames that failed.
#include "cli/Frame.h"
#include "cli/FramePattern.h"
#include "cli/FrameRange.h"
#include "cli/Progress.h"
#include "cli/Sequence.h"
#include "cli/Shot.h"
#include "cli/ShotInstance.h"

#include <omp.h>

#include <filesystem>

namespace zpcli {

namespace {

// A failure list this long is cut: the line stays readable and the count says the rest.
constexpr size_t kListedFailures = 100;

int runStill(const RenderOptions& o, std::ostream& out, std::ostream& err) {
    RenderOptions one = o;
    one.scene = FramePattern(o.scene, "--scene").expand(0);
    one.input = FramePattern(o.input, "--input").expand(0);
    one.output = FramePattern(o.output, "--output").expand(0);
    std::error_code ec;
    if (o.skipExisting && std::filesystem::exists(one.output, ec) &&
        !std::filesystem::is_directory(one.output, ec)) {
        err << "zonepainter: skipped: '" << one.output << "' exists\n";
        return 0;
    }
    renderStill(one, out, err);
    return 0;
}

int runShot(const RenderOptions& o, const std::vector<int>& frames, std::ostream& out,
            std::ostream& err) {
    Progress progress(o.progress == ProgressMode::Auto ? ProgressMode::Plain : o.progress,
                      static_cast<int>(frames.size()), err);
    const auto report = [&](const FrameOutcome& r) {
        progress.message(r.notes);
        if (!r.timings.empty()) {
            progress.clear();
            out << "frame " << r.frame << "\n" << r.timings << std::flush;
        }
        switch (r.status) {
        case FrameOutcome::Status::Rendered:
            progress.rendered(r.frame, r.ms);
            break;
        case FrameOutcome::Status::Skipped:
            progress.skipped(r.frame, r.reason);
            break;
        case FrameOutcome::Status::Failed:
            progress.failed(r.frame, r.reason);
            break;
        }
    };
    // One instance for the whole shot, its frames rendered side by side as the host renders
    // a thread-safe effect: a held stretch propagates once, whichever job renders its frames.
    const FramePattern scene(o.scene, "--scene");
    ShotInstance shot(scene.hasToken() ? std::string() : scene.expand(0));
    const JobsResult result = renderShot(o, frames, shot, omp_get_max_threads(), report);
    progress.finish();

    std::vector<int> failed;
    int code = 0;
    for (const FrameOutcome& r : result.outcomes) {
        if (r.status != FrameOutcome::Status::Failed)
            continue;
        failed.push_back(r.frame);
        // A plug-in error says more about the run than a missing file does.
        code = code == 1 || r.exitCode == 1 ? 1 : 2;
    }
    if (failed.empty())
        return 0;
    err << "zonepainter: " << failed.size() << " of " << frames.size() << " frames failed:";
    for (size_t i = 0; i < failed.size() && i < kListedFailures; ++i)
        err << " " << failed[i];
    if (failed.size() > kListedFailures)
        err << " and " << failed.size() - kListedFailures << " more";
    err << "\n";
    if (result.notStarted > 0)
        err << "zonepainter: " << result.notStarted << " of " << frames.size()
            << " frames not started (--fail-fast)\n";
    return code;
}

} // namespace

int runRender(const RenderOptions& o, std::ostream& out, std::ostream& err) {
    if (o.jobs < 1)
        throw UsageError("--jobs must be 1 or more");
    const std::vector<int> frames =
        o.frames.empty() ? std::vector<int>{} : parseFrameRange(o.frames);
    checkSequence(o, frames);
    return frames.empty() ? runStill(o, out, err) : runShot(o, frames, out, err);
}

} // namespace zpcli
