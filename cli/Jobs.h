// The job schedulers of a sequence: frames handed out in order to a few threads, each rendering
// one frame at a time, with the machine's OpenMP threads shared among them; or one job whose
// neighbouring frames are read and written while it renders.
#pragma once

#include "cli/Sequence.h"

#include <functional>
#include <vector>

namespace zpcli {

// OpenMP threads for job `job` (0-based) of `jobs` when the run may use `cores`: the cores
// split evenly, the first jobs taking one more each until the remainder is spent, and never
// fewer than one.
int threadBudget(int cores, int jobs, int job);

struct JobsResult {
    std::vector<FrameOutcome> outcomes; // the frames that ran, in frame order
    int notStarted = 0;                 // frames left alone after a failure with failFast
};

// Renders `frames` with `render` on min(jobs, frames) threads. Each thread first sets its own
// OpenMP thread count (a per-thread setting) to its threadBudget of `cores`. `report` hears each
// outcome as it comes, one at a time. With `failFast`, once a frame has failed no new frame
// starts; frames already running finish. `render` must not throw. `beforeClaim`, when given, is
// called on a job's thread each time it is about to take its next frame; tests hold a job there
// to force the interleavings a real run only meets by chance.
JobsResult runJobs(const std::vector<int>& frames, int jobs, int cores, bool failFast,
                   const std::function<FrameOutcome(int)>& render,
                   const std::function<void(const FrameOutcome&)>& report,
                   const std::function<void()>& beforeClaim = nullptr);

// One frame's steps, for runOverlapped. None may throw; render and write leave an ended frame
// alone, and write ends it.
struct FrameSteps {
    std::function<SequenceFrame(int)> read;
    std::function<void(SequenceFrame&)> render;
    std::function<void(SequenceFrame&)> write;
};

// One job's shot: frames rendered one at a time on the calling thread while the next frame is
// read and the previous one written, each on a thread of its own, so a frame's file work hides
// behind its neighbours' renders; the renders get the whole budget of `cores` OpenMP threads,
// and the calling thread's count is put back after. At most three frames are in memory. `report`
// hears each outcome on the calling thread, in frame order. With `failFast` no frame starts
// rendering once a failure is known; a failure in writing frame N is known once frame N+1 has
// rendered (that frame runs to its end), and a frame read ahead but not rendered counts as not
// started.
JobsResult runOverlapped(const std::vector<int>& frames, int cores, bool failFast,
                         const FrameSteps& steps,
                         const std::function<void(const FrameOutcome&)>& report);

} // namespace zpcli
