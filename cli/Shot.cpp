#include "cli/Shot.h"

namespace zpcli {

JobsResult renderShot(const RenderOptions& o, const std::vector<int>& frames, ShotInstance& shot,
                      int cores, const std::function<void(const FrameOutcome&)>& report) {
    if (o.jobs > 1 || frames.size() < 2) {
        return runJobs(
            frames, o.jobs, cores, o.failFast,
            [&](int frame) { return renderSequenceFrame(o, frame, &shot); }, report);
    }
    // With one job the files' reading and encoding would otherwise leave the cores the render
    // uses idle for as long as the render itself takes (a 1080p PNG, a float EXR).
    const FrameSteps steps{
        [&](int frame) { return readSequenceFrame(o, frame); },
        [&](SequenceFrame& f) { renderReadFrame(f, &shot); },
        [](SequenceFrame& f) { writeRenderedFrame(f); },
    };
    return runOverlapped(frames, cores, o.failFast, steps, report);
}

} // namespace zpcli
